// The program editor against a simulated controller, through the
// configuration window's engine, in both framings: the requests as the
// simulator logged them, the grid and what the controller holds after.
#include "app/comsettings.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "program/programform.h"
#include "scripteddialogs.h"
#include "setup/setupviewform.h"
#include "simoncom1.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ProgramOnTheLine : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnCom1> sim;
    std::unique_ptr<MainForm> main;
    MonitorForm *monitor = nullptr;
    ProgramForm *form = nullptr;
    QStringList reads; // "4770x8", program registers only
    QStringList writes; // "4767=0002"

    void SetUp() override
    {
        // In RTU at 4800 bit/s the reply window is two ticks: the 153
        // writes, none repeated, keep their replies in time while other
        // tests load the machine (the simulator shares this event loop).
        SimLineSettings line = MatchingLine(GetParam(), settings);
        if (GetParam() == ModbusMode::Rtu) {
            settings.select(ComSettings::ComBaudRate, 1);
            line.baud = 4800;
        }
        sim = std::make_unique<SimOnCom1>(line, QList<QPair<int, int>> {{1, 0x4848}, {2, 0x4824}});
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged, [this](const QString &text) {
            static const QRegularExpression re(
                QStringLiteral("addr (\\w{2}) fn (\\w{2}) reg (\\w{4}) (count|value) (\\w+)"));
            const auto m = re.match(text);
            if (!m.hasMatch() || m.captured(3) < "4767")
                return;
            if (m.captured(2) == "03")
                reads << m.captured(1) + ':' + m.captured(3) + 'x' + m.captured(5);
            else
                writes << m.captured(1) + ':' + m.captured(3) + '=' + m.captured(5);
        });
        // Program control, so that the window offers the editor.
        sim->controller(1).set(0x4719, 3);
        main = CreateWindows(settings);
        main->Monitor1Click();
        monitor = main->monitorForm();
        form = main->programForm();
        monitor->slotWidgets(2).comAddr->setValue(2);
        QTest::mouseClick(monitor->slotWidgets(1).runBt, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor(
            [this] {
                return monitor->setupForm().ProgBt->isEnabled() &&
                    monitor->setupForm().ProgBt->isVisible();
            },
            5000));
        QTest::mouseClick(monitor->setupForm().ProgBt, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->isVisible(); }, 2000));
    }
    void TearDown() override
    {
        main.reset();
        sim.reset();
    }
    QString cell(int row, int column) { return form->ProgTable->item(row, column)->text(); }
    bool idle()
    {
        return QTest::qWaitFor(
            [this] { return !form->editor().transferring() && form->ReadSBt->isEnabled(); }, 20000);
    }
};

TEST_P(ProgramOnTheLine, ReadShowsTheControllersProgramInPhaseOrder)
{
    SimController &c = sim->controller(1);
    c.set(0x4767, 2);
    c.set(0x4768 + 2, 5); // last step of pattern 2
    c.set(0x4770 + 3, 7); // cycles of pattern 3
    c.set(0x4778 + 1, 0); // pattern 1 goes on with pattern 0
    c.set(0x4780 + 2 * 21, quint16(-125)); // pattern 2, step 5
    c.set(0x4781 + 2 * 9, 1000); // pattern 1, step 1: beyond 15 h
    c.set(0x4781 + 2 * 16, 30); // pattern 2, step 0: something to draw
    QTest::mouseClick(form->ReadSBt, Qt::LeftButton);
    EXPECT_FALSE(form->WrBt->isEnabled());
    ASSERT_TRUE(idle());
    QStringList expected = {"01:4767x1", "01:4770x8", "01:4768x8", "01:4778x8"};
    for (int n = 0; n < 64; n += 4)
        expected << QStringLiteral("01:%1x8").arg(QString::number(0x4780 + 2 * n, 16).toUpper());
    EXPECT_EQ(reads, expected) << reads.join(' ').toStdString();
    EXPECT_EQ(form->ProgStart->currentText(), "Pattern 2");
    EXPECT_EQ(cell(17, 3), "5");
    EXPECT_EQ(cell(18, 4), "7");
    EXPECT_EQ(cell(19, 2), "Pattern 0");
    EXPECT_EQ(cell(19, 1), "Prog End");
    EXPECT_EQ(cell(11, 3), "-12.5");
    EXPECT_EQ(cell(4, 2), "16:40");
    EXPECT_EQ(cell(1, 1), "100.0"); // the simulator's example program
    EXPECT_EQ(cell(2, 1), "00:10");
    // A whole read: every control back, writing allowed by the controller.
    EXPECT_TRUE(form->WrBt->isEnabled());
    EXPECT_TRUE(form->SaveFBt->isEnabled());
    EXPECT_TRUE(form->EditPBt->isEnabled());
    EXPECT_FALSE(form->UpLoadBarP->isVisible());
    EXPECT_TRUE(form->ProgCurve->isVisible());
}

