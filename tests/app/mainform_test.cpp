// The main window offscreen: start-up, the settings dialog, the port
// ownership rule through the real toolbar buttons and menu items, and the
// names accessibility clients find the controls by.
#include "app/aboutform.h"
#include "app/comsettings.h"
#include "app/comsettingsform.h"
#include "app/mainform.h"
#include "app/mainlogic.h"
#include "app/startup.h"
#include "console/consolelogic.h"
#include "console/consolepanel.h"
#include "find/findform.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "ptypeer.h"
#include "recorder/recorderform.h"
#include "scripteddialogs.h"
#include "tempworkdir.h"
#include "ui/accessiblenames.h"
#include "ui/screenscale.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

const char *const PortInUse = "COM port in use, Shut down other program first !";

class MainWindow : public ::testing::Test
{
protected:
    TemporaryWorkDir work;
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<MainForm> main;

    void TearDown() override
    {
        main.reset();
        SetScreenSizeOverride(0, 0);
    }

    void writeSettings(const QByteArray &line)
    {
        QFile f("SETDUVA.$$$");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(line);
    }
    QByteArray settingsFile()
    {
        QFile f("SETDUVA.$$$");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }

    void start()
    {
        main = CreateWindows(settings);
        main->show();
        QTest::qWait(20); // posted error boxes
    }

    // Opens the console and types a read of one register at `reg`.
    ConsolePanel *consoleWithRead(const char *reg)
    {
        QTest::mouseClick(main->toolButton(5), Qt::LeftButton);
        ConsolePanel *panel = main->TESTPL;
        QTest::keyClicks(panel->SCOMAddr, "1");
        panel->SCmdBox->setCurrentIndex(0);
        emit panel->SCmdBox->activated(0);
        QTest::keyClicks(panel->SFunc, reg);
        QTest::keyClicks(panel->SDataLen, "1");
        return panel;
    }

    QAction *menuItem(const char *name)
    {
        return main->findChild<QAction *>(QString::fromLatin1(name));
    }
    QRadioButton *radio(const char *group, int index)
    {
        return main->settingsForm()->findChild<QRadioButton *>(
            QStringLiteral("%1Item%2").arg(QLatin1String(group)).arg(index));
    }
    int refusals() const { return int(dialogs.texts().count(QString::fromLatin1(PortInUse))); }
};

TEST_F(MainWindow, NoSettingsFileGivesDefaultsWithoutMessage)
{
    start();
    EXPECT_EQ(main->windowTitle(), "Corvantic DUVA Series Configuration Software");
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(main->settingsForm()->settings().code(), 120);
    EXPECT_TRUE(main->Image1->isVisible());
    EXPECT_FALSE(main->TESTPL->isVisible());
    // The first OK writes the defaults' line.
    main->SetCommunication1Click();
    QTest::mouseClick(main->settingsForm()->OKBt1, Qt::LeftButton);
    EXPECT_EQ(settingsFile(), "120\r\n");
    EXPECT_FALSE(main->settingsForm()->isVisible());
}

TEST_F(MainWindow, FaultySettingsFileShowsTheTextAndKeepsDefaults)
{
    writeSettings("12a\r\n");
    start();
    ASSERT_EQ(dialogs.texts("error"),
              QStringList {"'12a' is not a valid integer value\nSettings file: " +
                           QDir::currentPath() + "/SETDUVA.$$$\nThe default settings are used."});
    EXPECT_EQ(main->settingsForm()->settings().code(), 120);
    EXPECT_TRUE(main->isVisible());
}

