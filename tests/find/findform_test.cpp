// The "Find Controllers" window in the program, against simulated
// controllers: what it lists, how it hands the controllers found to the
// configuration window, and the settings it finds and stores.
#include "app/comsettings.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "find/findform.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "scripteddialogs.h"
#include "simoncom1.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class FindWindow : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnCom1> sim;
    std::unique_ptr<MainForm> main;
    QStringList heard;

    void startOn(const SimLineSettings &line, const QList<QPair<int, int>> &controllers)
    {
        sim = std::make_unique<SimOnCom1>(line, controllers);
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged, [this](const QString &text) {
            if (text.contains(" fn "))
                heard << text;
        });
        main = CreateWindows(settings);
        main->show();
        QTest::mouseClick(main->toolButton(8), Qt::LeftButton);
        ASSERT_TRUE(find()->isVisible());
        ASSERT_TRUE(find()->holdsPort());
    }
    void TearDown() override
    {
        main.reset();
        sim.reset();
    }
    FindForm *find() { return main->findForm(); }
    bool idle(int ms)
    {
        return QTest::qWaitFor([this] { return !find()->logic().view().running; }, ms) &&
            QTest::qWaitFor([this] { return find()->ScanBt->isEnabled(); }, 1000);
    }
    QStringList row(int r)
    {
        QStringList out;
        for (int c = 0; c < 3; ++c)
            out << (find()->ResultGrid->item(r, c) ? find()->ResultGrid->item(r, c)->text()
                                                   : QStringLiteral("<none>"));
        return out;
    }
    void onlyReadsHeard()
    {
        for (const QString &text : heard)
            EXPECT_TRUE(text.contains(" fn 03 ")) << text.toStdString();
    }
};

TEST_F(FindWindow, ListsTheControllersAndMonitorsThemInOneClick)
{
    startOn(SimLineSettings(), {{3, 0x4824}, {17, 0x4848}, {18, 0x9696}, {19, 0x3432}});
    ASSERT_TRUE(sim->line.addController(5, 0x4848));
    ASSERT_TRUE(sim->line.addController(5, 0x4896)); // two on one address
    EXPECT_EQ(find()->FirstAddr->value(), 1);
    EXPECT_EQ(find()->LastAddr->value(), 247);
    EXPECT_EQ(find()->SettingsLB->text(), "ASCII 9600 bit/s 7E1");
    EXPECT_FALSE(find()->MonitorBt->isEnabled());
    // Before it starts, how long a scan can take: 249 windows of 149 ms.
    EXPECT_EQ(find()->MarginBox->value(), 100);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return find()->TimeLB->text().startsWith(
                "A scan of 1 to 247 takes up to 38 s; a search of every setting (90) up to ");
        },
        1000))
        << find()->TimeLB->text().toStdString();
    find()->MarginBox->setValue(30); // 79 ms windows
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return find()->TimeLB->text().startsWith("A scan of 1 to 247 takes up to 20 s;"); },
        1000))
        << find()->TimeLB->text().toStdString();
    find()->MarginBox->setValue(100);

    find()->LastAddr->setValue(20);
    QTest::mouseClick(find()->ScanBt, Qt::LeftButton);
    EXPECT_TRUE(find()->logic().view().running);
    ASSERT_TRUE(idle(20000));
    ASSERT_EQ(find()->ResultGrid->rowCount(), 5);
    EXPECT_EQ(row(0), (QStringList {"3", "DUVA 4824", "1.0A"}));
    EXPECT_EQ(row(1),
              (QStringList {"5", "garbled reply \u2013 two controllers on one address?", ""}));
    EXPECT_EQ(row(2), (QStringList {"17", "DUVA 4848", "1.0A"}));
    EXPECT_EQ(row(3), (QStringList {"18", "DUVA 9696", "1.0A"}));
    EXPECT_EQ(row(4), (QStringList {"19", "DUVA 4824", "1.0A"}));
    EXPECT_EQ(find()->StatusLB->text(), "4 controllers found at ASCII 9600 bit/s 7E1.");
    EXPECT_EQ(find()->Progress->value(), find()->Progress->maximum());
    EXPECT_FALSE(find()->UseBt->isEnabled()); // already the program's settings
    onlyReadsHeard();

    // Cancel stops a full scan where it is.
    find()->LastAddr->setValue(247);
    QTest::mouseClick(find()->ScanBt, Qt::LeftButton);
    QTest::qWait(300);
    EXPECT_FALSE(find()->ScanBt->isEnabled());
    EXPECT_TRUE(find()->CancelBt->isEnabled());
    QTest::mouseClick(find()->CancelBt, Qt::LeftButton);
    ASSERT_TRUE(idle(200));
    EXPECT_TRUE(find()->StatusLB->text().startsWith("Cancelled at address "))
        << find()->StatusLB->text().toStdString();
    const qsizetype asked = heard.size();
    QTest::qWait(150);
    EXPECT_LE(heard.size(), asked + 1);

    // The first scan again, then the four found go to the configuration
    // window's slots, which poll them at once; the find window let the port go.
    find()->LastAddr->setValue(20);
    QTest::mouseClick(find()->ScanBt, Qt::LeftButton);
    ASSERT_TRUE(idle(20000));
    QTest::mouseClick(find()->MonitorBt, Qt::LeftButton);
    MonitorForm *monitor = main->monitorForm();
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor->isVisible(); }, 2000));
    EXPECT_FALSE(find()->isVisible());
    EXPECT_FALSE(find()->holdsPort());
    EXPECT_TRUE(monitor->holdsPort());
    const int expected[] = {3, 17, 18, 19};
    for (int n = 1; n <= 4; ++n) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !monitor->engine().view().at(n).pvText.isEmpty(); }, 10000))
            << n;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return monitor->slotWidgets(n).comAddr->value() == expected[n - 1]; }, 1000))
            << n;
    }
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return heard.filter(QStringLiteral(" addr 13 fn 03 ")).size() > 2 &&
                heard.filter(QStringLiteral(" addr 11 fn 03 ")).size() > 2;
        },
        10000));
}

