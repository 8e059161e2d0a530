#include "program/rampsoakprogram.h"

#include "setup/registermap.h"

namespace {

// Program-write position p is register ProgramReg::First + p; the layout of
// the registers is the register map's.
constexpr int FirstLastStep = ProgramReg::LastStepBase - ProgramReg::First;
constexpr int FirstCycles = ProgramReg::CyclesBase - ProgramReg::First;
constexpr int FirstNext = ProgramReg::NextPatternBase - ProgramReg::First;
constexpr int FirstStep = ProgramReg::StepBase - ProgramReg::First;

static_assert(RampSoakProgram::Values == ProgramReg::Count);
static_assert(RampSoakProgram::Steps == ProgramReg::Steps);
static_assert(RampSoakProgram::ProgramEnd == ProgramReg::ProgramEnd);

} // namespace

qint32 RampSoakProgram::atPosition(int p) const
{
    if (p == ProgramReg::StartPattern - ProgramReg::First)
        return StartPattern;
    if (p >= FirstLastStep && p < FirstLastStep + Patterns)
        return LastStep[size_t(p - FirstLastStep)];
    if (p >= FirstCycles && p < FirstCycles + Patterns)
        return AdditionalCycles[size_t(p - FirstCycles)];
    if (p >= FirstNext && p < FirstNext + Patterns)
        return NextPattern[size_t(p - FirstNext)];
    if (p >= FirstStep && p < Values) {
        const size_t k = size_t((p - FirstStep) / 2);
        return (p - FirstStep) % 2 == 0 ? SetValue[k] : StepTime[k];
    }
    return 0;
}

void RampSoakProgram::setAtPosition(int p, qint32 value)
{
    if (p == ProgramReg::StartPattern - ProgramReg::First)
        StartPattern = value;
    else if (p >= FirstLastStep && p < FirstLastStep + Patterns)
        LastStep[size_t(p - FirstLastStep)] = value;
    else if (p >= FirstCycles && p < FirstCycles + Patterns)
        AdditionalCycles[size_t(p - FirstCycles)] = value;
    else if (p >= FirstNext && p < FirstNext + Patterns)
        NextPattern[size_t(p - FirstNext)] = value;
    else if (p >= FirstStep && p < Values) {
        const size_t k = size_t((p - FirstStep) / 2);
        ((p - FirstStep) % 2 == 0 ? SetValue[k] : StepTime[k]) = value;
    }
}
