// The program check on hand-worked programs, and the walk over the patterns
// held against the curve that the same program draws.
#include "program/programcheck.h"
#include "program/programcurve.h"
#include "program/programeditor.h"
#include "program/programfile.h"
#include "program/programwalk.h"
#include "scripteddialogs.h"
#include "ui/canvas.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using P = RampSoakProgram;

// Step s of pattern p: set value in tenths and time in minutes.
void Step(P &program, int p, int s, int value, int time)
{
    program.SetValue[size_t(P::index(p, s))] = value;
    program.StepTime[size_t(P::index(p, s))] = time;
}

QStringList Texts(const ProgramCheck &check, CheckFinding::Level level)
{
    QStringList texts;
    for (const CheckFinding &f : check.findings)
        if (f.level == level)
            texts << f.text;
    return texts;
}

// Pattern 0 (30.0 for 30 min, 50.0 for 45 min) three times, pattern 1 once
// (80.0, 90 min), pattern 2 (80.0 10 min, 60.0 20 min, 20.0 30 min) twice.
P ThreePatternChain()
{
    P program;
    program.LastStep = {1, 0, 2, 0, 0, 0, 0, 0};
    program.AdditionalCycles = {2, 0, 1, 0, 0, 0, 0, 0};
    program.NextPattern = {1, 2, 8, 8, 8, 8, 8, 8};
    Step(program, 0, 0, 300, 30);
    Step(program, 0, 1, 500, 45);
    Step(program, 1, 0, 800, 90);
    Step(program, 2, 0, 800, 10);
    Step(program, 2, 1, 600, 20);
    Step(program, 2, 2, 200, 30);
    return program;
}

TEST(ProgramCheck, AChainWithRepeatsItsRunTimeAndSteepestRamp)
{
    // 75 min x 3 + 90 + 60 min x 2 = 435 min = 7 h 15. The steepest ramp
    // is pattern 2's step 0 in its second run: from 20.0 back to 80.0 in
    // 10 min, 6.00 per minute.
    const ProgramCheck check = CheckProgram(ThreePatternChain());
    EXPECT_EQ(check.runText, "pattern 0 \u00d73 \u2192 1 \u2192 2 \u00d72 \u2192 end");
    EXPECT_EQ(check.timeText, "Total time 07:15");
    EXPECT_FALSE(check.endless);
    EXPECT_EQ(check.minutes, 435);
    EXPECT_EQ(check.errorCount(), 0);
    EXPECT_TRUE(Texts(check, CheckFinding::Level::Warning).isEmpty());
    const QStringList notes = Texts(check, CheckFinding::Level::Note);
    ASSERT_GE(notes.size(), 2);
    EXPECT_EQ(notes.at(0), "Steepest ramp +6.00/min in pattern 2, step 0");
    EXPECT_EQ(notes.at(1),
              "Pattern 0, step 0: from the process value at the start to 30.0 in 00:30");
    // Pattern 0's step 0 ramps only when the pattern runs again: from 50.0.
    EXPECT_TRUE(notes.contains("Pattern 0, step 0: -0.67/min (50.0 to 30.0 in 00:30)"));
    EXPECT_TRUE(notes.contains("Pattern 1, step 0: +0.33/min (50.0 to 80.0 in 01:30)"));
    EXPECT_TRUE(notes.contains("Pattern 2, step 2: -1.33/min (60.0 to 20.0 in 00:30)"));

    // Two days and more.
    P longer = ThreePatternChain();
    longer.AdditionalCycles[1] = 30; // 31 x 90 min more than once: 435 + 2700
    EXPECT_EQ(CheckProgram(longer).timeText, "Total time 2 d 04:15");
}

