// One model of a program run: the simulator's program runner (which stands
// in for the controller and has its own code) against the walk that the
// check, the curve and the comparison use, over generated programs; and a
// simulated run held against its program by the comparison.
#include "program/programcheck.h"
#include "program/programcompare.h"
#include "program/programwalk.h"
#include "sim/simcontroller.h"

#include <QDateTime>
#include <QStringList>
#include <gtest/gtest.h>

#include <random>

namespace {

using P = RampSoakProgram;

constexpr int ModeReg = 0x4719;
constexpr int RampSoak = 3;
constexpr int PvReg = 0x4700;
constexpr int SvReg = 0x4701;
constexpr int FlagReg = 0x472B;
constexpr int StepReg = 0x4765;
constexpr int PatternReg = 0x4766;

void Step(P &program, int p, int s, int value, int time)
{
    program.SetValue[size_t(P::index(p, s))] = value;
    program.StepTime[size_t(P::index(p, s))] = time;
}

// A program of pattern 0 alone: its steps as set value and time, then the
// end.
P Pattern0(std::initializer_list<std::pair<int, int>> steps)
{
    P program;
    program.LastStep[0] = int(steps.size()) - 1;
    program.NextPattern.fill(P::ProgramEnd);
    int s = 0;
    for (const auto &[value, time] : steps)
        Step(program, 0, s++, value, time);
    return program;
}

// The controller's program starts at its first advance.
constexpr double Start = 1e-6;

// A controller holding the program (as its front panel would set it),
// switched to ramp/soak.
void Load(SimController &c, const P &program)
{
    for (int p = 0; p < P::Values; ++p)
        ASSERT_TRUE(c.set(0x4767 + p, program.wordAt(p)));
    ASSERT_TRUE(c.set(ModeReg, RampSoak));
}

qint16 Signed(const SimController &c, int reg)
{
    return qint16(c.value(reg));
}

// A program as the controller holds it: every value in the ranges it
// takes, with many zero-time steps, repeats, links back and empty patterns.
P Generate(std::mt19937 &rng)
{
    const auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    P program;
    program.StartPattern = pick(0, 7);
    for (int p = 0; p < P::Patterns; ++p) {
        program.LastStep[size_t(p)] = pick(0, 7);
        program.AdditionalCycles[size_t(p)] = pick(0, 9) < 6 ? 0 : pick(1, 4);
        const int link = pick(0, 9);
        program.NextPattern[size_t(p)] = link < 4 ? P::ProgramEnd
            : link < 7                            ? pick(0, 7)
                                                  : std::min(p + 1, 8);
        const bool empty = pick(0, 5) == 0;
        for (int s = 0; s < P::StepsPerPattern; ++s)
            Step(program, p, s, pick(-300, 2000), empty || pick(0, 2) == 0 ? 0 : pick(1, 30));
    }
    return program;
}

TEST(ProgramRunModel, TheSimulatorRunsEveryGeneratedProgramAsTheWalkSays)
{
    int ended = 0, endless = 0, holding = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(seed);
        const P program = Generate(rng);
        SCOPED_TRACE(::testing::Message() << "seed " << seed);
        SimController c(1, 0x4848);
        Load(c, program);
        const qint64 startValue = std::llround(c.processValue());
        ProgramWalk::Steps walk(program, startValue);
        ProgramWalk::Segment seg;
        double now = 0;
        c.advance(Start);
        int steps = 0;
        // Every step begins when and where the walk says; the loops are
        // followed twice round.
        while (steps < 300 && walk.next(seg) && seg.lap < 3) {
            c.advance(double(seg.start * 60) - now);
            now = double(seg.start * 60);
            ASSERT_EQ(c.value(FlagReg), 1) << "step " << steps;
            ASSERT_EQ(c.value(PatternReg), seg.pattern) << "step " << steps;
            ASSERT_EQ(c.value(StepReg), seg.step) << "step " << steps;
            ASSERT_EQ(Signed(c, SvReg), seg.from) << "step " << steps;
            // Half-way along the step, half-way between its ends.
            c.advance(double(seg.end - seg.start) * 30);
            now += double(seg.end - seg.start) * 30;
            ASSERT_NEAR(Signed(c, SvReg), (seg.from + seg.to) / 2.0, 0.51) << "step " << steps;
            ++steps;
        }
        const ProgramWalk::Chain chain = ProgramWalk::WalkChain(program);
        const ProgramCheck check = CheckProgram(program);
        EXPECT_EQ(check.endless, chain.loops());
        EXPECT_EQ(check.minutes, chain.total);
        if (steps == 300 || seg.lap >= 3) {
            ++endless;
            EXPECT_TRUE(chain.loops());
            continue;
        }
        // The walk has nothing more: the program ended, or it goes round a
        // loop that holds no time and holds its set value.
        const qint64 endTime = walk.time() * 60;
        const qint64 last = walk.value();
        c.advance(double(endTime) - now);
        if (walk.holding()) {
            ++holding;
            EXPECT_TRUE(chain.loopHoldsNoTime(program));
            EXPECT_EQ(check.minutes, walk.time());
            c.advance(36000);
            EXPECT_EQ(c.value(FlagReg), 1) << "runs without end";
            EXPECT_EQ(Signed(c, SvReg), last);
        } else {
            ++ended;
            EXPECT_FALSE(chain.loops());
            EXPECT_EQ(walk.time(), chain.total);
            EXPECT_EQ(c.value(FlagReg), 0) << "ends after " << endTime << " s";
            EXPECT_EQ(Signed(c, SvReg), last);
        }
    }
    // The generator reaches every kind of run.
    EXPECT_GT(ended, 50);
    EXPECT_GT(endless, 50);
    EXPECT_GT(holding, 5);
}

