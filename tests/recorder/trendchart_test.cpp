// The recorder's trend chart: its scale, grid, traces and scrolling read back
// pixel by pixel, and the boxes it keeps.
//
// At S = 1024: left 50, right 950, W 900, top 5, bottom 420, plot height 415.
// A line of width 2 from (x0, y) to (x1, y) covers columns x0 - 1 to x1 and
// rows y - 1 and y. A dotted line is one pixel on, two off, from its start.
// With manual limits 0 and 415 the factor is 415 * 500 / 415 = 500, the base
// 0, so value v lies on row 420 - v + 1 = 421 - v; the grid step is 100
// (factor 101..500): rows 321, 221, 121, 21.
#include "recorder/trendchart.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

namespace {

using namespace Recorder;

constexpr QRgb White = 0xffffffff;
constexpr QRgb Black = 0xff000000;
constexpr QRgb Olive = 0xff808000; // device 1
constexpr QRgb Red = 0xffff0000;
constexpr QRgb Silver = 0xffc0c0c0;
constexpr QRgb Navy = 0xff000080;

struct Expect
{
    int x;
    int y;
    QRgb colour;
};

class Chart : public ::testing::Test
{
protected:
    Data data;
    TrendChart chart {data};

    void SetUp() override { chart.setActive(true); }

    // Scan `i` of device 1 (and of device 2 when given) completes.
    void scan(qint64 i, qint32 device1, std::optional<qint32> device2 = {})
    {
        data.store(0, i, device1);
        if (device2)
            data.store(1, i, *device2);
        chart.updateAfterScan(i, QStringLiteral("t%1").arg(i));
    }
    void manual(const char *max, const char *min)
    {
        ASSERT_EQ(chart.setManualLimits(QString::fromLatin1(max), QString::fromLatin1(min)),
                  QString());
        chart.DisplayMdChange(ScaleMode::Manual);
    }
    void expectPixels(std::initializer_list<Expect> pixels)
    {
        for (const Expect &e : pixels)
            EXPECT_EQ(chart.canvas().pixel(e.x, e.y), e.colour) << "at " << e.x << "," << e.y;
    }
};

TEST_F(Chart, AutomaticScaleOfOneSteadyDeviceMultipliesByTenAroundTheMiddle)
{
    // Span 0 < 415 - 10: multiply, 0 * 10 <= 405, factor 10. mid 250, middle
    // row 5 + 415 / 2 = 212, base 250 - 212 / 10 = 229, limits 2 * 250 - 229
    // = 271 and 229. y(250) = 420 - 21 * 10 + 1 = 211 (trace rows 210, 211).
    // Grid step 10: 230 -> 411, 240 -> 311, 250 -> 211, 260 -> 111, 270 -> 11.
    for (int i = 0; i <= 10; ++i)
        scan(i, 250);
    EXPECT_EQ(chart.scaleKind(), ScaleKind::Multiply);
    EXPECT_EQ(chart.factor(), 10);
    EXPECT_EQ(chart.base(), 229);
    EXPECT_EQ(chart.gridStep(), 10);
    EXPECT_EQ(chart.maxScaleText(), QStringLiteral("271"));
    EXPECT_EQ(chart.minScaleText(), QStringLiteral("229"));
    // The trace covers x 49..60, the grid runs on to 970.
    expectPixels({{55, 209, White},
                  {55, 210, Olive},
                  {55, 211, Olive},
                  {55, 212, White},
                  {500, 210, White},
                  {500, 211, Black},
                  {500, 311, Black},
                  {500, 111, Black},
                  {500, 11, Black},
                  {500, 12, White}});
}

TEST_F(Chart, AutomaticSpanOf1000DividesByThreeWithAGridEvery100)
{
    // 0, then 1000 leaves the limits -21..21 of the first scan: redrawn.
    // Span 1000 >= 405: divide, 1000 / 2 = 500 > 405, 1000 / 3 = 333: factor
    // 3. mid 500, base 500 - 212 * 3 = -136, limits 1136 and -136. Grid step
    // 100 from -100: -100 -> 420 - 36 / 3 + 1 = 409; 1100 -> 420 - 1236 / 3
    // + 1 = 9; 1200 -> -24 ends it.
    scan(0, 0);
    scan(1, 1000);
    EXPECT_EQ(chart.scaleKind(), ScaleKind::Divide);
    EXPECT_EQ(chart.factor(), 3);
    EXPECT_EQ(chart.gridStep(), 100);
    EXPECT_EQ(chart.maxScaleText(), QStringLiteral("1136"));
    EXPECT_EQ(chart.minScaleText(), QStringLiteral("-136"));
    expectPixels({{500, 410, White}, {500, 409, Black}, {500, 9, Black}, {500, 8, White}});
}

TEST_F(Chart, ManualGridStepsFollowTheFactorFromTheFirstMultipleAboveTheBase)
{
    struct Case
    {
        const char *max;
        const char *min;
        qint64 factor;
        qint64 step;
        int firstRow;
    };
    // factor = 415 * 500 / span; row = 421 - (v - min) * factor / 500.
    const Case cases[] = {
        // 2075: step 10, 10 -> 421 - 20750 / 500 = 421 - 41.
        {"100", "0", 2075, 10, 380},
        {"415", "0", 500, 100, 321},
        // 41: step 500, 500 -> 421 - 41.
        {"5000", "0", 41, 500, 380},
        // Span 2050, 101: step 100 from -1100 (not -1000): -1000 -> 421 - 10.
        {"1000", "-1050", 101, 100, 411},
        // Span 2^32 - 1, factor 0 raised to 1: step 2000 from -2147484000:
        // -2147482000 is 1648 above the base, 421 - 3.
        {"2147483647", "-2147483648", 1, 2000, 418},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.max);
        manual(c.max, c.min);
        chart.fullRedraw(TrendChart::NoSamples);
        EXPECT_EQ(chart.scaleKind(), ScaleKind::Manual);
        EXPECT_EQ(chart.factor(), c.factor);
        EXPECT_EQ(chart.gridStep(), c.step);
        expectPixels({{150, c.firstRow, Black}, {150, c.firstRow + 1, White}});
    }
}

