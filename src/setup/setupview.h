#pragma once

#include "setup/parameterimage.h"
#include "setup/setupcontrols.h"

#include "link/errortexts.h"
#include <QList>

#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <map>

// What one row of the setup view shows. A row is its code label, caption,
// field (or list) and picture, shown or hidden as a whole.
struct SetupControlState
{
    QString code; // the code label's text
    QString text; // an edit field's text
    QStringList items; // a list's items
    int position = -1; // a list's position; -1 selects no item
    bool visible = true;
    bool enabled = true;
    QString picture;
};

struct SetupBoxState
{
    bool visible = false;
    bool enabled = true;
};

// The setup view's presentation model: what every control shows.
struct SetupViewModel
{
    std::array<SetupControlState, SetupFieldCount> field {};
    std::array<SetupBoxState, SetupBoxCount> box {};
    bool out2Panel = false; // OUT2PL: the output-2 rows of the PID box
    QString labelOfs = QStringLiteral("P1-7"); // LabelOfs, beside the offset row
    QString fwCaption; // FWVersion
    bool fwVisible = false;
    bool fwEnabled = true;
    bool passVisible = false; // PassEdit and its close picture PassLB
    QString passText;
    int passFocus = 0; // raised when PassEdit is to take the focus
    bool progBtVisible = false;
    bool progBtEnabled = false;
    bool drawBtVisible = false;
    bool saveBtVisible = false;
    bool openBtVisible = false;
    bool opPanelVisible = false;
    bool fileButtonsEnabled = true; // SaveBt, OpenBt, DrawBt
    bool progressVisible = false; // UpLoadLabel and UpLoadBar
    QString progressCaption = QStringLiteral("Reading Data Now"); // UpLoadLabel
    int progress = 0; // UpLoadBar, percent
    // The last edited field; its whole text is selected each time `select`
    // is raised (after each setup read).
    int selectField = -1;
    int select = 0;
    // A write the controller would not take, said for a few seconds where
    // the user looks; `noticeSerial` rises with each new notice.
    QString notice;
    int noticeSerial = 0;

    SetupControlState &at(SetupField f) { return field[size_t(f)]; }
    const SetupControlState &at(SetupField f) const { return field[size_t(f)]; }
    SetupBoxState &at(SetupBox b) { return box[size_t(b)]; }
    const SetupBoxState &at(SetupBox b) const { return box[size_t(b)]; }
};

// What the view reads of the engine about the selected controller and the
// window, when it needs it.
struct SetupViewContext
{
    int address = 1; // of the selected controller
    int decimals = 0; // its polled decimal point position
    bool onlineConfig = false;
    int autoTuning = -1; // polled; -1 before the first status reply
    bool eventInput2 = false;
    bool programRunning = false;
    int sv = 0; // polled set value, as the register holds it
    int output1 = 0; // polled output levels, tenths of a percent
    int output2 = 0;
    int programDisplayMode = 0; // 0x4762 last polled
    int connected = 0; // connected controllers
    bool chartShown = false;
    bool paramsFromFile = false;
    bool setupViewPending = false; // the first setup read since the first connection
};

// What the view asks of the engine.
struct SetupViewActions
{
    // A single write to the controller at `address`, with the unlock write
    // before it when `unlock` is set.
    std::function<void(int address, int reg, int value, bool unlock)> write;
    // Read the selected controller's setup again.
    std::function<void()> reread;
    // Read the heating/cooling assignment of the outputs again.
    std::function<void()> readOutputMode;
    // The debug counters and the status text, on or off.
    std::function<void(bool)> showDebug;
    // The trend chart in place of the view, or the view again.
    std::function<void(bool)> showChart;
    // The event indicators of the PV panels are hidden.
    std::function<void()> hideEventIndicators;
    // The model changed.
    std::function<void()> changed;
};

// The setup view's logic: fills the model from the parameter image and the
// selected controller's polls, and turns the user's entries into writes.
class SetupViewLogic
{
public:
    // The access code that shows the factory box.
    static const QString AccessCode;

    SetupViewLogic(const ParameterImage &image, std::function<SetupViewContext()> context,
                   SetupViewActions actions);