TEST_F(MainWindow, SettingsFileSelectsTheDialogsButtons)
{
    writeSettings("51032\r\n");
    PtyPeer peer;
    ASSERT_TRUE(peer.linkAs("COM2"));
    start();
    main->SetCommunication1Click();
    ComSettingsForm *form = main->settingsForm();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), "COMPORT PROTOCOL");
    EXPECT_TRUE(radio("ComPort", 2)->isChecked());
    EXPECT_TRUE(radio("ComBaudRate", 3)->isChecked());
    EXPECT_TRUE(radio("ComParity", 0)->isChecked());
    EXPECT_TRUE(radio("ComBitLen", 1)->isChecked());
    EXPECT_TRUE(radio("ComStopBit", 0)->isChecked());
    EXPECT_TRUE(radio("ModBus", 1)->isChecked());
    EXPECT_FALSE(form->groupBox(ComSettings::ComBitLen)->isEnabled());
    // The buttons tell which device each number reaches: COM2 is linked here.
    EXPECT_EQ(radio("ComPort", 1)->toolTip(), peer.device());

    // Back to ASCII: the data-bit group comes back with "8 bits" kept.
    QTest::mouseClick(radio("ModBus", 0), Qt::LeftButton);
    EXPECT_TRUE(form->groupBox(ComSettings::ComBitLen)->isEnabled());
    EXPECT_TRUE(radio("ComBitLen", 1)->isChecked());
    // The close box keeps the new selections but writes nothing.
    QTest::mouseClick(radio("ComBaudRate", 4), Qt::LeftButton);
    form->close();
    EXPECT_EQ(settingsFile(), "51032\r\n");
    EXPECT_EQ(form->settings().comBaudRate(), 4);
}

