// The program curve read back pixel by pixel, and the texts of the table's
// cells.
//
// The expected pixels are worked out by hand. A line of width 2 from (x0, y)
// to (x1, y) covers columns x0 - 1 to x1 and rows y - 1 and y; a slanted one
// covers every pixel whose top left corner lies on it. The frame is column 0
// and 619, row 0 and 94.
#include "program/programcurve.h"
#include "program/programtext.h"
#include "ui/canvas.h"

#include <gtest/gtest.h>

namespace {

constexpr QRgb White = 0xffffffff;
constexpr QRgb Black = 0xff000000;
constexpr QRgb Green = 0xff008000;
constexpr QRgb Blue = 0xff0000ff;
constexpr QRgb Navy = 0xff000080;
constexpr QRgb Olive = 0xff808000;

using P = RampSoakProgram;

struct Expect
{
    int x;
    int y;
    QRgb colour;
};

void ExpectPixels(const Canvas &canvas, std::initializer_list<Expect> pixels)
{
    for (const Expect &e : pixels)
        EXPECT_EQ(canvas.pixel(e.x, e.y), e.colour) << "at " << e.x << "," << e.y;
}

// Pattern p with one step: set value `value`, time `time`, then `next`.
void OneStep(P &program, int p, int value, int time, int next)
{
    program.SetValue[size_t(P::index(p, 0))] = value;
    program.StepTime[size_t(P::index(p, 0))] = time;
    program.NextPattern[size_t(p)] = next;
}

TEST(ProgramCurve, AnEndingProgramRampsInGreenAndHoldsInOliveToTheEdge)
{
    // Pattern 0, steps 0 and 1: 30.0 for 10 min, 12.0 for 20 min, then the end.
    // Span 180 > 90: divided by 2, y(300) = 2, y(120) = 92. Total 30 min:
    // times 620 / 30 = 20, x(10) = 200, x(30) = 600. Lines (0,2)-(200,2),
    // (200,2)-(600,92), olive (600,92)-(618,92).
    P program;
    program.LastStep[0] = 1;
    program.NextPattern[0] = P::ProgramEnd;
    program.SetValue[0] = 300;
    program.SetValue[1] = 120;
    program.StepTime[0] = 10;
    program.StepTime[1] = 20;
    Canvas canvas(ProgramCurveSize);
    canvas.clear(Qt::red);
    ASSERT_TRUE(DrawProgramCurve(program, canvas));
    ExpectPixels(canvas,
                 {{100, 1, Green},
                  {100, 2, Green},
                  {100, 3, White},
                  {400, 47, Green},
                  {400, 40, White},
                  {610, 91, Olive},
                  {618, 92, Olive},
                  {610, 93, White},
                  {619, 92, Black},
                  {0, 50, Black},
                  {300, 0, Black},
                  {300, 94, Black},
                  {619, 0, Black},
                  {100, 50, White}});
}

TEST(ProgramCurve, ALoopShowsItsLeadInGreenItsFirstPassBlueAndItsRepetitionsNavy)
{
    // 0 -> 1 -> 2 -> 1: the chain ends at 1. Set values 0, 9.0, 0 (span 90,
    // times 1: y(0) = 92, y(90) = 2); times 100, 110, 110 (total 320, times
    // 1). Green (0,92)-(100,92); blue (100,92)-(210,2)-(320,92); navy
    // (320,92)-(430,2)-(540,92)-(650,2), where x passed 620 and the walk stops.
    P program;
    OneStep(program, 0, 0, 100, 1);
    OneStep(program, 1, 90, 110, 2);
    OneStep(program, 2, 0, 110, 1);
    Canvas canvas(ProgramCurveSize);
    ASSERT_TRUE(DrawProgramCurve(program, canvas));
    ExpectPixels(canvas,
                 {{50, 92, Green},
                  {155, 47, Blue},
                  {265, 47, Blue},
                  {375, 47, Navy},
                  {485, 47, Navy},
                  {595, 47, Navy},
                  {617, 29, Navy},
                  {618, 2, White},
                  {619, 80, Black}});

    // 0 -> 1 -> 0: the chain ends where it starts, so it starts in blue.
    // Times 100, 110 (total 210, times 2): blue (0,92)-(200,92)-(420,2),
    // navy (420,2)-(620,92).
    P loop;
    OneStep(loop, 0, 0, 100, 1);
    OneStep(loop, 1, 90, 110, 0);
    ASSERT_TRUE(DrawProgramCurve(loop, canvas));
    ExpectPixels(
        canvas,
        {{100, 92, Blue}, {310, 47, Blue}, {520, 47, Navy}, {600, 83, Navy}, {50, 50, White}});
}

TEST(ProgramCurve, ManyRepetitionsFillTheWidth)
{
    // Pattern 0 repeats itself: 9.0 and 0 for 1 min each, 65536 times. Total
    // 131072 min: divided by ceil(131072 / 620) = 212, the first pass ends at
    // x = 618 in blue; every column holds a bar from y 2 to 92 (rows 1..92).
    // The repetition, navy, starts with a bar at x = 618 (columns 617, 618)
    // and goes on past the edge.
    P program;
    program.LastStep[0] = 1;
    program.AdditionalCycles[0] = 65535;
    program.SetValue[0] = 90;
    program.StepTime[0] = 1;
    program.StepTime[1] = 1;
    Canvas canvas(ProgramCurveSize);
    ASSERT_TRUE(DrawProgramCurve(program, canvas));
    ExpectPixels(canvas,
                 {{300, 1, Blue},
                  {300, 50, Blue},
                  {300, 92, Blue},
                  {300, 93, White},
                  {300, 0, Black},
                  {616, 50, Blue},
                  {617, 50, Navy},
                  {619, 50, Navy}});
}

TEST(ProgramCurve, DrawsNothingWithoutTimeOrAStartPattern)
{
    P program;
    OneStep(program, 0, 100, 0, 1);
    OneStep(program, 1, 200, 0, P::ProgramEnd);
    Canvas canvas(QSize(10, 10));
    canvas.clear(Qt::red);
    const QImage before = canvas.image();
    EXPECT_FALSE(DrawProgramCurve(program, canvas));
    EXPECT_EQ(canvas.image(), before);

    program.StepTime[0] = 10;
    for (const int start : {-1, 8}) {
        program.StartPattern = start;
        EXPECT_FALSE(DrawProgramCurve(program, canvas)) << start;
        EXPECT_EQ(canvas.image(), before) << start;
    }
}

TEST(ProgramCurve, ADamagedPatternIsDrawnWithinItsEightStepsAndEndsTheProgram)
{
    // Last step 200 runs steps 0..7 (pattern 1's long steps stay out); next
    // pattern 42 ends the program. 9.0 then seven times 0, 10 min each: y(90)
    // = 2, y(0) = 92; total 80, times 7: (0,2)-(70,2)-(140,92)-...-(560,92),
    // olive (560,92)-(618,92).
    P program;
    program.LastStep[0] = 200;
    program.NextPattern[0] = 42;
    program.SetValue[0] = 90;
    for (int s = 0; s < 8; ++s)
        program.StepTime[size_t(s)] = 10;
    for (int s = 0; s < 8; ++s) {
        program.SetValue[size_t(P::index(1, s))] = 900;
        program.StepTime[size_t(P::index(1, s))] = 1000;
    }
    Canvas canvas(ProgramCurveSize);
    ASSERT_TRUE(DrawProgramCurve(program, canvas));
    ExpectPixels(canvas,
                 {{35, 2, Green},
                  {300, 92, Green},
                  {555, 92, Green},
                  {590, 92, Olive},
                  {618, 92, Olive},
                  {619, 92, Black}});
}

TEST(ProgramText, SetValuesInTenthsAndTimesInHoursAndMinutes)
{
    EXPECT_EQ(SetValueText(-5), "-0.5");
    EXPECT_EQ(SetValueText(-153), "-15.3");
    EXPECT_EQ(SetValueText(253), "25.3");
    EXPECT_EQ(SetValueText(0), "0.0");
    EXPECT_EQ(SetValueText(-32768), "-3276.8");
    EXPECT_EQ(StepTimeText(95), "01:35");
    EXPECT_EQ(StepTimeText(0), "00:00");
    EXPECT_EQ(StepTimeText(900), "15:00");
    EXPECT_EQ(StepTimeText(1000), "16:40");
    EXPECT_EQ(StepTimeText(65535), "1092:15");
}

} // namespace
