// The monitor's PV trend: the histories, the scale, the curve and its
// scrolling, read back pixel by pixel.
//
// At S = 1024: image 960 x 360, chart from x 50 to 950, sample b at x 50 + b,
// value axis at x 49 (rows 0..350), time axis line on row 321 (x 30..954),
// grid lines grey from x 50 to 954. Design row y(v) = 321 - (v - bottom) *
// factor (multiplying) or / factor (dividing) is the pixel row at S = 1024.
// Tick t writes ring entry t - 1; entry 0 is never drawn in the first lap.
// Minute marks are dotted from row 0: a pixel on, two off.
#include "monitor/pvtrend.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr QRgb White = 0xffffffff;
constexpr QRgb Black = 0xff000000;
constexpr QRgb Grey = 0xffc0c0c0;

struct Expect
{
    int x;
    int y;
    QRgb colour;
};

void expectPixels(const PvTrend &trend, const std::vector<Expect> &pixels)
{
    for (const Expect &e : pixels)
        EXPECT_EQ(trend.canvas().pixel(e.x, e.y), e.colour) << "at " << e.x << "," << e.y;
}

int litPixels(const PvTrend &trend)
{
    int lit = 0;
    const QSize size = trend.imageSize();
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            lit += trend.canvas().pixel(x, y) != Black ? 1 : 0;
    }
    return lit;
}

class Trend : public ::testing::Test
{
protected:
    PvTrend trend;
    std::array<bool, SlotCount + 1> active {false, true, false, false, false};
    std::array<int, SlotCount + 1> pv {};
    int selected = 1;

    // `count` ticks with the selected slot's PV at `value`.
    void ticks(int count, int value, bool shown = true)
    {
        pv[size_t(selected)] = value;
        for (int i = 0; i < count; ++i)
            trend.sample(active, pv, selected, shown);
    }
};

TEST_F(Trend, ConstantPvMultipliesByTenWithTheLineOnRow161)
{
    // Entries 1..5 at 250: range 0 < 280, multiplying, 0 * 10 <= 280: factor
    // 10. Centre 250, bottom 250 - 160 / 10 = 234, y(250) = 321 - 16 * 10 =
    // 161. Grid step 10 from 230: 240 -> 261, 250 -> 161, 260 -> 61, 270 ->
    // -39 ends. The curve covers x 51..55, the grid goes on to 954.
    ticks(6, 250);
    EXPECT_EQ(trend.scaleFactor(), 10);
    EXPECT_FALSE(trend.scaleDivides());
    EXPECT_EQ(trend.chartCentre(), 250);
    EXPECT_EQ(trend.chartBottom(), 234);
    EXPECT_EQ(trend.gridStep(), 10);
    expectPixels(trend,
                 {{51, 161, White},
                  {55, 161, White},
                  {56, 161, Grey},
                  {954, 161, Grey},
                  {955, 161, Black},
                  {55, 160, Black},
                  {500, 261, Grey},
                  {500, 61, Grey},
                  {500, 62, Black},
                  {49, 0, White},
                  {49, 350, White},
                  {49, 351, Black},
                  {30, 321, White},
                  {29, 321, Black},
                  {954, 321, White},
                  {955, 321, Black}});
}

TEST_F(Trend, AStepBeyondTheScaleRedrawsAtOnceWithADividingScale)
{
    // Entry 0 (0, before the PV was read) is left out of the extremes. Entry
    // 1 at 100: factor 10, bottom 84, grid on rows 261, 161, 61.
    ticks(1, 0);
    ticks(1, 100);
    ASSERT_EQ(trend.scaleFactor(), 10);
    ASSERT_FALSE(trend.scaleDivides());
    // Entry 2 at 400: y = 321 - 316 * 10 <= 1 leaves the scale. Range 300 >=
    // 280: dividing, 300 / 1 > 280, 300 / 2 = 150: factor 2. Centre 100 + 150
    // = 250, bottom 250 - 160 * 2 = -70; y(100) = 321 - 170 / 2 = 236, y(400)
    // = 321 - 470 / 2 = 86. Grid step 100 from -100: 0 -> 286, 100 -> 236,
    // ..., 500 -> 36, 600 -> -14 ends.
    ticks(1, 400);
    EXPECT_EQ(trend.drawnSlot(), 1);
    EXPECT_EQ(trend.scaleFactor(), 2);
    EXPECT_TRUE(trend.scaleDivides());
    EXPECT_EQ(trend.chartCentre(), 250);
    EXPECT_EQ(trend.chartBottom(), -70);
    EXPECT_EQ(trend.gridStep(), 100);
    expectPixels(trend,
                 {{51, 236, White},
                  {52, 86, White},
                  {500, 286, Grey},
                  {500, 186, Grey},
                  {500, 36, Grey},
                  {500, 37, Black},
                  {500, 261, Black},
                  {500, 161, Black},
                  {500, 61, Black}});
}

TEST_F(Trend, TheCurveStartsWithTheSecondSampleAndGrowsBySample)
{
    // Slot 2 is polled too, far from slot 1, and stays off slot 1's chart.
    active[2] = true;
    pv[2] = 900;
    const quint64 before = trend.version();
    ticks(1, 250);
    EXPECT_EQ(trend.version(), before);
    EXPECT_EQ(litPixels(trend), 0);

    // The scale of entry 1 (factor 10, bottom 234: y(250) = 161, y(260) =
    // 61, y(240) = 261) holds the samples that follow: no redraw.
    ticks(1, 250);
    expectPixels(trend, {{51, 161, White}, {52, 161, Grey}});
    ticks(1, 260);
    ticks(1, 240);
    ticks(1, 250);
    EXPECT_EQ(trend.drawnSlot(), 1);
    EXPECT_EQ(trend.chartCentre(), 250);
    expectPixels(trend, {{52, 61, White}, {53, 261, White}, {54, 161, White}, {55, 161, Grey}});
}

TEST_F(Trend, AFullWindowScrollsOnePixelASecondWithItsMinuteMarks)
{
    // Entries 0..900 at 250 but entry 330 at 260. At the wrap (tick 901) the
    // span 10 * 10 is below the centre 250: redrawn to the window's range 10,
    // factor 10, centre 255, bottom 239: y(250) = 211, y(260) = 111 (a grid
    // row). Entry i is replayed at x 50 + i, entry 0 (the newest) at 950;
    // minute marks at 110, 170, ..., 890 and 950.
    ticks(330, 250);
    ticks(1, 260);
    ticks(570, 250);
    ASSERT_TRUE(trend.history(1).TrendFull);
    EXPECT_EQ(trend.chartCentre(), 255);
    expectPixels(trend,
                 {{380, 111, White},
                  {379, 111, Grey},
                  {110, 0, White},
                  {109, 0, Black},
                  {950, 0, White},
                  {950, 211, White}});

    // Entry 1: everything moves one pixel left, the new sample is at 950.
    ticks(1, 250);
    EXPECT_EQ(trend.chartCentre(), 255);
    expectPixels(trend,
                 {{379, 111, White},
                  {380, 111, Grey},
                  {109, 0, White},
                  {110, 0, Black},
                  {949, 0, White},
                  {950, 0, Black},
                  {950, 211, White},
                  {951, 211, Grey}});
}

TEST_F(Trend, ClearingTheShownSlotStartsItsChartWithoutTheOldSamples)
{
    // A full history at 500 on the chart (centre 500: row 161 white across).
    ticks(905, 500);
    ASSERT_EQ(trend.canvas().pixel(500, 161), White);

    trend.clear(1); // its address changed
    EXPECT_EQ(trend.history(1).SampleIndex, 0);
    EXPECT_FALSE(trend.history(1).TrendFull);
    const quint64 before = trend.version();
    ticks(1, 510);
    EXPECT_EQ(trend.version(), before);

    // Only entry 1 at 510: centre 510, bottom 494, y(510) = 161; the grid
    // row 161 is grey right of it.
    ticks(1, 510);
    EXPECT_EQ(trend.chartCentre(), 510);
    expectPixels(trend, {{51, 161, White}, {52, 161, Grey}, {500, 161, Grey}, {950, 161, Grey}});
}

TEST_F(Trend, AReplayFromTheLastEntryStaysInsideTheRing)
{
    // Slot 4, the last history: 1799 ticks unseen fill entries 0..900, wrap,
    // and fill 1..898. Shown, the tick that writes entry 899 redraws from
    // entry 900, which is entry 0: entries 0..899 at x 51..950 on row 161.
    active = {false, false, false, false, true};
    selected = 4;
    ticks(1799, 250, false);
    trend.show();
    ticks(1, 250);
    // Nothing but the line crosses rows 160 and 162 there.
    EXPECT_EQ(trend.chartStart(), 900);
    expectPixels(trend,
                 {{51, 161, White},
                  {52, 161, White},
                  {500, 161, White},
                  {950, 161, White},
                  {951, 161, Grey},
                  {52, 160, Black},
                  {52, 162, Black},
                  {500, 160, Black},
                  {500, 162, Black},
                  {949, 160, Black},
                  {949, 162, Black}});
}

TEST_F(Trend, LayoutAndFullChartScaleWithTheScreenWidth)
{
    struct Case
    {
        int screen;
        QSize image;
        int left;
        int right;
        int axis;
        std::vector<Expect> pixels;
    };
    // N * S / 1024. 1280: image 1200 x 450, left 62, right 62 + 1125, axis
    // 400 (line on 401 from 62 - 25 to 1187 + 5), value axis at 61 to row
    // 450 - 12, row 161 * 1.25 = 201, sample 1 at 62 + 1. 800: image 750 x
    // 281, left 39, right 39 + 703, axis 250 (line on 251 from 39 - 15 to
    // 742 + 4, at least 4), value axis at 38 to row 281 - 7, row 161 * 800 /
    // 1024 = 125, sample 1 at 39 + 0.
    const Case cases[] = {
        {1280,
         QSize(1200, 450),
         62,
         1187,
         400,
         {{63, 201, White},
          {1187, 201, White},
          {1188, 201, Grey},
          {1192, 201, Grey},
          {1193, 201, Black},
          {37, 401, White},
          {36, 401, Black},
          {1192, 401, White},
          {1193, 401, Black},
          {61, 438, White},
          {61, 439, Black}}},
        {800,
         QSize(750, 281),
         39,
         742,
         250,
         {{39, 125, White},
          {742, 125, White},
          {743, 125, Grey},
          {746, 125, Grey},
          {747, 125, Black},
          {24, 251, White},
          {23, 251, Black},
          {746, 251, White},
          {747, 251, Black},
          {38, 274, White},
          {38, 275, Black}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.screen);
        trend.setScreenWidth(c.screen);
        trend.clear(1);
        EXPECT_EQ(trend.imageSize(), c.image);
        EXPECT_EQ(trend.chartLeft(), c.left);
        EXPECT_EQ(trend.chartRight(), c.right);
        EXPECT_EQ(trend.timeAxis(), c.axis);
        // A full history of 250, then drawn: 900 samples, the newest at the
        // right edge.
        ticks(901, 250, false);
        trend.show();
        ticks(1, 250);
        expectPixels(trend, c.pixels);
    }
}

TEST(PvTrendText, ValuesAreTenthsWithOneDecimalAndTheirSign)
{
    EXPECT_EQ(PvTrend::valueText(-15), QStringLiteral("-1.5"));
    EXPECT_EQ(PvTrend::valueText(-5), QStringLiteral("-0.5"));
    EXPECT_EQ(PvTrend::valueText(1236), QStringLiteral("123.6"));
    EXPECT_EQ(PvTrend::valueText(0), QStringLiteral("0.0"));
    EXPECT_EQ(PvTrend::valueText(-32768), QStringLiteral("-3276.8"));
}

} // namespace
