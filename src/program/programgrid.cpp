#include "program/programgrid.h"

#include "program/programtext.h"

namespace ProgramGrid {

namespace {

constexpr int SetValueMin = -32768;
constexpr int SetValueMax = 32767;

// A typed set value: its tenths and the text the cell shows, or nothing
// (with `refused` set when the user is to hear of it).
struct TypedSetValue
{
    bool ok = false;
    bool refused = false;
    qint32 value = 0;
    QString shown;
};

TypedSetValue ParseSetValue(const QString &text)
{
    TypedSetValue typed;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('.') &&
            !(c == QLatin1Char('-') && i == 0))
            return typed; // ignored without a word, as typed
    }
    const int point = int(text.indexOf(QLatin1Char('.')));
    QString digits;
    if (point < 0) {
        digits = text + QLatin1Char('0');
        typed.shown = text + QStringLiteral(".0");
    } else if (point + 1 < text.size() && text.at(point + 1).isDigit()) {
        digits = text.left(point) + text.at(point + 1);
        typed.shown = text.left(point + 2);
    }
    bool ok = !digits.isEmpty();
    const qlonglong value = ok ? digits.toLongLong(&ok) : 0;
    if (!ok || value < SetValueMin || value > SetValueMax) {
        typed.refused = true;
        return typed;
    }
    typed.ok = true;
    typed.value = qint32(value);
    return typed;
}

} // namespace

QString NextPatternText(int value)
{
    if (value == RampSoakProgram::ProgramEnd)
        return QStringLiteral("Prog End");
    if (value >= 0 && value < RampSoakProgram::Patterns)
        return QStringLiteral("Pattern %1").arg(value);
    return QString::number(value);
}

void FillCells(Cells &c, const RampSoakProgram &g)
{
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
    for (int p = 0; p < RampSoakProgram::Patterns; ++p) {
        const size_t col = size_t(p + 1);
        for (int s = 0; s < RampSoakProgram::StepsPerPattern; ++s) {
            const size_t k = size_t(RampSoakProgram::index(p, s));
            c[size_t(2 * s + 1)][col] = SetValueText(g.SetValue[k]);
            c[size_t(2 * s + 2)][col] = StepTimeText(g.StepTime[k]);
        }
        c[LastStepRow][col] = QString::number(g.LastStep[size_t(p)]);
        c[CyclesRow][col] = QString::number(g.AdditionalCycles[size_t(p)]);
        c[NextPatternRow][col] = NextPatternText(g.NextPattern[size_t(p)]);
    }
}

ProgramFocus SetUpEditors(ProgramEditors &m, int row)
{
    m.spEditVisible = m.maxStepVisible = m.stepLinkVisible = m.timeVisible = false;
    m.stepLinkLbVisible = true;
    if (row == LastStepRow) {
        m.maxStepVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Last Step No.");
        return ProgramFocus::MaxStep;
    }
    if (row == CyclesRow) {
        m.spEditVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Additional Cycles");
        return ProgramFocus::SPEdit;
    }
    if (row == NextPatternRow) {
        m.stepLinkVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Next Pattern No.");
        return ProgramFocus::StepLink;
    }
    if (isSetValueRow(row)) {
        m.spEditVisible = true;
        m.stepLinkLbCaption = QStringLiteral("Set Value");
        return ProgramFocus::SPEdit;
    }
    m.timeVisible = true;
    m.stepLinkLbVisible = false;
    return ProgramFocus::POKBt;
}

void LoadEditors(ProgramEditors &m, const RampSoakProgram &program, const Cells &cells, int row,
                 int column)
{
    if (row < 1 || row >= Rows || column < 1 || column >= Columns)
        return;
    const size_t p = size_t(column - 1);
    if (row == LastStepRow) {
        const int v = program.LastStep[p];
        m.maxStepIndex = v >= 0 && v < RampSoakProgram::StepsPerPattern ? v : -1;
    } else if (row == CyclesRow) {
        m.spEditText = QString::number(program.AdditionalCycles[p]);
    } else if (row == NextPatternRow) {
        const int v = program.NextPattern[p];
        m.stepLinkIndex = v >= 0 && v <= RampSoakProgram::ProgramEnd ? v : -1;
    } else if (isSetValueRow(row)) {
        m.spEditText = cells[size_t(row)][size_t(column)];
    } else {
        const int minutes =
            program.StepTime[size_t(RampSoakProgram::index(int(p), stepOfRow(row)))];
        // A time beyond the editor's 15 hours shows no hour: nothing is
        // stored until the user picks one.
        m.timeHour =
            minutes >= 0 && minutes <= RampSoakProgram::MaxEditorMinutes ? minutes / 60 : -1;
        m.timeMinText = QString::number(qMax(0, minutes) % 60);
        m.timeMinEnabled = m.timeHour != 15;
    }
}

Commit CommitEditors(const ProgramEditors &m, RampSoakProgram &program, Cells &cells, int row,
                     int column)
{
    using Kind = Commit::Kind;
    if (row < 1 || row >= Rows || column < 1 || column >= Columns)
        return {};
    const size_t p = size_t(column - 1);
    QString &cell = cells[size_t(row)][size_t(column)];
    if (row == LastStepRow) {
        if (m.maxStepIndex < 0)
            return {};
        program.LastStep[p] = m.maxStepIndex;
        cell = QString::number(m.maxStepIndex);
    } else if (row == CyclesRow) {
        bool ok = false;
        const int v = m.spEditText.toInt(&ok);
        if (!ok)
            return {}; // the old value stays
        program.AdditionalCycles[p] = qBound(0, v, RampSoakProgram::MaxCycles);
        cell = QString::number(program.AdditionalCycles[p]);
    } else if (row == NextPatternRow) {
        if (m.stepLinkIndex < 0)
            return {};
        program.NextPattern[p] = m.stepLinkIndex;
        cell = NextPatternText(m.stepLinkIndex);
    } else if (isSetValueRow(row)) {
        const TypedSetValue typed = ParseSetValue(m.spEditText);
        if (typed.refused)
            return {Kind::Refused,
                    QStringLiteral("'%1' is not a valid set value").arg(m.spEditText)};
        if (!typed.ok)
            return {};
        program.SetValue[size_t(RampSoakProgram::index(int(p), stepOfRow(row)))] = typed.value;
        cell = typed.shown;
    } else {
        bool ok = false;
        const int minutes = m.timeMinText.toInt(&ok);
        if (m.timeHour < 0 || !ok || minutes < 0 || minutes > 59)
            return {};
        const int time = m.timeHour * 60 + (m.timeHour == 15 ? 0 : minutes);
        program.StepTime[size_t(RampSoakProgram::index(int(p), stepOfRow(row)))] = time;
        cell = StepTimeText(time);
    }
    return {Kind::Stored, {}};
}

} // namespace ProgramGrid
