#include "program/programeditor.h"

#include "program/programcurve.h"
#include "program/programfile.h"
#include "program/programtext.h"
#include "program/programtransfer.h"
#include "setup/registermap.h"
#include "ui/dialogs.h"
#include "ui/files.h"

#include <QDir>
#include <QFileInfo>

namespace {

using namespace ProgramGrid;

const QString MessageTitle = QStringLiteral("Message");
constexpr int SetValueMin = -32768;
constexpr int SetValueMax = 32767;
// The read's gauge counts the four single-block phases as four steps.
constexpr int ReadGaugeSteps = RampSoakProgram::Steps + 4;
// A long list of values not written is cut to this many lines.
constexpr int ListedValues = 16;

QString nextPatternText(int value)
{
    if (value == RampSoakProgram::ProgramEnd)
        return QStringLiteral("Prog End");
    if (value >= 0 && value < RampSoakProgram::Patterns)
        return QStringLiteral("Pattern %1").arg(value);
    return QString::number(value);
}

QString listOf(const QList<RegisterWrite> &writes)
{
    QStringList lines;
    for (const RegisterWrite &w : writes) {
        if (lines.size() == ListedValues) {
            lines << QStringLiteral("and %1 more").arg(writes.size() - ListedValues);
            break;
        }
        lines << ProgramEditor::describePosition(w.reg - ProgramReg::First);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

ProgramEditor::ProgramEditor(RampSoakProgram &program, ProgramEditorActions actions)
    : m_program(program)
    , m_actions(std::move(actions))
{
    refreshCells();
}

void ProgramEditor::setTransferActions(std::function<bool()> requestRead,
                                       std::function<bool(const QList<RegisterWrite> &)> startWrite,
                                       std::function<bool()> onlineConfig)
{
    m_actions.requestRead = std::move(requestRead);
    m_actions.startWrite = std::move(startWrite);
    m_actions.onlineConfig = std::move(onlineConfig);
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
    if (p == 0)
        return QStringLiteral("start pattern");
    if (p >= 1 && p <= 8)
        return QStringLiteral("last step of pattern %1").arg(p - 1);
    if (p >= 9 && p <= 16)
        return QStringLiteral("additional cycles of pattern %1").arg(p - 9);
    if (p >= 17 && p <= 24)
        return QStringLiteral("next pattern of pattern %1").arg(p - 17);
    const int k = (p - 25) / 2;
    return QStringLiteral("%1 of pattern %2, step %3")
        .arg((p - 25) % 2 == 0 ? QStringLiteral("set value") : QStringLiteral("time"))
        .arg(k / RampSoakProgram::StepsPerPattern)
        .arg(k % RampSoakProgram::StepsPerPattern);
}

void ProgramEditor::refreshCells()
{
    auto &c = m_model.cells;
    c[0][0].clear();
    for (int p = 0; p < RampSoakProgram::Patterns; ++p)
        c[0][size_t(p + 1)] = QStringLiteral("Pattern %1").arg(p);
    for (int s = 0; s < RampSoakProgram::StepsPerPattern; ++s) {
        c[size_t(2 * s + 1)][0] = QStringLiteral("Step %1 SV").arg(s);
        c[size_t(2 * s + 2)][0] = QStringLiteral("Step %1 Time").arg(s);
    }
    c[LastStepRow][0] = QStringLiteral("Last Step Number");
    c[CyclesRow][0] = QStringLiteral("Additional Cycles");
    c[NextPatternRow][0] = QStringLiteral("Next Pattern Number");
    const RampSoakProgram &g = m_program;
    for (int p = 0; p < RampSoakProgram::Patterns; ++p) {
        const size_t col = size_t(p + 1);
        for (int s = 0; s < RampSoakProgram::StepsPerPattern; ++s) {
            const size_t k = size_t(RampSoakProgram::index(p, s));
            c[size_t(2 * s + 1)][col] = SetValueText(g.SetValue[k]);
            c[size_t(2 * s + 2)][col] = StepTimeText(g.StepTime[k]);
        }
        c[LastStepRow][col] = QString::number(g.LastStep[size_t(p)]);
        c[CyclesRow][col] = QString::number(g.AdditionalCycles[size_t(p)]);
        c[NextPatternRow][col] = nextPatternText(g.NextPattern[size_t(p)]);
    }
    const int start = g.StartPattern;
    m_model.progStart = start >= 0 && start < RampSoakProgram::Patterns ? start : -1;
}

void ProgramEditor::FormShow()
{
    refreshCells();
    m_model.editBoxVisible = false;
    // The controller's on-line configuration may have changed meanwhile.
    if (m_transfer == Transfer::None)
        m_model.wrBtEnabled = m_complete && m_actions.onlineConfig && m_actions.onlineConfig();
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
    ProgramViewModel &m = m_model;
    m.spEditVisible = m.maxStepVisible = m.stepLinkVisible = m.timeVisible = false;
    m.stepLinkLbVisible = true;
    ProgramFocus focus = ProgramFocus::SPEdit;
    if (row == LastStepRow) {
        m.maxStepVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Last Step No.");
        focus = ProgramFocus::MaxStep;
    } else if (row == CyclesRow) {
        m.spEditVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Additional Cycles");
    } else if (row == NextPatternRow) {
        m.stepLinkVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Next Pattern No.");
        focus = ProgramFocus::StepLink;
    } else if (isSetValueRow(row)) {
        m.spEditVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Set Value");
    } else {
        m.timeVisible = true;
        m.stepLinkLbVisible = false;
        focus = ProgramFocus::POKBt;
    }
    if (m.editBoxVisible) {
        m.focus = focus;
        ++m.focusCount;
    }
}

void ProgramEditor::loadEditors()
{
    if (m_row < 1 || m_column < 1)
        return;
    const size_t p = size_t(selectedPattern());
    ProgramViewModel &m = m_model;
    if (m_row == LastStepRow) {
        const int v = m_program.LastStep[p];
        m.maxStepIndex = v >= 0 && v < RampSoakProgram::StepsPerPattern ? v : -1;
    } else if (m_row == CyclesRow) {
        m.spEditText = QString::number(m_program.AdditionalCycles[p]);
    } else if (m_row == NextPatternRow) {
        const int v = m_program.NextPattern[p];
        m.stepLinkIndex = v >= 0 && v <= RampSoakProgram::ProgramEnd ? v : -1;
    } else if (isSetValueRow(m_row)) {
        m.spEditText = m.cells[size_t(m_row)][size_t(m_column)];
    } else {
        const int minutes =
            m_program.StepTime[size_t(RampSoakProgram::index(int(p), stepOfRow(m_row)))];
        // A time beyond the editor's 15 hours shows no hour: nothing is
        // stored until the user picks one.
        m.timeHour =
            minutes >= 0 && minutes <= RampSoakProgram::MaxEditorMinutes ? minutes / 60 : -1;
        m.timeMinText = QString::number(qMax(0, minutes) % 60);
        m.timeMinEnabled = m.timeHour != 15;
    }
}

void ProgramEditor::EditPBtClick()
{
    m_model.editBoxVisible = true;
    if (m_row >= 1) {
        setupEditors(m_row);
        loadEditors();
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
    const int p = selectedPattern();
    ProgramViewModel &m = m_model;
    QString &cell = m.cells[size_t(m_row)][size_t(m_column)];
    if (m_row == LastStepRow) {
        if (m.maxStepIndex < 0)
            return;
        m_program.LastStep[size_t(p)] = m.maxStepIndex;
        cell = QString::number(m.maxStepIndex);
    } else if (m_row == CyclesRow) {
        bool ok = false;
        const int v = m.spEditText.toInt(&ok);
        if (!ok)
            return; // the old value stays
        m_program.AdditionalCycles[size_t(p)] = qBound(0, v, RampSoakProgram::MaxCycles);
        cell = QString::number(m_program.AdditionalCycles[size_t(p)]);
    } else if (m_row == NextPatternRow) {
        if (m.stepLinkIndex < 0)
            return;
        m_program.NextPattern[size_t(p)] = m.stepLinkIndex;
        cell = nextPatternText(m.stepLinkIndex);
    } else if (isSetValueRow(m_row)) {
        commitSetValue(RampSoakProgram::index(p, stepOfRow(m_row)));
    } else {
        bool ok = false;
        const int minutes = m.timeMinText.toInt(&ok);
        if (m.timeHour < 0 || !ok || minutes < 0 || minutes > 59)
            return;
        const int time = m.timeHour * 60 + (m.timeHour == 15 ? 0 : minutes);
        m_program.StepTime[size_t(RampSoakProgram::index(p, stepOfRow(m_row)))] = time;
        cell = StepTimeText(time);
    }
    drawCurve();
    changed();
}

void ProgramEditor::commitSetValue(int k)
{
    const QString text = m_model.spEditText;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('.') &&
            !(c == QLatin1Char('-') && i == 0))
            return; // refused without a word, as typed
    }
    const int point = int(text.indexOf(QLatin1Char('.')));
    QString digits;
    QString shown;
    if (point < 0) {
        digits = text + QLatin1Char('0');
        shown = text + QStringLiteral(".0");
    } else {
        const bool digitAfter = point + 1 < text.size() && text.at(point + 1).isDigit();
        if (digitAfter) {
            digits = text.left(point) + text.at(point + 1);
            shown = text.left(point + 2);
        }
    }
    bool ok = !digits.isEmpty();
    const qlonglong value = ok ? digits.toLongLong(&ok) : 0;
    if (!ok || value < SetValueMin || value > SetValueMax) {
        inform(QStringLiteral("'%1' is not a valid set value").arg(text));
        return;
    }
    m_program.SetValue[size_t(k)] = int(value);
    m_model.cells[size_t(m_row)][size_t(m_column)] = shown;
}

void ProgramEditor::drawCurve()
{
    if (DrawProgramCurve(m_program, m_curve)) {
        m_model.curveVisible = true;
        ++m_model.curveVersion;
    }
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
    if (phase < 0 || phase > 4)
        return;
    ProgramTransfer::applyReply(m_program, phase, firstStep, words);
    if (phase == 4 && firstStep + 4 < RampSoakProgram::Steps)
        m_model.progress = (firstStep + 4 + 4) * 100 / ReadGaugeSteps;
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
            text += QStringLiteral("\nNot written:\n") + listOf(report.notWritten);
        inform(text);
    } else if (!report.notWritten.isEmpty()) {
        inform(QStringLiteral("The controller did not take these values:\n") +
               listOf(report.notWritten));
    }
}

void ProgramEditor::SaveFBtClick()
{
    if (m_transfer != Transfer::None)
        return;
    const QString path = ChooseFileToWrite(QStringLiteral("Write to File"), ProgramFile::Filter,
                                           ProgramFile::Extension);
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString failure = ProgramFile::write(path, m_program);
    showFileResult(info.fileName(),
                   failure.isEmpty() ? QStringLiteral("written") : QStringLiteral("not written"));
    if (!failure.isEmpty()) {
        AppDialogs().inform(MessageTitle,
                            QStringLiteral("Can not save file %1 : %2")
                                .arg(QDir::toNativeSeparators(path), failure));
        return;
    }
    AppDialogs().inform(MessageTitle, ProgramFile::WriteDone);
}

void ProgramEditor::ReadFBtClick()
{
    if (m_transfer != Transfer::None)
        return;
    const QString path = AppDialogs().chooseOpenFile(QStringLiteral("Open File"),
                                                     ProgramFile::Filter, ProgramFile::Extension);
    if (path.isEmpty())
        return;
    const ProgramFile::ReadResult file = ProgramFile::read(path);
    QString message;
    using Kind = ProgramFile::ReadResult::Kind;
    switch (file.kind) {
    case Kind::Ok:
        // The whole file or nothing: it replaces the program only when read
        // whole and right.
        m_program = file.program;
        m_complete = true;
        refreshCells();
        message = ProgramFile::ReadDone;
        break;
    case Kind::Missing:
        message = ProgramFile::MissingFile;
        break;
    case Kind::Unreadable:
        message = QStringLiteral("Can not open file %1 : %2")
                      .arg(QDir::toNativeSeparators(path), file.reason);
        break;
    case Kind::DataLength:
        message = ProgramFile::DataLengthError;
        break;
    case Kind::BadToken:
        message = ProgramFile::BadTokenMessage(file.token);
        break;
    case Kind::OutOfRange:
        message = ProgramFile::OutOfRangeMessage(file.token);
        break;
    }
    showFileResult(QFileInfo(path).fileName(),
                   file.kind == Kind::Ok ? QStringLiteral("read") : QStringLiteral("not read"));
    if (file.kind == Kind::Ok)
        drawCurve();
    changed();
    AppDialogs().inform(MessageTitle, message);
}