TEST_F(FindWindow, SearchFindsTheLineSettingsAndUsesThem)
{
    // The controllers run RTU at 19200; the program is set to ASCII 9600.
    SimLineSettings line;
    line.mode = ModbusMode::Rtu;
    line.baud = 19200;
    line.dataBits = 8;
    startOn(line, {{2, 0x4848}, {4, 0x4896}});
    EXPECT_EQ(find()->SearchFirst->value(), 1);
    EXPECT_EQ(find()->SearchLast->value(), 16);
    find()->SearchLast->setValue(4);
    QTest::mouseClick(find()->SearchBt, Qt::LeftButton);
    ASSERT_TRUE(idle(30000));
    EXPECT_EQ(find()->SettingsLB->text(), "RTU 19200 bit/s 8N1");
    EXPECT_EQ(find()->StatusLB->text(),
              "Controllers answer at RTU 19200 bit/s 8N1: 2 controllers found between "
              "addresses 1 and 4.");
    ASSERT_EQ(find()->ResultGrid->rowCount(), 2);
    EXPECT_EQ(row(1), (QStringList {"4", "DUVA 4896", "1.0A"}));
    onlyReadsHeard();

    // Stored as the settings dialog's OK would: COM1, 19200, no parity,
    // 8 bits, 1 stop bit, RTU.
    ASSERT_TRUE(find()->UseBt->isEnabled());
    QTest::mouseClick(find()->UseBt, Qt::LeftButton);
    QFile file("SETDUVA.$$$");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("51030\r\n"));
    EXPECT_EQ(settings.code(), 51030);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !find()->UseBt->isEnabled(); }, 1000));

    // The configuration window talks to the controllers at once.
    find()->close();
    EXPECT_FALSE(find()->holdsPort());
    QTest::mouseClick(main->toolButton(3), Qt::LeftButton);
    MonitorForm *monitor = main->monitorForm();
    ASSERT_TRUE(monitor->holdsPort());
    monitor->slotWidgets(1).comAddr->setValue(2);
    QTest::mouseClick(monitor->slotWidgets(1).runBt, Qt::LeftButton);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !monitor->engine().view().at(1).pvText.isEmpty(); }, 10000));
}

TEST_F(FindWindow, ASearchThatFindsNothingKeepsTheProgramsSettings)
{
    startOn(SimLineSettings(), {});
    find()->SearchLast->setValue(1);
    QTest::mouseClick(find()->SearchBt, Qt::LeftButton);
    ASSERT_TRUE(idle(60000));
    EXPECT_EQ(find()->StatusLB->text(),
              "No controller answered at any setting between addresses 1 and 1.");
    EXPECT_EQ(find()->SettingsLB->text(), "ASCII 9600 bit/s 7E1");
    EXPECT_FALSE(find()->UseBt->isEnabled());
    EXPECT_FALSE(find()->MonitorBt->isEnabled());
    EXPECT_TRUE(find()->holdsPort()); // the window keeps the port
    EXPECT_FALSE(QFile::exists("SETDUVA.$$$"));
}

} // namespace