    const SetupViewModel &model() const { return m_model; }
    bool setupShown() const { return m_setupShown; }
    bool factoryAccess() const { return m_factoryAccess; }
    bool factoryShown() const { return m_factoryShown; }
    // Values are a linear input's while the view's input type list says so.
    bool linearInput() const;

    // The window opens or the last controller went away: the view is hidden
    // and its editing disabled; the factory box and its access are off.
    void resetView();
    void ShowSetupView();
    void HideSetupView();
    void SetEditing(bool enabled);
    void DisplayParameters();
    void ShowAlarmLimits(int mode, int alarm);
    void ShowFactory(bool show);
    // DrawBt: the trend chart in place of the view, or back to the view
    // with its setup read again.
    void DrawBtClick();

    // A parameter file is shown: its values, editing off, OpPanel offered,
    // the file buttons and CtrlerBox disabled; and back to the controller.
    void showFileLoaded();
    void showFileClosed();
    // Write-all: the gauge under the pressed button's caption, its progress,
    // and its end (the file buttons and CtrlerBox enabled again).
    void showWriteStarted(const QString &caption);
    void showWriteProgress(int percent);
    void showWriteEnded();
    // A save or a comparison waits for the setup read: `text` says so in the
    // gauge's label; empty when the wait is over.
    void showWaiting(const QString &text);
    // A single write the controller refused (or echoed otherwise): named
    // with the parameter and the value as it was entered.
    void writeRefused(int reg, int value, const TransactionResult &error);
    // The notice of `serial` has been shown long enough.
    void noticeShown(int serial);

    // A setup reply (steps 6 to 13) after the engine stored it, and the end
    // of the setup read cycle.
    void applySetupStep(int step, const QList<quint16> &words);
    void endSetupCycle();

    // Entry. `text` is the field's text as it stands after the key.
    void OnKeyPress(SetupField field, QChar key, const QString &text);
    // The user picked the list's item at `position`.
    void CtrlSetSelect(SetupField field, int position);
    // ClearBt1 (`restore` true) or ClearBt2.
    void ClearBt1Click(bool restore);
    void FWVersionDblClick();
    void PassLBClick();
    void PassEditChange(const QString &text);

    // The register an entry of the field writes, and the decimals it is
    // scaled to, as they stand now.
    int registerOf(SetupField field) const;
    int decimalsOf(SetupField field) const;

    // The three formats of the view.
    static QString UnsignedTenthsFormat(int value);
    static QString HundredthsFormat(int value);
    static QString FirmwareText(const QString &caption, int major, int minor);

private:
    SetupViewContext context() const { return m_context(); }
    void changed();
    // A user's change may be sent: no file is loaded, and the control is
    // enabled (the on-line configuration list only needs no file).
    bool editable(SetupField field) const;
    void setText(SetupField f, const QString &text)
    {
        m_model.at(f).text = m_displayed[size_t(f)] = text;
    }
    void setPosition(SetupField f, int value);
    void setRow(SetupField f, bool visible) { m_model.at(f).visible = visible; }
    void showAutoTuningRow(bool visible) { setRow(SetupField::AT, visible); }
    void controlModeLayout(int mode);
    void heatingCoolingRows(int heatCool, int decimals, bool linear);

    const ParameterImage &m_image;
    std::function<SetupViewContext()> m_context;
    SetupViewActions m_actions;
    SetupViewModel m_model;
    // What the view last put into each field, for an entry it refuses.
    std::array<QString, SetupFieldCount> m_displayed {};
    // What was entered for each register written last, as typed or picked.
    std::map<int, QString> m_entered;
    QString m_fwDesignCaption = QStringLiteral("Firmware Version");
    bool m_setupShown = false;
    bool m_showTenths = false;
    bool m_factoryAccess = false;
    bool m_factoryShown = false;
    int m_heatCool = 0; // the heating/cooling value the view shows
    // Copied from the selected controller's polls when step 11 arrives.
    int m_copiedDecimals = 0;
    int m_copiedAutoTuning = -1;
    bool m_copiedEvent2 = false;
};