TEST_F(MainWindow, EscapeClosesAboutAndTheSettingsDialogWhichSavesOnlyOnEnter)
{
    start();
    main->About1Click();
    ASSERT_TRUE(main->aboutForm()->isVisible());
    QTest::keyClick(main->aboutForm(), Qt::Key_Escape);
    EXPECT_FALSE(main->aboutForm()->isVisible());

    // Escape is the close box: the selection stays, nothing is written.
    main->SetCommunication1Click();
    ComSettingsForm *form = main->settingsForm();
    QTest::mouseClick(radio("ComBaudRate", 4), Qt::LeftButton);
    QTest::keyClick(form->OKBt1, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(settingsFile(), "<none>");

    // Enter is OK, wherever the focus is in the dialog.
    main->SetCommunication1Click();
    QTest::keyClick(radio("ComParity", 0), Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(settingsFile(), "140\r\n");
    main->SetCommunication1Click();
    QTest::mouseClick(radio("ComParity", 0), Qt::LeftButton);
    QTest::keyClick(form->OKBt1, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(settingsFile(), "40\r\n");
}

TEST_F(MainWindow, MenusOpenFromTheKeyboardWithTheirTextsUnchanged)
{
    start();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    QMenu *connectMenu = main->findChild<QMenu *>("CONNECT1");
    for (QKeyCombination key : {Qt::ALT | Qt::Key_C, QKeyCombination(Qt::Key_F10)}) {
        QTest::keySequence(main.get(), QKeySequence(key));
        EXPECT_TRUE(connectMenu->isVisible()) << key.key();
        EXPECT_EQ(main->menuBar()->activeAction(), connectMenu->menuAction()) << key.key();
        connectMenu->hide();
        main->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    }
    QTest::keySequence(main.get(), QKeySequence(Qt::ALT | Qt::Key_A));
    EXPECT_TRUE(main->aboutForm()->isVisible());
    main->aboutForm()->hide();
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    QTest::keySequence(main.get(), QKeySequence(Qt::ALT | Qt::Key_P));
    EXPECT_TRUE(main->settingsForm()->isVisible());
    EXPECT_EQ(menuItem("PROTOCOL1")->text(), "PROTOCOL");
    EXPECT_EQ(connectMenu->title(), "CONNECT");
}

TEST_F(MainWindow, NoPortSelectedResetsTheDialogWhenShown)
{
    writeSettings("-1\r\n");
    start();
    EXPECT_EQ(main->settingsForm()->settings().comPort(), -1);
    main->SetCommunication1Click();
    EXPECT_EQ(main->settingsForm()->settings().code(), 120);
    EXPECT_TRUE(radio("ComPort", 0)->isChecked());
}

TEST_F(MainWindow, ConsoleHoldsThePortAgainstTheOtherWindows)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.linkAs("COM1"));
    start();
    QTest::mouseClick(main->toolButton(5), Qt::LeftButton);
    ASSERT_TRUE(main->ApdComPort1.Open());
    EXPECT_TRUE(main->TESTPL->isVisible());
    EXPECT_FALSE(main->Image1->isVisible());
    EXPECT_FALSE(main->ToolBar1->isEnabled());

    for (const char *item : {"MONITOR1", "RECODER1", "PROTOCOL1"})
        menuItem(item)->trigger();
    EXPECT_EQ(refusals(), 3);
    EXPECT_FALSE(main->monitorForm()->isVisible());
    EXPECT_FALSE(main->recorderForm()->isVisible());
    EXPECT_FALSE(main->settingsForm()->isVisible());

    // TESTER again only brings the console forward: the channel keeps its
    // one timer and stays open.
    menuItem("ESTER1")->trigger();
    EXPECT_EQ(main->ApdComPort1.timers().size(), 1);
    EXPECT_EQ(refusals(), 3);

    // ABOUT is never refused.
    menuItem("ABOUT1")->trigger();
    EXPECT_TRUE(main->aboutForm()->isVisible());
    EXPECT_EQ(refusals(), 3);

    QTest::mouseClick(main->TESTPL->SExitBt, Qt::LeftButton);
    EXPECT_FALSE(main->ApdComPort1.Open());
    EXPECT_TRUE(main->Image1->isVisible());
    EXPECT_TRUE(main->ToolBar1->isEnabled());
    QTest::mouseClick(main->toolButton(3), Qt::LeftButton);
    EXPECT_TRUE(main->monitorForm()->isVisible());
    EXPECT_EQ(refusals(), 3);
}

TEST_F(MainWindow, MonitorHoldsThePortAgainstTesterAndRecorder)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.linkAs("COM1"));
    start();
    QTest::mouseClick(main->toolButton(3), Qt::LeftButton);
    EXPECT_TRUE(main->monitorForm()->isVisible());
    main->monitorForm()->ApdComPort1.setOpen(true);

    QTest::mouseClick(main->toolButton(5), Qt::LeftButton);
    QTest::mouseClick(main->toolButton(4), Qt::LeftButton);
    QTest::mouseClick(main->toolButton(2), Qt::LeftButton);
    EXPECT_EQ(refusals(), 3);
    EXPECT_FALSE(main->ApdComPort1.Open());
    EXPECT_FALSE(main->recorderForm()->isVisible());
    // CONFIGURATION just brings the monitor to the front.
    menuItem("MONITOR1")->trigger();
    EXPECT_EQ(refusals(), 3);
    EXPECT_TRUE(main->monitorForm()->isVisible());

    // A shown window whose channel is closed blocks nothing.
    main->monitorForm()->ApdComPort1.setOpen(false);
    QTest::mouseClick(main->toolButton(4), Qt::LeftButton);
    EXPECT_TRUE(main->recorderForm()->isVisible());
    EXPECT_EQ(refusals(), 3);

    // The recorder's open channel refuses the console and the monitor.
    main->recorderForm()->ApdComPort1.setOpen(true);
    menuItem("ESTER1")->trigger();
    menuItem("MONITOR1")->trigger();
    EXPECT_EQ(refusals(), 5);
    main->recorderForm()->ApdComPort1.setOpen(false);
}

