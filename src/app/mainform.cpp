#include "app/mainform.h"

#include "app/aboutform.h"
#include "app/comsettings.h"
#include "app/comsettingsform.h"
#include "app/recordingloader.h"
#include "app/settingsfile.h"
#include "console/consolelogic.h"
#include "console/consolepanel.h"
#include "find/findform.h"
#include "link/duvaerror.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "program/programform.h"
#include "recorder/recorderform.h"
#include "ui/dialogs.h"
#include "ui/jpegloader.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

MainForm::MainForm(ComSettings &settings)
    : m_settingsObject(settings)
    , m_logic(settings)
{
    // FormCreate.
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Corvantic DUVA Series Configuration Software"));
    FixScreenWidth(this);
    // Maximized by the window manager; without one, cover the screen anyway.
    setGeometry(ScreenArea(this));
    KeepOnScreenWhenShown(this);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    ApdComPort1.setObjectName(QStringLiteral("ApdComPort1"));
    ApdComPort1.setPortChooser(ChoosePort);
    SetScaledFont(this, 13);

    for (int i = 0; i < 9; ++i)
        ImageList1.append(QIcon(QPixmap::fromImage(Picture(QStringLiteral("icon%1").arg(i)))));

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(32, 32));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    ToolBar1->addSeparator();
    addToolButton(2, 6, "PC Communication Protocol Setting", &MainForm::SetCommunication1Click);
    ToolBar1->addSeparator();
    addToolButton(3, 1, "Execute Configuration Program", &MainForm::Monitor1Click);
    addToolButton(4, 7, "Execute Recoder Program", &MainForm::Recorder1Click);
    addToolButton(5, 3, "Command Test Program", &MainForm::ToolButton5Click);
    addToolButton(8, 8, "Find Controllers", &MainForm::FindControllers1Click);
    ToolBar1->addSeparator();
    addToolButton(6, 4, "Close this Program", &MainForm::Exit1Click);
    addToolButton(7, 5, "About this Program", &MainForm::About1Click);
    ToolBar1->addSeparator();

    QMenuBar *menu = menuBar();
    menu->setObjectName(QStringLiteral("MainMenu1"));
    auto item = [this](QWidget *parent, const char *name, const char *text,
                       void (MainForm::*handler)()) {
        auto *action = new QAction(QString::fromLatin1(text), parent);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        parent->addAction(action);
        return action;
    };
    QAction *protocol = item(menu, "PROTOCOL1", "PROTOCOL", &MainForm::SetCommunication1Click);
    QMenu *connectMenu = menu->addMenu(QStringLiteral("CONNECT"));
    connectMenu->setObjectName(QStringLiteral("CONNECT1"));
    item(connectMenu, "MONITOR1", "CONFIGURATION", &MainForm::Monitor1Click);
    item(connectMenu, "RECODER1", "RECORDER", &MainForm::Recorder1Click);
    item(connectMenu, "ESTER1", "TESTER", &MainForm::ToolButton5Click);
    item(connectMenu, "FINDCONTROLLERS1", "FIND CONTROLLERS", &MainForm::FindControllers1Click);
    QAction *exit = item(menu, "EXIT1", "EXIT", &MainForm::Exit1Click);
    QAction *about = item(menu, "ABOUT1", "ABOUT", &MainForm::About1Click);
    // Keyboard access to the menu without underlined letters, which would
    // change the items' texts: Alt with the first letter, and F10 opens the
    // CONNECT menu, from where the arrow keys reach the others.
    auto shortcut = [this](QKeySequence keys, auto handler) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, handler);
    };
    auto openMenu = [menu, connectMenu] { menu->setActiveAction(connectMenu->menuAction()); };
    shortcut(QKeySequence(Qt::ALT | Qt::Key_P), [protocol] { protocol->trigger(); });
    shortcut(QKeySequence(Qt::ALT | Qt::Key_C), openMenu);
    shortcut(QKeySequence(Qt::ALT | Qt::Key_E), [exit] { exit->trigger(); });
    shortcut(QKeySequence(Qt::ALT | Qt::Key_A), [about] { about->trigger(); });
    shortcut(QKeySequence(Qt::Key_F10), openMenu);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainPanel"));
    setCentralWidget(central);
    Image1 = new QLabel(central);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(Picture(QStringLiteral("main"))));
    PlaceScaled(Image1, 0, 0, 1024, 473);

    m_console = new ConsoleLogic(
        ApdComPort1, [&settings] { return settings.lineSettings(); }, this);
    TESTPL = new ConsolePanel(*m_console, central);
    TESTPL->move(Scaled((1024 - ConsolePanel::PanelWidth) / 2), Scaled(24));
    TESTPL->setCommandRowHeight(ScreenWidth() * 15 / 1024);
    TESTPL->hide();
    connect(TESTPL, &ConsolePanel::closeRequested, this, &MainForm::SExitBtClick);

    m_logic.setWindow(
        TalkingWindow::Console,
        {[this] { return m_console->holdsPort(); }, [this] { m_console->endWork(); }});
}