TEST_F(Chart, TracesAreDrawnInTheirDevicesColoursAtTheirRows)
{
    // Manual 0..415: 150 on row 271, 250 on 171, 50 on 371. Device 2 red.
    data.device[1].address = 2;
    data.device[1].shown = true;
    chart.ColorBox1Change(1, QColor(Qt::red));
    manual("415", "0");
    for (int i = 0; i < 10; ++i)
        scan(i, i < 5 ? 150 : 250, 50);
    // Segment 2 -> 3 covers x 51..53, segment 6 -> 7 x 55..57; column 9 is
    // the last (x 59).
    expectPixels({{52, 269, White},
                  {52, 270, Olive},
                  {52, 271, Olive},
                  {52, 272, White},
                  {57, 170, Olive},
                  {57, 171, Olive},
                  {57, 270, White},
                  {52, 370, Red},
                  {52, 371, Red},
                  {59, 371, Red},
                  {60, 371, White},
                  {60, 171, White}});
}

TEST_F(Chart, The901stSampleScrollsTheChartOnePixelLeftAndIsDrawnAtColumn899)
{
    // Manual 0..415, device 1 at 50 (row 371). The minute mark of sample 600
    // is dotted at x 650 from row 5 (row 65 on). Sample 899 is column 899, x
    // 949. Sample 900 finds the chart full: it scrolls and is drawn at column
    // 899 again, with its own minute mark at x 949 (row 371 dotted, 370 not).
    manual("415", "0");
    for (int i = 0; i < 900; ++i)
        scan(i, 50);
    expectPixels({{649, 65, White},
                  {650, 65, Black},
                  {949, 370, Olive},
                  {949, 371, Olive},
                  {949, 65, White},
                  {950, 371, White}});
    scan(900, 50);
    expectPixels({{649, 65, Black},
                  {650, 65, White},
                  {948, 371, Olive},
                  {949, 370, Olive},
                  {949, 65, Black},
                  {950, 371, White}});
}

TEST_F(Chart, ValueBoxesShowTenthsAndAMissingSampleSwitchesTheDeviceOff)
{
    const std::pair<qint32, const char *> values[] = {
        {-5, "-0.5"}, {-153, "-15.3"}, {250, "25.0"}, {7, "0.7"}, {0, "0.0"}};
    qint64 i = 0;
    for (const auto &[sample, text] : values) {
        scan(i++, sample);
        EXPECT_EQ(data.device[0].valueText, QString::fromLatin1(text));
    }
    data.storeMissing(0, i);
    chart.updateAfterScan(i, QStringLiteral("t"));
    EXPECT_FALSE(data.device[0].shown);
    EXPECT_TRUE(data.device[0].valueRed);
    EXPECT_EQ(data.device[0].valueText, QStringLiteral("0.0"));
}

