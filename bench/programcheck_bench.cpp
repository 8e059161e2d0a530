// The program check and the curve of programs whose patterns repeat very
// often: every pattern with 65535 additional cycles (a value a damaged
// controller or a file can hold; the check names it as an error), and the
// editor's largest, 99, on eight-step patterns that link back.
#include "program/programcheck.h"
#include "program/programcurve.h"
#include "ui/canvas.h"

#include <benchmark/benchmark.h>

namespace {

using P = RampSoakProgram;

P repeating(int cycles)
{
    P program;
    for (int p = 0; p < P::Patterns; ++p) {
        program.LastStep[size_t(p)] = 7;
        program.AdditionalCycles[size_t(p)] = cycles;
        program.NextPattern[size_t(p)] = p + 1 < P::Patterns ? p + 1 : 1;
        for (int s = 0; s < P::StepsPerPattern; ++s) {
            program.SetValue[size_t(P::index(p, s))] = 100 * s + 10 * p;
            program.StepTime[size_t(P::index(p, s))] = 1 + s;
        }
    }
    return program;
}

void Check(benchmark::State &state)
{
    const P program = repeating(int(state.range(0)));
    for (auto _ : state) {
        const ProgramCheck check = CheckProgram(program, ControllerRange {0, 13000, 1, false});
        benchmark::DoNotOptimize(check.minutes);
    }
}
BENCHMARK(Check)->ArgName("cycles")->Arg(99)->Arg(65535)->Unit(benchmark::kMicrosecond);

void Curve(benchmark::State &state)
{
    const P program = repeating(int(state.range(0)));
    Canvas canvas(ProgramCurveSize);
    for (auto _ : state)
        benchmark::DoNotOptimize(DrawProgramCurve(program, canvas));
}
BENCHMARK(Curve)->ArgName("cycles")->Arg(99)->Arg(65535)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
