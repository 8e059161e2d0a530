#include "mainform.h"

#include "aboutform.h"
#include "comsettingsform.h"
#include "consolelogic.h"
#include "consolepanel.h"
#include "dialogs.h"
#include "duvaerror.h"
#include "jpegloader.h"
#include "monitorform.h"
#include "programform.h"
#include "recorderform.h"
#include "screenscale.h"
#include "settingsfile.h"
#include "windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {
// Settings read before the settings dialog exists (tests build the main
// window alone): the design defaults.
const ComSettings designDefaults;
} // namespace

MainForm::MainForm()
{
    // FormCreate.
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Corvantic DUVA Series Configuration Software"));
    FixScreenWidth(this);
    // Maximized by the window manager; without one, cover the screen anyway.
    if (const QScreen *s = screen())
        setGeometry(s->availableGeometry());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    ApdComPort1.setObjectName(QStringLiteral("ApdComPort1"));
    SetScaledFont(this, 13);

    for (int i = 0; i < 8; ++i)
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
    item(menu, "PROTOCOL1", "PROTOCOL", &MainForm::SetCommunication1Click);
    QMenu *connectMenu = menu->addMenu(QStringLiteral("CONNECT"));
    connectMenu->setObjectName(QStringLiteral("CONNECT1"));
    item(connectMenu, "MONITOR1", "CONFIGURATION", &MainForm::Monitor1Click);
    item(connectMenu, "RECODER1", "RECORDER", &MainForm::Recorder1Click);
    item(connectMenu, "ESTER1", "TESTER", &MainForm::ToolButton5Click);
    item(menu, "EXIT1", "EXIT", &MainForm::Exit1Click);
    item(menu, "ABOUT1", "ABOUT", &MainForm::About1Click);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainPanel"));
    setCentralWidget(central);
    Image1 = new QLabel(central);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(Picture(QStringLiteral("main"))));
    PlaceScaled(Image1, 0, 0, 1024, 473);

    m_console = new ConsoleLogic(ApdComPort1, designDefaults, this);
    TESTPL = new ConsolePanel(*m_console, central);
    TESTPL->move(Scaled((1024 - 481) / 2), Scaled(24));
    TESTPL->setCommandRowHeight(ScreenWidth() * 15 / 1024);
    TESTPL->hide();
    connect(TESTPL, &ConsolePanel::closeRequested, this, &MainForm::SExitBtClick);

    ApdComPort1.OnTrigger = [this](SerialChannel &, quint16 msg, quint16 handle, quint16 data) {
        m_console->ApdComPort1Trigger(msg, handle, data);
    };
}

MainForm::~MainForm() = default;

void MainForm::attach(AboutForm *about, MonitorForm *monitor, ComSettingsForm *settings,
                      ProgramForm *program, RecorderForm *recorder)
{
    m_about = about;
    m_monitor = monitor;
    m_settings = settings;
    m_program = program;
    m_recorder = recorder;
    // The console reads the settings dialog's selections from now on.
    m_console->setSettings(m_settings->settings());
    m_monitor->setSettings(m_settings->settings());
    m_monitor->setProgramForm(m_program);
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
    if (!m_settings)
        return;
    ComSettings loaded = m_settings->settings();
    try {
        LoadSettingsFile(loaded);
        m_settings->setSettings(loaded);
    } catch (const DuvaError &e) {
        // The selections keep their defaults; the window is still shown.
        const QString text = e.text();
        QTimer::singleShot(0, [text] { AppDialogs().error(text); });
    }
}

void MainForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    QApplication::quit();
}

bool MainForm::portsFree(std::initializer_list<const SerialChannel *> others)
{
    for (const SerialChannel *channel : others) {
        if (channel && channel->Open()) {
            AppDialogs().inform(QStringLiteral("Message"),
                                QStringLiteral("COM port in use, Shut down other program first !"));
            return false;
        }
    }
    return true;
}

void MainForm::SetCommunication1Click()
{
    if (!portsFree({&ApdComPort1, m_monitor ? &m_monitor->ApdComPort1 : nullptr,
                    m_recorder ? &m_recorder->ApdComPort1 : nullptr}))
        return;
    if (m_settings)
        m_settings->showCentred();
}

void MainForm::Monitor1Click()
{
    if (!portsFree({&ApdComPort1, m_recorder ? &m_recorder->ApdComPort1 : nullptr}))
        return;
    if (m_monitor)
        m_monitor->showWindow();
}

void MainForm::Recorder1Click()
{
    if (!portsFree({&ApdComPort1, m_monitor ? &m_monitor->ApdComPort1 : nullptr}))
        return;
    if (m_recorder)
        ShowCentredOnOwner(m_recorder);
}

void MainForm::ToolButton5Click()
{
    if (!portsFree({m_monitor ? &m_monitor->ApdComPort1 : nullptr,
                    m_recorder ? &m_recorder->ApdComPort1 : nullptr}))
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
    QApplication::quit();
}

void MainForm::About1Click()
{
    if (m_about)
        m_about->showCentred();
}
