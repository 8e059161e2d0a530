#include "program/programtransfer.h"

#include "setup/registermap.h"

#include <QStringList>

namespace ProgramTransfer {

namespace {

// The read's gauge counts the four single-block phases as four steps.
constexpr int ReadGaugeSteps = RampSoakProgram::Steps + 4;
// A long list of values not written is cut to this many lines.
constexpr int ListedValues = 16;

} // namespace

bool applyReply(RampSoakProgram &g, int phase, int firstStep, const QList<quint16> &words)
{
    auto word = [&](int i) { return i < words.size() ? int(words.at(i)) : 0; };
    switch (phase) {
    case 0:
        g.StartPattern = word(0);
        return true;
    case 1:
    case 2:
    case 3:
        for (size_t p = 0; p < size_t(RampSoakProgram::Patterns); ++p) {
            const int v = word(int(p));
            (phase == 1 ? g.AdditionalCycles : phase == 2 ? g.LastStep : g.NextPattern)[p] = v;
        }
        return true;
    case 4:
        for (int i = 0; i < 4; ++i) {
            const int k = firstStep + i;
            if (k < 0 || k >= RampSoakProgram::Steps)
                continue;
            g.SetValue[size_t(k)] = qint16(quint16(word(2 * i)));
            g.StepTime[size_t(k)] = word(2 * i + 1);
        }
        return true;
    default:
        return false;
    }
}

int readPercent(int firstStep)
{
    return (firstStep + 4 + 4) * 100 / ReadGaugeSteps;
}

QList<RegisterWrite> writes(const RampSoakProgram &program)
{
    QList<RegisterWrite> list;
    for (int p = 0; p < RampSoakProgram::Values; ++p)
        list.append({ProgramReg::forPosition(p), program.wordAt(p), false, p});
    return list;
}

QString describePosition(int p)
{
    const int reg = ProgramReg::forPosition(p);
    if (reg == ProgramReg::StartPattern)
        return QStringLiteral("start pattern");
    if (reg < ProgramReg::CyclesBase)
        return QStringLiteral("last step of pattern %1").arg(reg - ProgramReg::LastStepBase);
    if (reg < ProgramReg::NextPatternBase)
        return QStringLiteral("additional cycles of pattern %1").arg(reg - ProgramReg::CyclesBase);
    if (reg < ProgramReg::StepBase)
        return QStringLiteral("next pattern of pattern %1").arg(reg - ProgramReg::NextPatternBase);
    const int k = (reg - ProgramReg::StepBase) / 2;
    return QStringLiteral("%1 of pattern %2, step %3")
        .arg(reg == ProgramReg::setValue(k) ? QStringLiteral("set value") : QStringLiteral("time"))
        .arg(k / RampSoakProgram::StepsPerPattern)
        .arg(k % RampSoakProgram::StepsPerPattern);
}

QString listOf(const QList<RegisterWrite> &writes)
{
    QStringList lines;
    for (const RegisterWrite &w : writes) {
        if (lines.size() == ListedValues) {
            lines << QStringLiteral("and %1 more").arg(writes.size() - ListedValues);
            break;
        }
        lines << describePosition(w.reg - ProgramReg::First);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace ProgramTransfer
