#pragma once

#include "program/rampsoakprogram.h"

#include <QList>
#include <array>
#include <optional>

// The walk over a program's patterns as the controller runs it: from the
// start pattern, each pattern's steps 0..LastStep as many times as it runs
// (AdditionalCycles + 1), then the pattern it names next, until the program
// end or, where the chain links back, for ever. A step of time 0 is passed
// over: the step after it ramps from the set value of the last step that
// held time. A chain whose loop holds no time never ends either: the
// controller goes round it for ever and holds the set value it had reached.
// The curve, the program check and the comparison with a recording all take
// the program through this walk.
//
// Values out of range come only from a damaged program or file; the program
// check names each of them as an error before a write. The walk holds them to
// what the registers allow (a last step 0..7, a step time 0..65535, at most
// 65536 runs of a pattern), so its arithmetic stays far inside 64 bits, and
// its totals are sums and products, never a walk through the repeats.
namespace ProgramWalk {

using Program = RampSoakProgram;

constexpr bool IsPattern(qint64 p)
{
    return p >= 0 && p < Program::Patterns;
}
int LastStep(const Program &program, int pattern);
qint64 Runs(const Program &program, int pattern);
qint64 Time(const Program &program, int pattern, int step);
qint64 Value(const Program &program, int pattern, int step);
// The pattern after `pattern`, or the program end for anything that is not
// a pattern.
int Next(const Program &program, int pattern);

// The chain from the start pattern up to its end: the patterns in the order
// they run, where it ends (the program end, or the first pattern it comes
// back to), the whole time of one pass through it with every repeat, and the
// range of the set values of its steps 0..LastStep (both start at the start
// pattern's step 0). Empty when the start pattern is not 0..7.
struct Chain
{
    QList<int> patterns;
    int end = Program::ProgramEnd;
    qint64 total = 0; // minutes
    qint64 largest = 0;
    qint64 smallest = 0;

    bool loops() const { return end != Program::ProgramEnd; }
    // A loop that holds no time: the run reaches it after the lead-in and
    // stays there for ever, holding its last set value.
    bool loopHoldsNoTime(const Program &program) const
    {
        return loops() && total == leadIn(program);
    }
    // The patterns from where the chain comes back to its last one.
    QList<int> loop() const;
    // The time up to where the loop begins.
    qint64 leadIn(const Program &program) const;
};
Chain WalkChain(const Program &program);

// One run through a pattern: its steps that hold time, in order.
struct Pass
{
    int count = 0;
    std::array<int, Program::StepsPerPattern> step {};
    std::array<qint64, Program::StepsPerPattern> time {};
    qint64 sum = 0;
};
Pass PassOf(const Program &program, int pattern);

// One step of the run: it starts at `start` minutes from the program's
// start and ends at `end`, going from `from` to its set value `to` (both in
// tenths). `cycle` counts the runs of the pattern from 0; `lap` is 0 through
// the chain and rises each time the walk goes round its loop again.
struct Segment
{
    int pattern = 0;
    int step = 0;
    qint64 cycle = 0;
    int lap = 0;
    qint64 start = 0;
    qint64 end = 0;
    qint64 from = 0;
    qint64 to = 0;
};

// The run step by step. The first step starts from `startValue` when one is
// given (the process value when the program started), else from its own set
// value, as the curve draws it; every later step from where the one before
// it ended.
class Steps
{
public:
    // What a walk gives of a pattern that runs several times in a row.
    enum class Repeats {
        All, // every run
        FirstTwo, // its first two runs; the time of the others is passed at once
    };
    explicit Steps(const Program &program, std::optional<qint64> startValue = {},
                   Repeats repeats = Repeats::All);
    // The next step; false once the program has ended, or once it has
    // reached a loop that holds no time (then `holding()`: nothing more ever
    // comes, the set value stays where the last step took it).
    bool next(Segment &out);
    bool holding() const { return m_holding; }
    // Where the walk stands: the time passed and the set value reached.
    qint64 time() const { return m_time; }
    qint64 value() const { return m_value; }

private:
    const Program &m_program;
    std::array<Pass, Program::Patterns> m_passes;
    std::optional<qint64> m_startValue;
    Repeats m_repeats;
    bool m_holding = false;
    int m_pattern;
    qint64 m_value;
    qint64 m_cycle = 0;
    int m_index = 0; // into the pass
    int m_lap = 0;
    qint64 m_time = 0;
    bool m_first = true;
    int m_loopStart; // where the chain comes back to, or the program end
    bool m_visited[Program::Patterns] = {};
    int m_idle = 0; // patterns passed in a row without a step
};

} // namespace ProgramWalk