TEST(ProgramCheck, AChainThatLinksBackRunsWithoutEnd)
{
    // 1 (60 min) -> 2 (100 min) -> 3 (100 min) -> 2 ...
    P program;
    program.StartPattern = 1;
    program.NextPattern = {8, 2, 3, 2, 8, 8, 8, 8};
    Step(program, 1, 0, 100, 60);
    Step(program, 2, 0, 200, 100);
    Step(program, 3, 0, 400, 100);
    const ProgramCheck check = CheckProgram(program);
    EXPECT_TRUE(check.endless);
    EXPECT_EQ(check.runText, "pattern 1 \u2192 2 \u2192 3 \u2192 2");
    EXPECT_EQ(check.timeText,
              "Runs without end: pattern 2 \u2192 3 \u2192 2 (every 03:20, after 01:00)");
    // The way back into the loop ramps too, and steeper than the way in:
    // from 40.0 down to 20.0.
    EXPECT_TRUE(Texts(check, CheckFinding::Level::Note)
                    .contains("Pattern 2, step 0: -0.20/min (40.0 to 20.0 in 01:40)"));
}

TEST(ProgramCheck, SetValuesOutsideTheControllersRangeAreErrors)
{
    P program;
    program.LastStep[0] = 2;
    program.NextPattern[0] = 8;
    Step(program, 0, 0, -50, 10); // -5.0
    Step(program, 0, 1, 4500, 10); // 450.0
    Step(program, 0, 2, 4000, 10); // 400.0: on the edge, allowed

    // A temperature input in tenths: 0.0 to 400.0.
    ProgramCheck check = CheckProgram(program, ControllerRange {0, 4000, 1, false});
    EXPECT_EQ(Texts(check, CheckFinding::Level::Error),
              QStringList({"Pattern 0, step 0: set value -5.0 is below Range Low 0.0 (P3-4)",
                           "Pattern 0, step 1: set value 450.0 is above Range High 400.0 (P3-3)"}));
    // The same words with the decimal point at 0 show whole degrees.
    check = CheckProgram(program, ControllerRange {0, 4000, 0, false});
    EXPECT_EQ(check.errorCount(), 2);
    EXPECT_TRUE(check.errorsText().contains("above Range High 400 (P3-3)"));

    // A linear input with two decimals holds 50.00 as 5000: 45.0 fits, 51.0
    // does not, and -5.0 is below 0.00.
    program.SetValue[1] = 450;
    program.SetValue[2] = 510;
    check = CheckProgram(program, ControllerRange {0, 5000, 2, true});
    EXPECT_EQ(Texts(check, CheckFinding::Level::Error),
              QStringList({"Pattern 0, step 0: set value -5.0 is below Range Low 0.00 (P3-4)",
                           "Pattern 0, step 2: set value 51.0 is above Range High 50.00 (P3-3)"}));
    // Without a known range nothing is an error.
    EXPECT_EQ(CheckProgram(program).errorCount(), 0);
}

TEST(ProgramCheck, SkippedStepsStepsThatNeverRunAndPatternsNeverReached)
{
    P program;
    program.LastStep[0] = 2;
    program.NextPattern = {8, 8, 8, 8, 8, 8, 8, 8};
    Step(program, 0, 0, 100, 10);
    Step(program, 0, 1, 200, 0); // inside the run, no time
    Step(program, 0, 2, 300, 10);
    Step(program, 0, 4, 100, 0); // past the last step
    Step(program, 5, 0, 100, 5); // a pattern the chain never reaches
    const ProgramCheck check = CheckProgram(program);
    EXPECT_EQ(Texts(check, CheckFinding::Level::Warning),
              QStringList({"Pattern 0, step 1 has the time 00:00: the step is skipped",
                           "Pattern 0, step 4 holds 10.0 for 00:00 past the last step 2: it never "
                           "runs",
                           "Pattern 5 is never reached from pattern 0"}));
    EXPECT_EQ(check.timeText, "Total time 00:20");
    // Step 2 ramps from step 0's value: the skipped step sets nothing.
    EXPECT_TRUE(Texts(check, CheckFinding::Level::Note)
                    .contains("Pattern 0, step 2: +2.00/min (10.0 to 30.0 in 00:10)"));
}