TEST_P(ProgramOnTheLine, WriteSendsAllValuesInRegisterOrderAndTheControllerRunsThem)
{
    QTest::mouseClick(form->ReadSBt, Qt::LeftButton);
    ASSERT_TRUE(idle());
    // Edit: pattern 0, step 0 to 25.0 for 1 h 5 min, last step 0.
    ProgramEditor &e = form->editor();
    e.ProgTableClick(1, 1);
    e.EditPBtClick();
    e.SPEditChange("25");
    e.POKBtClick();
    e.ProgTableClick(2, 1);
    e.TimeMinChange("5");
    e.TimeHourChange(1);
    e.ProgTableClick(17, 1);
    e.MaxStepChange(0);
    e.POKBtClick();
    form->program().SetValue[63] = -125;
    writes.clear();
    QTest::mouseClick(form->WrBt, Qt::LeftButton);
    ASSERT_TRUE(idle());
    ASSERT_EQ(writes.size(), 153);
    for (int p = 0; p < 153; ++p)
        EXPECT_TRUE(
            writes.at(p).startsWith(QStringLiteral("01:%1=").arg(0x4767 + p, 4, 16).toUpper()))
            << writes.at(p).toStdString();
    EXPECT_EQ(writes.at(25), "01:4780=00FA");
    EXPECT_EQ(writes.at(26), "01:4781=0041");
    EXPECT_EQ(writes.at(1), "01:4768=0000");
    EXPECT_EQ(writes.at(151), "01:47FE=FF83");
    SimController &c = sim->controller(1);
    EXPECT_EQ(c.value(0x4780), 250);
    EXPECT_EQ(c.value(0x4781), 65);
    EXPECT_TRUE(dialogs.texts().isEmpty()) << dialogs.texts().join('|').toStdString();
    // The controller, running in program control, ramps towards 25.0.
    EXPECT_TRUE(QTest::qWaitFor([&] { return c.programRunning(); }, 5000));
}

TEST_P(ProgramOnTheLine, ARefusedValueIsNamedAndAReadCutShortLocksWriting)
{
    QTest::mouseClick(form->ReadSBt, Qt::LeftButton);
    ASSERT_TRUE(idle());
    form->program().StepTime[9] = 1000; // beyond what the controller takes
    writes.clear();
    QTest::mouseClick(form->WrBt, Qt::LeftButton);
    ASSERT_TRUE(idle());
    EXPECT_EQ(writes.size(), 153); // not repeated
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.texts().isEmpty(); }, 3000));
    EXPECT_EQ(dialogs.texts().last(),
              "The controller did not take these values:\ntime of pattern 1, step 1");

    // A read stays with its controller when another is selected, and ends
    // when its controller goes away midway.
    QTest::mouseClick(monitor->slotWidgets(2).runBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->engine().view().at(2).visible; }, 5000));
    sim->line.setFault(1, {SimFault::Kind::Delay, 40});
    reads.clear();
    QTest::mouseClick(form->ReadSBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads.size() >= 4; }, 5000));
    EXPECT_FALSE(form->ReadFBt->isEnabled());
    EXPECT_FALSE(form->EditPBt->isEnabled());
    QTest::mouseClick(monitor->slotWidgets(2).image, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads.size() >= 8; }, 5000));
    QTest::mouseClick(monitor->slotWidgets(1).runBt, Qt::LeftButton);
    ASSERT_TRUE(idle());
    EXPECT_TRUE(form->ReadFBt->isEnabled());
    EXPECT_FALSE(form->WrBt->isEnabled());
    EXPECT_FALSE(form->SaveFBt->isEnabled());
    EXPECT_FALSE(form->EditPBt->isEnabled());
    EXPECT_FALSE(form->UpLoadBarP->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.texts().size() == 2; }, 3000));
    EXPECT_EQ(dialogs.texts().last(),
              "Read from Duva did not finish: controller 1 (address 1) is no longer connected.");
    QTest::qWait(200);
    for (const QString &r : reads)
        EXPECT_TRUE(r.startsWith("01:")) << r.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Framings, ProgramOnTheLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace
