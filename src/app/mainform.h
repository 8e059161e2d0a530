#pragma once

#include "app/mainlogic.h"
#include "link/serialchannel.h"

#include <QIcon>
#include <QList>
#include <QMainWindow>

class AboutForm;
class ComSettings;
class ComSettingsForm;
class ConsoleLogic;
class ConsolePanel;
class FindForm;
class MonitorForm;
class ProgramForm;
class QLabel;
class QToolBar;
class QToolButton;
class RecorderForm;

// The main window: toolbar and menu that open the other windows, the
// decorative picture, and the command-test console with its own channel.
// Only one window at a time may have its channel open.
class MainForm : public QMainWindow
{
    Q_OBJECT
public:
    // `settings` is the program's one settings object, owned by main().
    explicit MainForm(ComSettings &settings);
    ~MainForm() override;

    // The windows created after the main window, in the order of creation.
    void attach(AboutForm *about, MonitorForm *monitor, ComSettingsForm *settings,
                ProgramForm *program, RecorderForm *recorder, FindForm *find);

    AboutForm *aboutForm() const { return m_about; }
    MonitorForm *monitorForm() const { return m_monitor; }
    ComSettingsForm *settingsForm() const { return m_settings; }
    ProgramForm *programForm() const { return m_program; }
    RecorderForm *recorderForm() const { return m_recorder; }
    FindForm *findForm() const { return m_find; }

    // Handlers of the toolbar buttons and menu items.
    void SetCommunication1Click();
    void Monitor1Click();
    void Recorder1Click();
    void ToolButton5Click();
    void FindControllers1Click();
    void Exit1Click();
    void About1Click();
    void FormShow();
    // The one way the program ends: every window ends its work without
    // asking anything, channels close, then the event loop ends.
    void endProgram();

    ComSettings &settings() const { return m_settingsObject; }
    MainLogic &logic() { return m_logic; }

    SerialChannel ApdComPort1; // the console's channel
    ConsoleLogic *console() const { return m_console; }
    ConsolePanel *TESTPL = nullptr;
    QToolBar *ToolBar1 = nullptr;
    QLabel *Image1 = nullptr;
    QToolButton *toolButton(int number) const; // ToolButton2 .. ToolButton8
    QList<QIcon> ImageList1; // the toolbar's 32 x 32 icons, by index

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void connectProgramEditor();
    void connectFindForm();
    // Makes `line` the program's settings, written to the settings file when
    // `save` is set; false, changing nothing, when that failed.
    bool useLineSettings(const LineSettings &line, bool save);
    void monitorFound(const LineSettings &line, const QList<int> &addresses);
    void addToolButton(int number, int icon, const char *hint, void (MainForm::*handler)());
    void setConsoleShown(bool shown);
    void SExitBtClick();

    ComSettings &m_settingsObject;
    MainLogic m_logic;
    ConsoleLogic *m_console = nullptr;
    AboutForm *m_about = nullptr;
    MonitorForm *m_monitor = nullptr;
    ComSettingsForm *m_settings = nullptr;
    ProgramForm *m_program = nullptr;
    RecorderForm *m_recorder = nullptr;
    FindForm *m_find = nullptr;
    bool m_shownOnce = false;
};