TEST(ProgramWalk, TheStepsOfTheWalkLieOnTheCurve)
{
    // Pattern 0: 10.0 for 20 min, down to 1.0 in 12 min; then pattern 1
    // (5.0 in 10 min, 10.0 in 20 min), which links to itself. The chain holds
    // 62 min: 10 pixels a minute; the span 9.0 is 90 tenths: one pixel a
    // tenth, y(v) = 100 - v + 2.
    P program;
    program.LastStep = {1, 1, 0, 0, 0, 0, 0, 0};
    program.NextPattern = {1, 1, 8, 8, 8, 8, 8, 8};
    Step(program, 0, 0, 100, 20);
    Step(program, 0, 1, 10, 12);
    Step(program, 1, 0, 50, 10);
    Step(program, 1, 1, 100, 20);

    struct Expected
    {
        int pattern, step, lap;
        qint64 start, end, from, to;
    };
    const Expected expected[] = {{0, 0, 0, 0, 20, 100, 100}, {0, 1, 0, 20, 32, 100, 10},
                                 {1, 0, 0, 32, 42, 10, 50},  {1, 1, 0, 42, 62, 50, 100},
                                 {1, 0, 1, 62, 72, 100, 50}, {1, 1, 1, 72, 92, 50, 100},
                                 {1, 0, 2, 92, 102, 100, 50}};
    ProgramWalk::Steps steps(program);
    ProgramWalk::Segment seg;
    for (const Expected &e : expected) {
        ASSERT_TRUE(steps.next(seg));
        EXPECT_EQ(seg.pattern, e.pattern);
        EXPECT_EQ(seg.step, e.step);
        EXPECT_EQ(seg.lap, e.lap);
        EXPECT_EQ(seg.start, e.start);
        EXPECT_EQ(seg.end, e.end);
        EXPECT_EQ(seg.from, e.from);
        EXPECT_EQ(seg.to, e.to);
    }

    Canvas canvas(ProgramCurveSize);
    ASSERT_TRUE(DrawProgramCurve(program, canvas));
    const auto x = [](qint64 minutes) { return int(minutes * 10); };
    const auto y = [](qint64 tenths) { return int(100 - tenths + 2); };
    ProgramWalk::Steps again(program);
    int checked = 0;
    while (again.next(seg) && x(seg.end) < 618) {
        // Both ends and the middle of every step the walk gives are drawn.
        for (const auto &[t, v] : {std::pair {seg.start, seg.from}, std::pair {seg.end, seg.to},
                                   std::pair {(seg.start + seg.end) / 2, (seg.from + seg.to) / 2}})
            EXPECT_NE(canvas.pixel(x(t), y(v)), 0xffffffff)
                << "pattern " << seg.pattern << " step " << seg.step << " at " << t;
        ++checked;
    }
    EXPECT_EQ(checked, 3);
    // And what lies off the walk is not: half-way along step 1 of pattern
    // 0, ten tenths above and below its line.
    EXPECT_EQ(canvas.pixel(x(26), y(65)), 0xffffffff);
    EXPECT_EQ(canvas.pixel(x(26), y(45)), 0xffffffff);
}

