#include "program/rampsoakprogram.h"

namespace {

constexpr int FirstLastStep = 1;
constexpr int FirstCycles = 9;
constexpr int FirstNext = 17;
constexpr int FirstStep = 25;

} // namespace

qint32 RampSoakProgram::atPosition(int p) const
{
    if (p == 0)
        return StartPattern;
    if (p >= FirstLastStep && p < FirstCycles)
        return LastStep[size_t(p - FirstLastStep)];
    if (p >= FirstCycles && p < FirstNext)
        return AdditionalCycles[size_t(p - FirstCycles)];
    if (p >= FirstNext && p < FirstStep)
        return NextPattern[size_t(p - FirstNext)];
    if (p >= FirstStep && p < Values) {
        const size_t k = size_t((p - FirstStep) / 2);
        return (p - FirstStep) % 2 == 0 ? SetValue[k] : StepTime[k];
    }
    return 0;
}

void RampSoakProgram::setAtPosition(int p, qint32 value)
{
    if (p == 0)
        StartPattern = value;
    else if (p >= FirstLastStep && p < FirstCycles)
        LastStep[size_t(p - FirstLastStep)] = value;
    else if (p >= FirstCycles && p < FirstNext)
        AdditionalCycles[size_t(p - FirstCycles)] = value;
    else if (p >= FirstNext && p < FirstStep)
        NextPattern[size_t(p - FirstNext)] = value;
    else if (p >= FirstStep && p < Values) {
        const size_t k = size_t((p - FirstStep) / 2);
        ((p - FirstStep) % 2 == 0 ? SetValue[k] : StepTime[k]) = value;
    }
}
