#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class QFont;
class QString;

// How a line is drawn: unbroken, in dots, or in dashes. At one pixel wide a
// dotted line is one pixel on and two off, a dashed one four on and two off,
// counted from the line's start.
enum class DotStyle { Solid, Dotted, Dashed };

// The picture a chart draws on: an RGB32 image and the few operations the
// charts need. Nothing is antialiased, so every chart is pixel-exact and a
// test can read back what was drawn. Every operation is clipped to the
// image; none writes outside it.
class Canvas
{
public:
    // A white picture of `size` (empty when the size is not valid).
    explicit Canvas(QSize size);

    const QImage &image() const { return m_image; }
    QSize size() const { return m_image.size(); }

    // Starts a new white picture of `size`; the old one is dropped.
    void resize(QSize size);
    // Fills the whole picture with `colour`.
    void clear(const QColor &colour);

    void fillRect(const QRect &rect, const QColor &colour);
    // A line from `from` to `to`, both end points included. A wider line is
    // square-ended: it reaches half its width beyond each end.
    void line(QPoint from, QPoint to, const QColor &colour, int width = 1,
              DotStyle style = DotStyle::Solid);
    // `text` in `font` (sized in pixels) with its top left corner at `topLeft`;
    // returns the box it may cover (before clipping to the picture), outside
    // which nothing is drawn.
    QRect text(QPoint topLeft, const QString &text, const QColor &colour, const QFont &font);
    // Copies the pixels of `source` so that its top left corner lands on
    // `to`. Source and destination may overlap (a chart scrolls this way);
    // only pixels whose source and destination both lie in the picture are
    // copied.
    void copyRect(const QRect &source, QPoint to);

    // The pixel at (x, y); 0 outside the picture.
    QRgb pixel(int x, int y) const;

private:
    QImage m_image;
};
