#include "program/programeditor.h"

#include "program/programcurve.h"
#include "program/programfileactions.h"
#include "program/programtransfer.h"
#include "ui/dialogs.h"

namespace {

using namespace ProgramGrid;

const QString MessageTitle = QStringLiteral("Message");

} // namespace

ProgramEditor::ProgramEditor(RampSoakProgram &program, ProgramEditorActions actions)
    : m_program(program)
    , m_actions(std::move(actions))
{
    refreshCells();
    updateCheck();
}

void ProgramEditor::setTransferActions(std::function<bool()> requestRead,
                                       std::function<bool(const QList<RegisterWrite> &)> startWrite,
                                       std::function<bool()> onlineConfig)
{
    m_actions.requestRead = std::move(requestRead);
    m_actions.startWrite = std::move(startWrite);
    m_actions.onlineConfig = std::move(onlineConfig);
}

void ProgramEditor::setControllerRange(std::function<std::optional<ControllerRange>()> range)
{
    m_actions.controllerRange = std::move(range);
    updateCheck();
    changed();
}

std::optional<ControllerRange> ProgramEditor::controllerRange() const
{
    return m_actions.controllerRange ? m_actions.controllerRange() : std::nullopt;
}

void ProgramEditor::changed()
{
    if (m_actions.changed)
        m_actions.changed();
}

void ProgramEditor::inform(const QString &text)
{
    auto show = [text] { AppDialogs().inform(MessageTitle, text); };
    if (m_actions.post)
        m_actions.post(show);
    else
        show();
}

QString ProgramEditor::describePosition(int p)
{
    return ProgramTransfer::describePosition(p);
}

void ProgramEditor::refreshCells()
{
    FillCells(m_model.cells, m_program);
    const int start = m_program.StartPattern;
    m_model.progStart = start >= 0 && start < RampSoakProgram::Patterns ? start : -1;
}

void ProgramEditor::FormShow()
{
    refreshCells();
    m_model.editBoxVisible = false;
    // The controller's on-line configuration may have changed meanwhile.
    if (m_transfer == Transfer::None)
        m_model.wrBtEnabled = m_complete && m_actions.onlineConfig && m_actions.onlineConfig();
    // So may the selected controller and its range.
    updateCheck();
    changed();
}

void ProgramEditor::ProgTableClick(int row, int column)
{
    if (row < 1 || row >= Rows || column < 1 || column >= Columns)
        return;
    m_row = row;
    m_column = column;
    setupEditors(row);
    changed();
}

void ProgramEditor::setupEditors(int row)
{
    const ProgramFocus focus = SetUpEditors(m_model, row);
    if (m_model.editBoxVisible) {
        m_model.focus = focus;
        ++m_model.focusCount;
    }
}

void ProgramEditor::EditPBtClick()
{
    m_model.editBoxVisible = true;
    if (m_row >= 1) {
        setupEditors(m_row);
        LoadEditors(m_model, m_program, m_model.cells, m_row, m_column);
    }
    drawCurve();
    changed();
}

void ProgramEditor::SPEditChange(const QString &text)
{
    m_model.spEditText = text;
}

void ProgramEditor::MaxStepChange(int index)
{
    m_model.maxStepIndex = index;
}

void ProgramEditor::StepLinkChange(int index)
{
    m_model.stepLinkIndex = index;
}

void ProgramEditor::TimeHourChange(int index)
{
    m_model.timeHour = index;
    if (index == 15) {
        m_model.timeMinText = QStringLiteral("0");
        m_model.timeMinEnabled = false;
    } else {
        m_model.timeMinEnabled = true;
    }
    commit();
}

void ProgramEditor::TimeMinChange(const QString &text)
{
    m_model.timeMinText = text;
    if (!text.isEmpty())
        commit();
}

void ProgramEditor::ProgStartChange(int index)
{
    if (index < 0 || index >= RampSoakProgram::Patterns || m_transfer != Transfer::None)
        return;
    m_program.StartPattern = index;
    m_model.progStart = index;
    drawCurve();
    changed();
}

void ProgramEditor::POKBtClick()
{
    commit();
}

void ProgramEditor::commit()
{
    if (m_row < 1 || m_column < 1 || m_transfer != Transfer::None)
        return;
    const Commit done = CommitEditors(m_model, m_program, m_model.cells, m_row, m_column);
    if (done.kind == Commit::Kind::Refused)
        inform(done.message);
    if (done.kind != Commit::Kind::Stored)
        return;
    drawCurve();
    changed();
}

void ProgramEditor::drawCurve()
{
    if (DrawProgramCurve(m_program, m_curve)) {
        m_model.curveVisible = true;
        ++m_model.curveVersion;
    }
    updateCheck();
}

void ProgramEditor::rangeTick()
{
    if (controllerRange() == m_checkedRange)
        return;
    updateCheck();
    changed();
}

void ProgramEditor::updateCheck()
{
    m_checkedRange = controllerRange();
    m_model.check = CheckProgram(m_program, m_checkedRange);
    ++m_model.checkVersion;
}

void ProgramEditor::beginTransfer(Transfer t, const QString &caption)
{
    m_transfer = t;
    ProgramViewModel &m = m_model;
    m.readSBtEnabled = m.readFBtEnabled = m.saveFBtEnabled = m.wrBtEnabled = false;
    m.editPBtEnabled = m.progStartEnabled = m.editBoxEnabled = false;
    m.progressCaption = caption;
    m.progress = 0;
    m.progressVisible = m.progressBarVisible = true;
    changed();
}