MainForm::~MainForm() = default;

void MainForm::attach(AboutForm *about, MonitorForm *monitor, ComSettingsForm *settings,
                      ProgramForm *program, RecorderForm *recorder, FindForm *find)
{
    m_find = find;
    m_about = about;
    m_monitor = monitor;
    m_settings = settings;
    m_program = program;
    m_recorder = recorder;
    m_monitor->setProgramForm(m_program);
    connectProgramEditor();
    m_logic.setWindow(
        TalkingWindow::Monitor,
        {[monitor] { return monitor->holdsPort(); }, [monitor] { monitor->endWork(); }});
    m_logic.setWindow(
        TalkingWindow::Recorder,
        {[recorder] { return recorder->holdsPort(); }, [recorder] { recorder->endWork(); }});
    m_logic.setWindow(TalkingWindow::Find,
                      {[find] { return find->holdsPort(); }, [find] { find->endWork(); }});
    connectFindForm();
}

void MainForm::connectFindForm()
{
    FindHooks &hooks = m_find->logic().hooks;
    hooks.useSettings = [this](const LineSettings &line, bool save) {
        return useLineSettings(line, save);
    };
    hooks.monitorThese = [this](const LineSettings &line, const QList<int> &addresses) {
        // Out of the button's click: the find window closes on the way.
        QTimer::singleShot(0, this, [this, line, addresses] { monitorFound(line, addresses); });
    };
}

bool MainForm::useLineSettings(const LineSettings &line, bool save)
{
    ComSettings chosen = m_settingsObject;
    if (!chosen.selectLine(line))
        return false;
    if (save) {
        try {
            SaveSettingsFile(chosen, QStringLiteral("."));
            SaveNetworkFile(chosen, QStringLiteral("."));
        } catch (const DuvaError &e) {
            AppDialogs().error(e.text());
            return false;
        }
    }
    m_settingsObject = chosen;
    if (m_settings)
        m_settings->refresh();
    return true;
}

void MainForm::monitorFound(const LineSettings &line, const QList<int> &addresses)
{
    // The find window lets the port go before the configuration window
    // takes it at the settings the controllers answered at.
    m_find->close();
    if (!(line == m_settingsObject.lineSettings()) && !useLineSettings(line, false))
        return;
    if (!m_logic.mayOpen(TalkingWindow::Monitor))
        return;
    // A configuration window left shown without its port opens it afresh.
    if (m_monitor->isVisible() && !m_monitor->holdsPort())
        m_monitor->close();
    m_monitor->showWindow();
    MonitorEngine &engine = m_monitor->engine();
    for (int n = 1; n <= addresses.size() && n <= 4; ++n) {
        engine.setComAddr(n, addresses.at(n - 1));
        engine.ConnectSlot(n);
    }
}