TEST_F(MainWindow, ConsoleSendsThroughTheRealWidgets)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.linkAs("COM1"));
    start();
    ConsolePanel *panel = consoleWithRead("4a00"); // typed letters become upper case
    EXPECT_EQ(panel->SFunc->text(), "4A00");
    EXPECT_EQ(panel->DataLenLb->text(), "WORD COUNT");
    EXPECT_EQ(panel->SChkSum->text(), "B1");
    EXPECT_EQ(panel->SendEdit->text(), ":01034A000001B1");
    QTest::mouseClick(panel->SendBt, Qt::LeftButton);
    const QByteArray sent = peer.read(17);
    EXPECT_EQ(sent, panel->SendEdit->text().toLatin1() + "\r\n");
    peer.write(":01030200FAF7\r\n");
    QTest::qWait(200);
    EXPECT_EQ(panel->RcvEdit->text(), ":01030200FAF7");
    QTest::mouseClick(panel->SClearBt, Qt::LeftButton);
    EXPECT_TRUE(panel->RcvEdit->text().isEmpty());
}

TEST_F(MainWindow, ToolbarAndMenuAsDesigned)
{
    start();
    const char *hints[] = {"PC Communication Protocol Setting",
                           "Execute Configuration Program",
                           "Execute Recoder Program",
                           "Command Test Program",
                           "Close this Program",
                           "About this Program",
                           "Find Controllers"};
    for (int n = 2; n <= 8; ++n) {
        QToolButton *b = main->toolButton(n);
        ASSERT_NE(b, nullptr) << n;
        EXPECT_EQ(b->toolTip(), QString::fromLatin1(hints[n - 2]));
        EXPECT_EQ(b->size(), QSize(39, 38));
        EXPECT_FALSE(b->icon().isNull());
    }
    QStringList bar;
    for (QAction *a : main->menuBar()->actions())
        bar << a->text();
    EXPECT_EQ(bar, (QStringList {"PROTOCOL", "CONNECT", "EXIT", "ABOUT"}));
    QStringList sub;
    for (QAction *a : main->findChild<QMenu *>("CONNECT1")->actions())
        sub << a->text();
    EXPECT_EQ(sub, (QStringList {"CONFIGURATION", "RECORDER", "TESTER", "FIND CONTROLLERS"}));
    EXPECT_EQ(main->monitorForm()->windowTitle(), "DUVA CONFIGURATION PROGRAM");
    EXPECT_EQ(main->recorderForm()->windowTitle(), "Recorder Program");
    EXPECT_EQ(main->aboutForm()->windowTitle(), "ABOUT");
    EXPECT_FALSE(main->Image1->pixmap().isNull());
}

TEST_F(MainWindow, ScaledToTheScreenFactor)
{
    SetScreenSizeOverride(1280, 800);
    start();
    EXPECT_EQ(ScreenWidth(), 1066);
    EXPECT_EQ(main->Image1->size(), QSize(1066, 492));
    EXPECT_EQ(main->TESTPL->size(), QSize(531, 400)); // 511 x 385 designed
    EXPECT_EQ(main->TESTPL->SendEdit->width(), 348);
    main->SetCommunication1Click();
    EXPECT_EQ(main->settingsForm()->size(), QSize(337, 595)); // 324 x 572 designed
}

TEST_F(MainWindow, EveryWindowFitsTheScreenWithItsTitleBarOnIt)
{
    const QSize screens[] = {{1280, 800}, {1366, 768}, {1920, 1080}, {3840, 2160}};
    for (const QSize &size : screens) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        const QRect screen(QPoint(0, 0), size);
        SetScreenSizeOverride(size.width(), size.height());
        start();
        main->Monitor1Click();
        main->Recorder1Click();
        main->FindControllers1Click();
        main->SetCommunication1Click();
        main->About1Click();
        QTest::qWait(20);
        MonitorForm *monitor = main->monitorForm();
        QWidget *windows[] = {main.get(),           monitor,           main->recorderForm(),
                              main->settingsForm(), main->aboutForm(), main->findForm()};
        for (QWidget *w : windows) {
            EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
            EXPECT_TRUE(screen.contains(w->frameGeometry()))
                << w->objectName().toStdString() << " " << w->frameGeometry().x() << ","
                << w->frameGeometry().y() << " " << w->frameGeometry().width() << "x"
                << w->frameGeometry().height();
        }
        // The monitor's Exit button and the dialog's OK button lie within
        // their windows, not below the screen's edge.
        EXPECT_TRUE(monitor->rect().contains(monitor->ExitBt2->geometry()));
        EXPECT_TRUE(main->settingsForm()->rect().contains(main->settingsForm()->OKBt1->geometry()));
        // Dialogs opened over a main window in the screen's top left corner
        // stay on the screen.
        main->settingsForm()->hide();
        main->aboutForm()->hide();
        main->setGeometry(0, 0, 200, 100);
        main->SetCommunication1Click();
        main->About1Click();
        QTest::qWait(20);
        QWidget *dialogs[] = {main->settingsForm(), main->aboutForm()};
        for (QWidget *w : dialogs) {
            EXPECT_GE(w->frameGeometry().top(), 0) << w->objectName().toStdString();
            EXPECT_TRUE(screen.contains(w->frameGeometry()))
                << w->objectName().toStdString() << " " << w->frameGeometry().x() << ","
                << w->frameGeometry().y() << " " << w->frameGeometry().width() << "x"
                << w->frameGeometry().height();
        }
        main.reset();
    }
}

