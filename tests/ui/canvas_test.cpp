// The canvas read back pixel by pixel.
#include "ui/canvas.h"

#include <QFont>
#include <climits>
#include <gtest/gtest.h>

namespace {

constexpr QRgb White = 0xffffffff;
constexpr QRgb Black = 0xff000000;
constexpr QRgb Red = 0xffff0000;

// One row as '#' (black) and '.' (anything else).
std::string row(const Canvas &c, int y, int x0, int x1)
{
    std::string s;
    for (int x = x0; x <= x1; ++x)
        s += c.pixel(x, y) == Black ? '#' : '.';
    return s;
}

TEST(Canvas, FillsAreClippedToTheirRectangleAndThePicture)
{
    Canvas c(QSize(10, 8));
    c.fillRect(QRect(2, 3, 4, 2), Qt::red);
    EXPECT_EQ(c.pixel(2, 3), Red);
    EXPECT_EQ(c.pixel(5, 4), Red);
    for (const QPoint p : {QPoint(1, 3), QPoint(6, 3), QPoint(2, 2), QPoint(2, 5)})
        EXPECT_EQ(c.pixel(p.x(), p.y()), White) << p.x() << "," << p.y();

    c.fillRect(QRect(-5, -5, 8, 7), Qt::black); // x -5..2, y -5..1
    EXPECT_EQ(c.pixel(0, 0), Black);
    EXPECT_EQ(c.pixel(2, 1), Black);
    EXPECT_EQ(c.pixel(3, 1), White);
    EXPECT_EQ(c.pixel(2, 2), White);
    c.fillRect(QRect(QPoint(8, 6), QPoint(INT_MAX, INT_MAX)), Qt::black);
    EXPECT_EQ(c.pixel(9, 7), Black);
    EXPECT_EQ(c.pixel(7, 7), White);
    EXPECT_EQ(c.pixel(10, 7), 0u); // outside reads as nothing
}

TEST(Canvas, LinesIncludeBothEndsAndDotsFollowQtsPattern)
{
    Canvas c(QSize(20, 16));
    c.line({2, 1}, {8, 1}, Qt::black);
    EXPECT_EQ(row(c, 1, 0, 10), "..#######..");
    EXPECT_EQ(row(c, 0, 0, 10), "...........");
    EXPECT_EQ(row(c, 2, 0, 10), "...........");

    // A one-pixel dotted line: one pixel on, two off, counted from the start.
    c.line({2, 4}, {14, 4}, Qt::black, 1, DotStyle::Dotted);
    EXPECT_EQ(row(c, 4, 0, 16), "..#..#..#..#..#..");
    c.line({14, 6}, {2, 6}, Qt::black, 1, DotStyle::Dotted);
    EXPECT_EQ(row(c, 6, 0, 16), "..#..#..#..#..#..");
    c.line({3, 8}, {15, 8}, Qt::black, 1, DotStyle::Dotted);
    EXPECT_EQ(row(c, 8, 0, 16), "...#..#..#..#..#.");
    c.line({2, 10}, {14, 10}, Qt::black, 1, DotStyle::Dashed);
    EXPECT_EQ(row(c, 10, 0, 16), "..####..####..#..");

    c.line({4, 13}, {8, 13}, Qt::black, 3);
    EXPECT_EQ(row(c, 11, 0, 10), "...........");
    EXPECT_EQ(row(c, 12, 0, 10), "...#######.");
    EXPECT_EQ(row(c, 14, 0, 10), "...#######.");
    EXPECT_EQ(row(c, 15, 0, 10), "...........");

    c.line({-100, 15}, {INT_MAX, 15}, Qt::black, 5);
    EXPECT_EQ(c.pixel(19, 15), Black);
}

// A 4 x 3 picture whose pixel (x, y) holds its own origin, and its read-back
// as "xy" per pixel, rows separated by '/'.
Canvas numbered()
{
    Canvas c(QSize(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            c.fillRect(QRect(x, y, 1, 1), QColor(x, y, 0));
    return c;
}

std::string origins(const Canvas &c)
{
    std::string s;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const QRgb p = c.pixel(x, y);
            s += char('0' + qRed(p));
            s += char('0' + qGreen(p));
            s += x < 3 ? " " : y < 2 ? "/" : "";
        }
    }
    return s;
}

TEST(Canvas, CopyRectMovesOverlappingPixelsInEveryDirectionWithinThePicture)
{
    ASSERT_EQ(origins(numbered()), "00 10 20 30/01 11 21 31/02 12 22 32");
    const struct
    {
        QRect source;
        QPoint to;
        const char *expected;
    } cases[] = {
        {{1, 0, 3, 3}, {0, 0}, "10 20 30 30/11 21 31 31/12 22 32 32"}, // left
        {{0, 0, 3, 3}, {1, 0}, "00 00 10 20/01 01 11 21/02 02 12 22"}, // right
        {{0, 0, 4, 2}, {0, 1}, "00 10 20 30/00 10 20 30/01 11 21 31"}, // down
        {{0, 1, 4, 2}, {0, 0}, "01 11 21 31/02 12 22 32/02 12 22 32"}, // up
        {{0, 1, 3, 2}, {1, 0}, "00 01 11 21/01 02 12 22/02 12 22 32"}, // up and right
        // Partly outside: only what lies inside on both sides.
        {{-1, -1, 3, 3}, {1, 1}, "00 10 20 30/01 11 21 31/02 12 00 10"},
        {{1, 1, 5, 5}, {0, 0}, "11 21 31 30/12 22 32 31/02 12 22 32"},
        // Nothing lands inside.
        {{0, 0, 4, 3}, {4, 0}, "00 10 20 30/01 11 21 31/02 12 22 32"},
        {{0, 0, 4, 3}, {INT_MIN, INT_MAX}, "00 10 20 30/01 11 21 31/02 12 22 32"},
        {QRect(QPoint(INT_MAX - 1, 0), QPoint(INT_MAX, 1)),
         {0, 0},
         "00 10 20 30/01 11 21 31/02 12 22 32"},
    };
    for (const auto &k : cases) {
        Canvas c = numbered();
        c.copyRect(k.source, k.to);
        EXPECT_EQ(origins(c), k.expected)
            << k.source.x() << "," << k.source.y() << " -> " << k.to.x() << "," << k.to.y();
    }
}

TEST(Canvas, TextStaysInsideTheBoxItReturns)
{
    Canvas c(QSize(60, 30));
    QFont font;
    font.setPixelSize(12);
    const QRect box = c.text({5, 5}, QStringLiteral("Hg"), Qt::black, font);
    EXPECT_EQ(box.topLeft(), QPoint(5, 5));
    int inside = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 60; ++x) {
            if (c.pixel(x, y) == White)
                continue;
            EXPECT_TRUE(box.contains(x, y)) << x << "," << y;
            inside += 1;
        }
    }
    EXPECT_GT(inside, 10);
    // Text over the edges is clipped there.
    c.text({50, 20}, QStringLiteral("Hg Hg"), Qt::black, font);
    c.text({-8, -6}, QStringLiteral("Hg Hg"), Qt::black, font);
}

} // namespace