TEST(ProgramCheck, WriteToDuvaAsksAboutErrorsAndWarningsNeverStopIt)
{
    ScriptedDialogs dialogs;
    P program;
    int writes = 0;
    ProgramEditorActions actions;
    actions.startWrite = [&](const QList<RegisterWrite> &) { return ++writes, true; };
    ProgramEditor editor(program, std::move(actions));
    editor.setControllerRange([] { return ControllerRange {0, 1000, 1, false}; });
    // A program in the grid: from a file of zeros but one set value.
    program.NextPattern = {8, 8, 8, 8, 8, 8, 8, 8};
    program.StepTime[0] = 10;
    program.SetValue[0] = 1200;
    program.StepTime[8] = 5; // pattern 1 never reached: a warning
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("p.txt");
    ASSERT_TRUE(ProgramFile::write(path, program).isEmpty());
    dialogs.fileAnswers << path;
    editor.ReadFBtClick();
    ASSERT_EQ(editor.model().check.errorCount(), 1);

    dialogs.shown.clear();
    dialogs.okAnswers << false;
    editor.WrBtClick();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown.at(0).kind, "ask");
    EXPECT_EQ(dialogs.shown.at(0).text,
              "The program check found an error:\nPattern 0, step 0: set value 120.0 is above "
              "Range High 100.0 (P3-3)\n\nWrite to Duva anyway?");
    EXPECT_EQ(writes, 0);
    dialogs.okAnswers << true;
    editor.WrBtClick();
    EXPECT_EQ(writes, 1);
    editor.programWriteEnded(BatchWriteReport {});

    // Within range, the warning alone asks nothing.
    program.SetValue[0] = 900;
    ASSERT_TRUE(ProgramFile::write(path, program).isEmpty());
    dialogs.fileAnswers << path;
    editor.ReadFBtClick();
    dialogs.shown.clear();
    editor.WrBtClick();
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(writes, 2);
}

} // namespace

TEST(ProgramCheck, ValuesTheControllerRefusesAreErrorsAndTheRunIsNotGuessed)
{
    // As a damaged file can hold them: the controller answers each write
    // with an exception and keeps its old value.
    P program;
    program.LastStep = {1, 9, 0, 0, 0, 0, 0, 0};
    program.AdditionalCycles = {150, 0, -1, 0, 0, 0, 0, 0};
    program.NextPattern = {9, 8, 8, 8, 8, 8, 8, 8};
    Step(program, 0, 0, 100, 10);
    Step(program, 0, 1, 40000, 901);
    const ProgramCheck check = CheckProgram(program);
    EXPECT_EQ(Texts(check, CheckFinding::Level::Error),
              QStringList({"Pattern 0: additional cycles 150 is outside 0..99 (P3-22): the "
                           "controller refuses it",
                           "Pattern 0: next pattern 9 is outside 0..7 and 8 (Prog End) (P3-23): "
                           "the controller refuses it",
                           "Pattern 0, step 1: set value 4000.0 does not fit a register "
                           "(-3276.8..3276.7, P3-19)",
                           "Pattern 0, step 1: time 901 is outside 0..900 minutes (P3-20): the "
                           "controller refuses it",
                           "Pattern 1: last step 9 is outside 0..7 (P3-21): the controller "
                           "refuses it",
                           "Pattern 2: additional cycles -1 is outside 0..99 (P3-22): the "
                           "controller refuses it"}));
    EXPECT_EQ(check.timeText,
              "Run time not known: the controller refuses the values named as "
              "errors and keeps what it held");
}

TEST(ProgramCheck, RepeatsAreCountedNotWalkedAndOnlyARampIsSteepest)
{
    // Eight patterns of eight steps of 1..8 minutes (36 a pass), each run
    // 65536 times, linked 0 -> 1 -> ... -> 7 -> 8: 8 x 36 x 65536 minutes.
    P program;
    for (int p = 0; p < P::Patterns; ++p) {
        program.LastStep[size_t(p)] = 7;
        program.AdditionalCycles[size_t(p)] = 65535;
        program.NextPattern[size_t(p)] = p + 1;
        for (int s = 0; s < P::StepsPerPattern; ++s)
            Step(program, p, s, 100, s + 1);
    }
    const ProgramCheck check = CheckProgram(program);
    EXPECT_EQ(check.minutes, 18874368);
    EXPECT_EQ(check.errorCount(), 8);
    EXPECT_EQ(check.steepestPattern, -1); // every step holds 10.0
    for (const CheckFinding &f : check.findings)
        EXPECT_FALSE(f.text.startsWith("Steepest ramp")) << f.text.toStdString();
}