TEST_F(Chart, BackgroundSilverTakesBlackAxesAndNavyWhiteOnes)
{
    // The value axis is column 49 from row 5 to 435, the time axis row 422.
    chart.BGColorChange(QColor(192, 192, 192));
    expectPixels({{49, 200, Black}, {500, 422, Black}, {980, 200, Silver}});
    chart.BGColorChange(QColor(0, 0, 128));
    expectPixels({{49, 200, White}, {500, 422, White}, {980, 200, Navy}});
}

TEST_F(Chart, PanelClicksSwitchDevicesWithAnAddressOnly)
{
    data.device[2].address = 3;
    data.device[2].shown = true;
    const quint64 drawn = chart.version();
    chart.Panel1Click(1); // device 2, address 0
    EXPECT_FALSE(data.device[1].shown);
    EXPECT_FALSE(data.device[1].comAddrSilver);
    EXPECT_EQ(chart.version(), drawn);

    chart.Panel1Click(0);
    EXPECT_FALSE(data.device[0].shown);
    EXPECT_TRUE(data.device[0].comAddrSilver);
    EXPECT_TRUE(chart.active()); // device 3 is still shown
    chart.Panel1Click(2);
    EXPECT_FALSE(chart.active());
    chart.Panel1Click(0);
    EXPECT_TRUE(data.device[0].shown);
    EXPECT_FALSE(data.device[0].comAddrSilver);
    EXPECT_TRUE(chart.active());
}

TEST_F(Chart, ManualLimitsMustBeWholeNumbersWithMaxAboveMin)
{
    EXPECT_EQ(chart.setManualLimits(QStringLiteral(" +250 "), QStringLiteral("-20")), QString());
    const std::pair<const char *, const char *> refused[] = {
        {"5", "5"}, {"0", "100"},        {"1.5", "0"}, {"99999999999", "0"},
        {"", "0"},  {"2147483648", "0"}, {"1 2", "0"}, {"100", "-"},
    };
    for (const auto &[max, min] : refused) {
        SCOPED_TRACE(max);
        EXPECT_EQ(chart.setManualLimits(QString::fromLatin1(max), QString::fromLatin1(min)),
                  TrendChart::manualLimitsMessage());
        EXPECT_EQ(chart.manualMax(), 250);
        EXPECT_EQ(chart.manualMin(), -20);
        EXPECT_EQ(chart.maxScaleText(), QStringLiteral("250"));
        EXPECT_EQ(chart.minScaleText(), QStringLiteral("-20"));
    }
}

TEST(ChartWidth, RingsAndMinuteLabelsFollowTheScreenWidth)
{
    struct Case
    {
        int screen;
        int width;
        int left;
        QSize image;
        int traceRow; // y(250) under the automatic scale of a steady 250
        const char *lastMinute; // of samples 0 .. 2W - 1
    };
    // S = 800: top 3, bottom 328, middle row 3 + 325 / 2 = 165, base 250 -
    // 16, y = 328 - 160 + 1 = 169. S = 1280: top 6, bottom 525, middle row
    // 265, base 250 - 26, y = 525 - 260 + 1 = 266. Last minute marks: 1380 of
    // 0..1405, 1740 of 0..1799, 2220 of 0..2249.
    const Case cases[] = {
        {800, 703, 39, QSize(773, 367), 169, "t1380"},
        {1024, 900, 50, QSize(990, 470), 211, "t1740"},
        {1280, 1125, 62, QSize(1237, 587), 266, "t2220"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.screen);
        Data data;
        TrendChart chart(data, c.screen);
        chart.setActive(true);
        EXPECT_EQ(chart.width(), c.width);
        EXPECT_EQ(chart.imageSize(), c.image);
        EXPECT_EQ(data.device[0].samples.size(), size_t(c.width));
        const qint64 samples = 2 * c.width;
        for (qint64 i = 0; i < samples; ++i) {
            data.store(0, i, 250);
            chart.updateAfterScan(i, QStringLiteral("t%1").arg(i));
        }
        chart.fullRedraw(samples - 1);
        EXPECT_EQ(chart.currentTimeLabel(), QString::fromLatin1(c.lastMinute));
        const int newest = c.left + c.width - 1;
        EXPECT_EQ(chart.canvas().pixel(newest, c.traceRow), Olive);
        EXPECT_EQ(chart.canvas().pixel(newest, c.traceRow - 1), Olive);
        // Right of it only the grid line of 250 on the same row.
        EXPECT_EQ(chart.canvas().pixel(newest + 1, c.traceRow - 1), White);
    }
}

} // namespace