TEST(ProgramRunModel, ZeroTimeStepsAndPatternsPassAtOnceAndSetNothing)
{
    // Pattern 0: 10.0 in 10 min, 50.0 in 0 min, 30.0 in 10 min. The skipped
    // step sets nothing: step 2 ramps from 10.0, and 5 min into it the set
    // value is 20.0 (it once jumped to 50.0 and ramped down from there).
    const P program = Pattern0({{100, 10}, {500, 0}, {300, 10}});
    SimController c(1, 0x4848);
    Load(c, program);
    c.advance(Start);
    c.advance(15 * 60);
    EXPECT_EQ(c.value(StepReg), 2);
    EXPECT_EQ(Signed(c, SvReg), 200);
    QStringList texts;
    for (const CheckFinding &f : CheckProgram(program).findings)
        texts << f.text;
    EXPECT_TRUE(texts.contains("Steepest ramp +2.00/min in pattern 0, step 2"));

    // Patterns 0 to 6 hold no time and run 100 times each (5,600 steps of no
    // time), then pattern 7 holds 30.0 for 30 min: the run takes 00:30.
    P empty;
    for (int p = 0; p < P::Patterns; ++p) {
        empty.LastStep[size_t(p)] = 7;
        empty.AdditionalCycles[size_t(p)] = p < 7 ? 99 : 0;
        empty.NextPattern[size_t(p)] = p + 1;
    }
    Step(empty, 7, 0, 300, 30);
    EXPECT_EQ(CheckProgram(empty).timeText, "Total time 00:30");
    SimController d(1, 0x4848);
    Load(d, empty);
    d.advance(Start);
    d.advance(29 * 60);
    EXPECT_EQ(d.value(FlagReg), 1);
    EXPECT_EQ(d.value(PatternReg), 7);
    d.advance(60);
    EXPECT_EQ(d.value(FlagReg), 0);
}

