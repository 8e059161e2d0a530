// The setup view on the monitor window against a simulated controller, in
// both framings: what each entry puts on the line (read from the
// simulator's log) and what the view shows after the controller answered.
#include "app/comsettings.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "scripteddialogs.h"
#include "setup/setupviewform.h"
#include "simoncom1.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using F = SetupField;

class SetupOnTheLine : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnCom1> sim;
    std::unique_ptr<MonitorForm> form;
    QStringList writes; // "W472A=5AC3", in the order they reached the line
    QStringList answers; // what the simulator did with each write

    void SetUp() override
    {
        sim = std::make_unique<SimOnCom1>(MatchingLine(GetParam(), settings),
                                          QList<QPair<int, int>> {{1, 0x4848}});
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged, [this](const QString &text) {
            static const QRegularExpression re(
                QStringLiteral("addr 01 fn 06 reg (\\w{4}) value (\\w{4}) -> (.*)$"));
            const auto m = re.match(text);
            if (m.hasMatch()) {
                writes << QStringLiteral("W%1=%2").arg(m.captured(1), m.captured(2));
                answers << m.captured(3);
            }
        });
        form = std::make_unique<MonitorForm>(nullptr, [this] { return settings.lineSettings(); });
        form->showWindow();
        QTest::mouseClick(form->slotWidgets(1).runBt, Qt::LeftButton);
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return view().box(SetupBox::TempBox)->isVisible(); }, 5000));
    }
    void TearDown() override
    {
        form.reset();
        sim.reset();
    }

    SetupViewForm &view() { return form->setupForm(); }
    QLineEdit *edit(F f) { return view().edit(f); }
    // Types into the field as the user does, then Enter.
    void type(F f, const char *text)
    {
        QLineEdit *e = edit(f);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, QString::fromLatin1(text));
        QTest::keyClick(e, Qt::Key_Return);
    }
    void pick(F f, int index)
    {
        QComboBox *list = view().list(f);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    bool fieldShows(F f, const QString &text)
    {
        return QTest::qWaitFor([&] { return edit(f)->text() == text; }, 5000);
    }
    // The writes that reached the line since the last call.
    QStringList takeWrites(int atLeast)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return writes.size() >= atLeast; }, 5000));
        QTest::qWait(100); // nothing more follows
        return std::exchange(writes, {});
    }
};

TEST_P(SetupOnTheLine, EditsWriteTheirRegistersAndReadBack)
{
    EXPECT_EQ(edit(F::SetV)->text(), "100.0");
    EXPECT_EQ(edit(F::KI)->text(), "260");

    type(F::KI, "  12");
    EXPECT_EQ(takeWrites(1), QStringList {"W470D=000C"});
    EXPECT_TRUE(fieldShows(F::KI, "12"));
    // Refused entries send nothing; the re-read puts the value back.
    for (const char *bad : {"-", "1a", "1 2", ".", "70000"}) {
        type(F::KI, bad);
        EXPECT_TRUE(fieldShows(F::KI, "12")) << bad;
    }
    type(F::KP, ".");
    EXPECT_EQ(takeWrites(1), QStringList {"W470C=0000"});
    type(F::KP, "2.345");
    EXPECT_EQ(takeWrites(1), QStringList {"W470C=0017"});
    EXPECT_TRUE(fieldShows(F::KP, "2.3"));
    // The whole text of the last edited field is selected after the read.
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit(F::KP)->selectedText() == "2.3"; }, 3000));

    pick(F::LockStatus, 2);
    EXPECT_EQ(takeWrites(1), QStringList {"W471E=000B"});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return view().list(F::LockStatus)->currentText() == "SV change only"; }, 3000));

    // An alarm mode that uses both limits shows both rows.
    pick(F::ALM2Mode, 1);
    EXPECT_EQ(takeWrites(1), QStringList {"W4721=0001"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit(F::DnLimit2)->isVisible(); }, 3000));
    EXPECT_TRUE(edit(F::UpLimit2)->isVisible());

    // A linear input in its engineering unit with two decimals scales 1.5
    // to 150.
    SimController &c = sim->controller(1);
    c.set(0x4718, 13);
    c.set(0x4724, 2);
    c.set(0x4725, 2);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view().list(F::DegUnit)->currentText() == "V"; }, 5000));
    type(F::UpLimit, "1.5");
    EXPECT_EQ(takeWrites(1), QStringList {"W4704=0096"});
    EXPECT_TRUE(fieldShows(F::UpLimit, "1.50"));
    EXPECT_EQ(c.value(0x4704), 150);
}

TEST_P(SetupOnTheLine, FactoryBoxWritesWithTheUnlockWrite)
{
    QLabel *fw = view().FWVersion;
    EXPECT_EQ(fw->text(), "Firmware Version 1.0A");
    QTest::mouseDClick(fw, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view().PassEdit->isVisible(); }, 2000));
    QTest::keyClicks(view().PassEdit, "QWK");
    QGroupBox *adjust = view().box(SetupBox::AdjustBox);
    ASSERT_TRUE(QTest::qWaitFor([&] { return adjust->isVisible(); }, 5000));

    type(F::RTDOfs, "2.3");
    // Typing into another field before the write leaves keeps its unlock.
    QTest::keyClicks(edit(F::KD), "7");
    EXPECT_EQ(takeWrites(2), (QStringList {"W472A=5AC3", "W4732=0017"}));
    EXPECT_TRUE(fieldShows(F::RTDOfs, "2.3"));

    dialogs.okAnswers << false << true;
    QTest::mouseClick(view().ClearBt1, Qt::LeftButton);
    QTest::qWait(300);
    EXPECT_TRUE(writes.isEmpty());
    QTest::mouseClick(view().ClearBt1, Qt::LeftButton);
    EXPECT_EQ(takeWrites(2), (QStringList {"W472A=5AC3", "W474E=5AC3"}));
    EXPECT_TRUE(fieldShows(F::KI, "260")); // the factory values, read back

    QTest::keyClicks(view().PassEdit, "x");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !adjust->isVisible(); }, 2000));
    EXPECT_TRUE(view().PassEdit->text().isEmpty());
    EXPECT_FALSE(view().PassEdit->isVisible());
}

TEST_P(SetupOnTheLine, RefusedWriteIsSaidAndTheValueReadBack)
{
    form->engine().setDebugVisible(true);
    // On-line configuration in force switched off behind the view's back:
    // the controller refuses every write.
    sim->controller(1).set(0x4726, 0);
    type(F::SetV, "80");
    EXPECT_EQ(takeWrites(1), QStringList {"W4701=0320"});
    EXPECT_TRUE(answers.last().startsWith("exception")) << answers.last().toStdString();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return form->ErrMess->text() == "Write data not successed"; }, 3000));
    EXPECT_TRUE(fieldShows(F::SetV, "100.0"));
    EXPECT_EQ(sim->controller(1).value(0x4701), 1000);
    // Said where the user looks, naming the parameter and the value typed,
    // for a few seconds; the status text stays as it is.
    EXPECT_TRUE(view().Notice->isVisible());
    EXPECT_EQ(view().Notice->text(),
              "SV (Set Point): the controller refused 80 (exception 04, illegal command)");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !view().Notice->isVisible(); },
                                SetupViewForm::NoticeMs + 2000));
    EXPECT_EQ(form->ErrMess->text(), "Write data not successed");
}

INSTANTIATE_TEST_SUITE_P(Framings, SetupOnTheLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace
