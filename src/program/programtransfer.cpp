#include "program/programtransfer.h"

#include "setup/registermap.h"

namespace ProgramTransfer {

void applyReply(RampSoakProgram &program, int phase, int firstStep, const QList<quint16> &words)
{
    auto word = [&](int i) { return i < words.size() ? int(words.at(i)) : 0; };
    RampSoakProgram &g = program;
    switch (phase) {
    case 0:
        g.StartPattern = word(0);
        break;
    case 1:
    case 2:
    case 3:
        for (size_t p = 0; p < size_t(RampSoakProgram::Patterns); ++p) {
            const int v = word(int(p));
            (phase == 1 ? g.AdditionalCycles : phase == 2 ? g.LastStep : g.NextPattern)[p] = v;
        }
        break;
    case 4:
        for (int i = 0; i < 4; ++i) {
            const int k = firstStep + i;
            if (k < 0 || k >= RampSoakProgram::Steps)
                continue;
            g.SetValue[size_t(k)] = qint16(quint16(word(2 * i)));
            g.StepTime[size_t(k)] = word(2 * i + 1);
        }
        break;
    default:
        break;
    }
}

QList<RegisterWrite> writes(const RampSoakProgram &program)
{
    QList<RegisterWrite> out;
    for (int p = 0; p < RampSoakProgram::Values; ++p)
        out.append({ProgramReg::First + p, program.wordAt(p), false, p});
    return out;
}

} // namespace ProgramTransfer