// A run of the simulator recorded every 10 s from `idle` seconds before the
// program starts (the controller stopped) for `seconds` after.
ProgramCompare::Recording Record(const P &program, int idle, int seconds)
{
    ProgramCompare::Recording r;
    r.addresses[0] = 1;
    r.sampleTime = 10;
    SimController c(1, 0x4848);
    for (int p = 0; p < P::Values; ++p)
        c.set(0x4767 + p, program.wordAt(p));
    c.set(ModeReg, RampSoak);
    c.set(0x4723, 0); // stopped
    const QDateTime start(QDate(2026, 12, 9), QTime(9, 0));
    for (int t = -idle; t <= seconds; t += 10) {
        if (t > -idle)
            c.advance(10);
        if (t == 0) {
            c.set(0x4723, 1); // run: the program starts now
            c.advance(Start);
        }
        r.moments << start.addSecs(t + idle);
        std::array<qint32, ProgramCompare::Devices> values;
        values.fill(ProgramCompare::MissingValue);
        values[0] = Signed(c, PvReg);
        r.values << values;
    }
    return r;
}

TEST(ProgramRunModel, ARunWithZeroTimeStepsComparesAsWellAsOneWithoutThem)
{
    // "Jump then soak": 80.0 in 0 min, 80.0 for 60 min, then 50.0 in 0 min
    // and down to 30.0 in 20 min. Without the zero-time steps the program is
    // 80.0 for 60 min and 30.0 in 20 min, and runs the same.
    const P zero = Pattern0({{800, 0}, {800, 60}, {500, 0}, {300, 20}});
    const P plain = Pattern0({{800, 60}, {300, 20}});

    ProgramCompare::Settings settings;
    const ProgramCompare::Result withZero =
        ProgramCompare::compare(zero, Record(zero, 0, 80 * 60), settings);
    const ProgramCompare::Result without =
        ProgramCompare::compare(plain, Record(plain, 0, 80 * 60), settings);
    ASSERT_EQ(withZero.compared, 481);
    ASSERT_EQ(without.compared, 481);
    EXPECT_LE(std::abs(withZero.largest), std::abs(without.largest));
    // The process lags its set value by some 20 s on the ramps: well under
    // a degree (it once showed +53.1 at 100 s).
    EXPECT_LT(std::abs(withZero.largest), 10.0);
    EXPECT_EQ(withZero.outside, 0);

    // Recorded from 5 min before the start: the start is found where the
    // process follows the plan best, within the process's lag of the real
    // start (record 30), and the records before it are not compared.
    const ProgramCompare::Recording early = Record(zero, 300, 80 * 60);
    settings.startRecord = ProgramCompare::FindStart(zero, early, settings);
    EXPECT_GE(settings.startRecord, 30);
    EXPECT_LE(settings.startRecord, 33);
    const ProgramCompare::Result found = ProgramCompare::compare(zero, early, settings);
    EXPECT_EQ(found.before.size(), settings.startRecord);
    EXPECT_LT(std::abs(found.largest), 10.0);
}

TEST(ProgramRunModel, ALoopThatHoldsNoTimeRunsWithoutEndEverywhere)
{
    // Pattern 0 ramps to 40.0 in 60 min, then patterns 1 and 2, which hold
    // no time, link to each other.
    P program;
    program.NextPattern = {1, 2, 1, 8, 8, 8, 8, 8};
    Step(program, 0, 0, 400, 60);
    Step(program, 1, 0, 900, 0);
    const ProgramCheck check = CheckProgram(program);
    EXPECT_TRUE(check.endless);
    EXPECT_EQ(check.timeText,
              "Runs without end: pattern 1 \u2192 2 \u2192 1 holds no time: the "
              "set value stays at 40.0 from 01:00");
    SimController c(1, 0x4848);
    Load(c, program);
    c.advance(Start);
    c.advance(5 * 3600);
    EXPECT_EQ(c.value(FlagReg), 1);
    EXPECT_EQ(Signed(c, SvReg), 400);
    const ProgramCompare::Result r =
        ProgramCompare::compare(program, Record(program, 0, 2 * 3600), {});
    EXPECT_EQ(r.programSeconds, -1);
    EXPECT_EQ(r.afterEnd, 0);
    EXPECT_EQ(r.samples.last().planned, 400);
}

} // namespace