TEST_F(MainWindow, TheConsoleCommandListShowsItsLongestCommandWhole)
{
    SetScreenSizeOverride(1024, 768);
    start();
    main->ToolButton5Click();
    QComboBox *box = main->TESTPL->SCmdBox;
    QStyleOptionComboBox opt;
    opt.initFrom(box);
    opt.frame = true;
    const QRect text =
        box->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, box);
    EXPECT_GE(text.width(), box->fontMetrics().horizontalAdvance("Write Multi-Words"));
}

TEST_F(MainWindow, ControlsCarryTheirNamesForAccessibilityClients)
{
    InstallAccessibleNames(qApp);
    start();
    main->ToolButton5Click();
    main->SetCommunication1Click();
    main->About1Click();
    QTest::qWait(20);
    const struct
    {
        QWidget *window;
        const char *name;
    } controls[] = {
        {main.get(), "ToolButton5"},
        {main.get(), "SendEdit"},
        {main.get(), "SCmdBox"},
        {main.get(), "RSendBt"},
        {main.get(), "Edit7"},
        {main->settingsForm(), "OKBt1"},
        {main->settingsForm(), "ModBus"},
        {main.get(), "ToolButton8"},
        {main->findForm(), "SearchBt"},
        {main->findForm(), "ResultGrid"},
        {main->aboutForm(), "Label3"},
        {main->monitorForm(), "RunBt1"},
        {main->monitorForm(), "ComAddr4"},
        {main->monitorForm(), "Edit2P"},
        {main->monitorForm(), "ErrClearBt3"},
    };
    for (const auto &c : controls) {
        QWidget *w = c.window->findChild<QWidget *>(QString::fromLatin1(c.name));
        ASSERT_NE(w, nullptr) << c.name;
        w->ensurePolished();
        EXPECT_EQ(w->accessibleDescription(), QString::fromLatin1(c.name));
    }
}