void ProgramEditor::showFileResult(const QString &name, const QString &result)
{
    ProgramViewModel &m = m_model;
    m.progressCaption = name + QStringLiteral(": ") + result;
    m.progressVisible = true;
    m.progressBarVisible = false;
    m.saveFBtEnabled = m.editPBtEnabled = m_complete;
    m.wrBtEnabled = m_complete && m_actions.onlineConfig && m_actions.onlineConfig();
    changed();
}

void ProgramEditor::endTransfer()
{
    m_transfer = Transfer::None;
    ProgramViewModel &m = m_model;
    m.progressVisible = m.progressBarVisible = false;
    m.progress = 0;
    m.readSBtEnabled = m.readFBtEnabled = m.progStartEnabled = m.editBoxEnabled = true;
    m.saveFBtEnabled = m.editPBtEnabled = m_complete;
    m.wrBtEnabled = m_complete && m_actions.onlineConfig && m_actions.onlineConfig();
    changed();
}

void ProgramEditor::ReadSBtClick()
{
    if (m_transfer != Transfer::None)
        return;
    if (!m_actions.requestRead || !m_actions.requestRead()) {
        inform(QStringLiteral("Read from Duva not started: the controller selected in the "
                              "configuration window is not connected."));
        return;
    }
    m_readReceived = false;
    beginTransfer(Transfer::Read, QStringLiteral("Load"));
}

void ProgramEditor::programReply(int phase, int firstStep, const QList<quint16> &words)
{
    if (m_transfer != Transfer::Read)
        return;
    if (!ProgramTransfer::applyReply(m_program, phase, firstStep, words))
        return;
    if (phase == 4 && firstStep + 4 < RampSoakProgram::Steps)
        m_model.progress = ProgramTransfer::readPercent(firstStep);
    m_readReceived = true;
    refreshCells();
    changed();
}

void ProgramEditor::programReadEnded(bool complete, const QString &why)
{
    if (m_transfer != Transfer::Read)
        return;
    // A read cut short leaves half a program in the grid: it may be read
    // again or replaced by a file, not written or edited. One that ended
    // before anything arrived leaves the grid as it was, and its use.
    if (complete || m_readReceived)
        m_complete = complete;
    if (!complete)
        inform(QStringLiteral("Read from Duva did not finish: %1.")
                   .arg(why.isEmpty() ? QStringLiteral("the controller is no longer connected")
                                      : why));
    endTransfer();
    if (complete)
        drawCurve();
    changed();
}

void ProgramEditor::WrBtClick()
{
    if (m_transfer != Transfer::None || !m_complete)
        return;
    // The check as the selected controller stands now; its errors are
    // asked about, its warnings never stop the write.
    updateCheck();
    changed();
    const ProgramCheck &check = m_model.check;
    if (check.errorCount() > 0 &&
        !AppDialogs().askOkCancel(
            MessageTitle,
            QStringLiteral("The program check found %1:\n%2\n\nWrite to Duva anyway?")
                .arg(check.errorCount() == 1 ? QStringLiteral("an error")
                                             : QStringLiteral("%1 errors").arg(check.errorCount()),
                     check.errorsText())))
        return;
    if (!m_actions.startWrite || !m_actions.startWrite(ProgramTransfer::writes(m_program))) {
        inform(QStringLiteral("Write to Duva not started: the controller selected in the "
                              "configuration window is not connected."));
        return;
    }
    beginTransfer(Transfer::Write, QStringLiteral("Writing Now"));
}

void ProgramEditor::programWriteProgress(int done)
{
    if (m_transfer != Transfer::Write)
        return;
    m_model.progress = qBound(0, done * 100 / RampSoakProgram::Values, 100);
    changed();
}

void ProgramEditor::programWriteEnded(const BatchWriteReport &report)
{
    if (m_transfer != Transfer::Write)
        return;
    endTransfer();
    if (!report.complete) {
        QString text = QStringLiteral("Write to Duva did not finish: %1.")
                           .arg(report.why.isEmpty()
                                    ? QStringLiteral("the controller at address %1 is no longer "
                                                     "connected")
                                          .arg(report.address)
                                    : report.why);
        if (!report.notWritten.isEmpty())
            text += QStringLiteral("\nNot written:\n") + ProgramTransfer::listOf(report.notWritten);
        inform(text);
    } else if (!report.notWritten.isEmpty()) {
        inform(QStringLiteral("The controller did not take these values:\n") +
               ProgramTransfer::listOf(report.notWritten));
    }
}

void ProgramEditor::SaveFBtClick()
{
    if (m_transfer != Transfer::None)
        return;
    const ProgramFileActions::Outcome saved = ProgramFileActions::save(m_program);
    if (!saved.chosen)
        return;
    showFileResult(saved.fileName,
                   saved.ok ? QStringLiteral("written") : QStringLiteral("not written"));
    AppDialogs().inform(MessageTitle, saved.message);
}

void ProgramEditor::ReadFBtClick()
{
    if (m_transfer != Transfer::None)
        return;
    const ProgramFileActions::Outcome opened = ProgramFileActions::open();
    if (!opened.chosen)
        return;
    if (opened.ok) {
        // The whole file or nothing: it replaces the program only when read
        // whole and right.
        m_program = opened.program;
        m_complete = true;
        refreshCells();
    }
    showFileResult(opened.fileName,
                   opened.ok ? QStringLiteral("read") : QStringLiteral("not read"));
    if (opened.ok)
        drawCurve();
    changed();
    AppDialogs().inform(MessageTitle, opened.message);
}
