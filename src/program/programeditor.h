#pragma once

#include "program/programcheck.h"
#include "program/programgrid.h"
#include "program/rampsoakprogram.h"
#include "setup/registerwrite.h"
#include "ui/canvas.h"

#include <QList>
#include <QString>
#include <array>
#include <functional>
#include <optional>

// What the program window shows.
struct ProgramViewModel : ProgramEditors
{
    ProgramGrid::Cells cells {};
    int progStart = 0; // ProgStart's position; -1 for none
    bool editBoxVisible = false;
    bool editBoxEnabled = true;
    ProgramFocus focus = ProgramFocus::None;
    int focusCount = 0; // raised when `focus` is to take the focus
    // Buttons.
    bool progStartEnabled = true;
    bool readSBtEnabled = true;
    bool readFBtEnabled = true;
    bool saveFBtEnabled = false;
    bool wrBtEnabled = false;
    bool editPBtEnabled = false;
    // UpLoadLabelP and UpLoadBarP.
    bool progressVisible = false;
    QString progressCaption = QStringLiteral("Reading Now");
    int progress = 0;
    // The gauge goes with the line's transfers; after a file was saved or
    // opened the label alone names it and says how it went.
    bool progressBarVisible = false;
    // ProgCurve: shown once drawn; `curveVersion` rises with each drawing.
    bool curveVisible = false;
    int curveVersion = 0;
    // ProgCheck beside the curve: the program check, raised with each one.
    ProgramCheck check;
    int checkVersion = 0;
};

// What the window asks of the monitor window's engine.
struct ProgramEditorActions
{
    // The program read of the selected controller; false when it cannot start.
    std::function<bool()> requestRead;
    // The 153 writes to the selected controller; false when they cannot start.
    std::function<bool(const QList<RegisterWrite> &)> startWrite;
    // The selected controller's on-line configuration flag.
    std::function<bool()> onlineConfig;
    // The selected controller's range, when its setup is known.
    std::function<std::optional<ControllerRange>()> controllerRange;
    // Runs the call once the event in hand is done (boxes never open
    // inside the line's events).
    std::function<void(std::function<void()>)> post;
    std::function<void()> changed;
};

// The program editor's logic: the grid and its editors, the curve, the
// transfers to and from the selected controller and the program file.
class ProgramEditor
{
public:
    static constexpr int CurveWidth = 620;
    static constexpr int CurveHeight = 95;

    ProgramEditor(RampSoakProgram &program, ProgramEditorActions actions);

    const ProgramViewModel &model() const { return m_model; }
    const Canvas &curve() const { return m_curve; }
    const RampSoakProgram &program() const { return m_program; }
    bool transferring() const { return m_transfer != Transfer::None; }

    // The engine's side, given once both windows exist.
    void setTransferActions(std::function<bool()> requestRead,
                            std::function<bool(const QList<RegisterWrite> &)> startWrite,
                            std::function<bool()> onlineConfig);
    void setControllerRange(std::function<std::optional<ControllerRange>()> range);
    // The selected controller's range, when its setup is known.
    std::optional<ControllerRange> controllerRange() const;
    // Checks again when the selected controller's range is no longer the
    // one the check used (its setup came in, or another was selected).
    void rangeTick();

    void FormShow();
    // A cell of the program (row 1..19, column 1..8) selected.
    void ProgTableClick(int row, int column);
    void EditPBtClick();
    // The editors' values as the user changes them.
    void SPEditChange(const QString &text);
    void MaxStepChange(int index);
    void StepLinkChange(int index);
    void TimeHourChange(int index); // commits
    void TimeMinChange(const QString &text); // commits unless empty
    void ProgStartChange(int index);
    // "Enter", or the Enter key in an editor: the editor into the cell.
    void POKBtClick();

    void ReadSBtClick();
    void WrBtClick();
    void ReadFBtClick();
    void SaveFBtClick();

    // From the engine.
    void programReply(int phase, int firstStep, const QList<quint16> &words);
    void programReadEnded(bool complete, const QString &why = QString());
    void programWriteProgress(int done);
    void programWriteEnded(const BatchWriteReport &report);

    // How a value of the program is named to the user, by its position in
    // the register order.
    static QString describePosition(int position);

private:
    enum class Transfer { None, Read, Write };
    void changed();
    void inform(const QString &text);
    void refreshCells();
    void setupEditors(int row);
    void commit();
    // The curve and the check, after the program changed.
    void drawCurve();
    void updateCheck();
    // Controls while a transfer runs, and after: `complete` when the grid
    // holds a whole program.
    void beginTransfer(Transfer t, const QString &caption);
    void endTransfer();
    // After a file was saved or opened: its name and how it went.
    void showFileResult(const QString &name, const QString &result);
    int selectedPattern() const { return m_column - 1; }

    RampSoakProgram &m_program;
    ProgramEditorActions m_actions;
    ProgramViewModel m_model;
    Canvas m_curve {QSize(CurveWidth, CurveHeight)};
    std::optional<ControllerRange> m_checkedRange; // the range the check used
    Transfer m_transfer = Transfer::None;
    bool m_complete = false; // the grid holds a whole program (read or loaded)
    bool m_readReceived = false; // the read in progress has changed the grid
    int m_row = 0; // the selected cell; 0: none
    int m_column = 0;
};