TEST(MainLogic, OnlyOneWindowHoldsThePort)
{
    ScriptedDialogs dialogs;
    ComSettings settings;
    MainLogic logic(settings);
    TalkingWindow holder = TalkingWindow::Console;
    bool anyHolds = false;
    for (TalkingWindow w : {TalkingWindow::Console, TalkingWindow::Monitor, TalkingWindow::Recorder,
                            TalkingWindow::Find})
        logic.setWindow(w, {[&, w] { return anyHolds && holder == w; }, nullptr});

    EXPECT_TRUE(logic.maySetSettings());
    EXPECT_TRUE(logic.mayOpen(TalkingWindow::Recorder));
    const struct
    {
        TalkingWindow holder, asked;
        bool allowed;
    } cases[] = {
        {TalkingWindow::Console, TalkingWindow::Monitor, false},
        {TalkingWindow::Console, TalkingWindow::Recorder, false},
        {TalkingWindow::Console, TalkingWindow::Console, true},
        {TalkingWindow::Monitor, TalkingWindow::Console, false},
        {TalkingWindow::Monitor, TalkingWindow::Monitor, true},
        {TalkingWindow::Recorder, TalkingWindow::Monitor, false},
        {TalkingWindow::Recorder, TalkingWindow::Recorder, true},
        {TalkingWindow::Find, TalkingWindow::Monitor, false},
        {TalkingWindow::Find, TalkingWindow::Console, false},
        {TalkingWindow::Find, TalkingWindow::Find, true},
        {TalkingWindow::Recorder, TalkingWindow::Find, false},
    };
    anyHolds = true;
    int refusals = 0;
    for (const auto &c : cases) {
        holder = c.holder;
        EXPECT_EQ(logic.mayOpen(c.asked), c.allowed) << int(c.holder) << " " << int(c.asked);
        EXPECT_FALSE(logic.maySetSettings());
        refusals += c.allowed ? 1 : 2;
    }
    EXPECT_EQ(dialogs.texts().count(QString::fromLatin1(PortInUse)), refusals);
}

TEST(MainLogic, StartUpLoadsTheSettingsFile)
{
    TemporaryWorkDir work;
    QFile f("SETDUVA.$$$");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("51032\r\n");
    f.close();
    ComSettings settings;
    MainLogic(settings).loadSettings();
    EXPECT_EQ(settings.code(), 51032);
    EXPECT_EQ(settings.lineSettings().framing, ModbusMode::Rtu);
}

TEST_F(MainWindow, EndingTheProgramEndsEveryWindowsWorkWithoutAsking)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.linkAs("COM1"));
    start();
    // The console repeating a request that is never answered.
    ConsolePanel *panel = consoleWithRead("4700");
    QTest::mouseClick(panel->RSendBt, Qt::LeftButton);
    ASSERT_TRUE(main->ApdComPort1.Open());
    ASSERT_TRUE(main->console()->repeating());

    main->Exit1Click();
    EXPECT_FALSE(main->ApdComPort1.Open());
    EXPECT_FALSE(main->console()->repeating());
    EXPECT_FALSE(main->console()->timer1().isActive());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(MainWindow, EndingTheProgramClosesTheConfigurationWindowsPort)
{
    PtyPeer peer;
    ASSERT_TRUE(peer.linkAs("COM1"));
    start();
    QTest::mouseClick(main->toolButton(3), Qt::LeftButton);
    MonitorForm *monitor = main->monitorForm();
    ASSERT_TRUE(monitor->ApdComPort1.Open());
    QTest::mouseClick(monitor->slotWidgets(1).runBt, Qt::LeftButton);
    ASSERT_TRUE(monitor->engine().timer1().isActive());

    main->close(); // the main window's close box
    EXPECT_FALSE(monitor->ApdComPort1.Open());
    EXPECT_FALSE(monitor->engine().timer1().isActive());
    EXPECT_FALSE(monitor->isVisible());
    QTest::qWait(20);
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(MainWindow, PastedTextInAHexFieldIsUpperCasedLikeTypedText)
{
    start();
    main->ToolButton5Click();
    ConsolePanel *panel = main->TESTPL;
    QGuiApplication::clipboard()->setText(QStringLiteral("0a"));
    panel->SCOMAddr->paste();
    panel->SFunc->insert(QStringLiteral("4a0f")); // as a drop inserts it
    panel->SendEdit->insert(QStringLiteral("ab"));
    // Without a clipboard on this platform, insert the way paste does.
    if (panel->SCOMAddr->text().isEmpty())
        panel->SCOMAddr->insert(QStringLiteral("0a"));
    EXPECT_EQ(panel->SCOMAddr->text(), "0A");
    EXPECT_EQ(panel->SFunc->text(), "4A0F");
    EXPECT_EQ(main->console()->fields().address, "0A");
    EXPECT_TRUE(panel->SendEdit->text().endsWith("AB"));
}

} // namespace