void MainForm::connectProgramEditor()
{
    // The program editor has no line of its own: its transfers are the
    // configuration window's engine's, to the controller selected there.
    ProgramEditor &editor = m_program->editor();
    MonitorEngine &engine = m_monitor->engine();
    editor.setTransferActions(
        [&engine] { return engine.requestProgramRead(); },
        [&engine](const QList<RegisterWrite> &writes) { return engine.startProgramWrite(writes); },
        [&engine] {
            const MonitorState &st = engine.state();
            return st.at(st.SelectedDevice).OnlineConfig;
        });
    // The program check holds set values against the selected controller's
    // range once its setup is in.
    m_program->setRecordingLoader(LoadRecording);
    editor.setControllerRange([&engine]() -> std::optional<ControllerRange> {
        if (!engine.imageWhole())
            return std::nullopt;
        return RangeOfSetup(engine.image());
    });
    engine.hooks.programReply = [&editor](int phase, int firstStep, const QList<quint16> &words) {
        editor.programReply(phase, firstStep, words);
    };
    engine.hooks.programReadEnded = [&editor](bool complete, const QString &why) {
        editor.programReadEnded(complete, why);
    };
    engine.hooks.programWriteProgress = [&editor](int done) { editor.programWriteProgress(done); };
    engine.hooks.programWriteEnded = [&editor](const BatchWriteReport &report) {
        editor.programWriteEnded(report);
    };
}

void MainForm::addToolButton(int number, int icon, const char *hint, void (MainForm::*handler)())
{
    auto *action = new QAction(QString::fromLatin1(hint), this);
    action->setObjectName(QStringLiteral("ToolButton%1Action").arg(number));
    action->setToolTip(QString::fromLatin1(hint));
    action->setIcon(ImageList1.value(icon));
    connect(action, &QAction::triggered, this, handler);
    ToolBar1->addAction(action);
    QWidget *button = ToolBar1->widgetForAction(action);
    button->setObjectName(QStringLiteral("ToolButton%1").arg(number));
    button->setFixedSize(39, 38);
}

QToolButton *MainForm::toolButton(int number) const
{
    return ToolBar1->findChild<QToolButton *>(QStringLiteral("ToolButton%1").arg(number));
}

void MainForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shownOnce && !event->spontaneous()) {
        m_shownOnce = true;
        FormShow();
    }
}

void MainForm::FormShow()
{
    m_logic.loadSettings();
    if (m_settings)
        m_settings->refresh();
}

void MainForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    endProgram();
}

void MainForm::endProgram()
{
    m_logic.endProgram();
    // Whatever the platform does with the other windows, they are gone.
    for (QWidget *w : {static_cast<QWidget *>(m_about), static_cast<QWidget *>(m_settings),
                       static_cast<QWidget *>(m_program), static_cast<QWidget *>(m_find)})
        if (w)
            w->hide();
    QApplication::quit();
}

void MainForm::SetCommunication1Click()
{
    if (!m_logic.maySetSettings())
        return;
    if (m_settings)
        m_settings->showCentred();
}

void MainForm::Monitor1Click()
{
    if (!m_logic.mayOpen(TalkingWindow::Monitor))
        return;
    if (m_monitor)
        m_monitor->showWindow();
}

void MainForm::Recorder1Click()
{
    if (!m_logic.mayOpen(TalkingWindow::Recorder))
        return;
    if (m_recorder)
        m_recorder->showWindow();
}

void MainForm::ToolButton5Click()
{
    if (!m_logic.mayOpen(TalkingWindow::Console))
        return;
    // Already open: only bring it forward; reopening would replace the reply
    // timer under an exchange in progress.
    if (m_console->isOpen()) {
        raise();
        activateWindow();
        return;
    }
    setConsoleShown(true);
    m_console->open();
    TESTPL->SendBt->setFocus();
}

void MainForm::FindControllers1Click()
{
    if (!m_logic.mayOpen(TalkingWindow::Find))
        return;
    if (m_find)
        m_find->showWindow();
}

void MainForm::SExitBtClick()
{
    m_console->SExitBtClick();
    setConsoleShown(false);
}

void MainForm::setConsoleShown(bool shown)
{
    Image1->setVisible(!shown);
    TESTPL->setVisible(shown);
    ToolBar1->setEnabled(!shown);
}

void MainForm::Exit1Click()
{
    endProgram();
}

void MainForm::About1Click()
{
    if (m_about)
        m_about->showCentred();
}
