#include "ui/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <cstring>

namespace {

Qt::PenStyle penStyle(DotStyle style)
{
    switch (style) {
    case DotStyle::Dotted:
        return Qt::DotLine;
    case DotStyle::Dashed:
        return Qt::DashLine;
    case DotStyle::Solid:
        break;
    }
    return Qt::SolidLine;
}

} // namespace

Canvas::Canvas(QSize size)
{
    resize(size);
}

void Canvas::resize(QSize size)
{
    m_image = size.isValid() ? QImage(size, QImage::Format_RGB32) : QImage();
    clear(Qt::white);
}

void Canvas::clear(const QColor &colour)
{
    m_image.fill(colour);
}

void Canvas::fillRect(const QRect &rect, const QColor &colour)
{
    // Clipped here: Qt fills nothing when the far edge lies near INT_MAX.
    const QRect inside = rect & m_image.rect();
    if (inside.isEmpty())
        return;
    QPainter p(&m_image);
    p.fillRect(inside, colour);
}

void Canvas::line(QPoint from, QPoint to, const QColor &colour, int width, DotStyle style)
{
    if (m_image.isNull())
        return;
    QPainter p(&m_image);
    p.setPen(QPen(colour, qMax(1, width), penStyle(style)));
    p.drawLine(from, to);
}

QRect Canvas::text(QPoint topLeft, const QString &text, const QColor &colour, const QFont &font)
{
    if (m_image.isNull())
        return QRect(topLeft, QSize());
    QFont f = font;
    f.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(f, &m_image);
    const QRect box(topLeft, QSize(metrics.horizontalAdvance(text), metrics.height()));
    QPainter p(&m_image);
    p.setClipRect(box);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(topLeft.x(), topLeft.y() + metrics.ascent(), text);
    return box;
}

void Canvas::copyRect(const QRect &source, QPoint to)
{
    const QRect bounds = m_image.rect();
    if (!source.isValid() || bounds.isEmpty())
        return;
    const qint64 dx = qint64(to.x()) - source.x();
    const qint64 dy = qint64(to.y()) - source.y();
    if (qAbs(dx) >= bounds.width() || qAbs(dy) >= bounds.height())
        return;
    // The source pixels inside the picture whose destination is inside too.
    const QRect from = source & bounds & bounds.translated(int(-dx), int(-dy));
    if (from.isEmpty())
        return;
    const QRect into = from.translated(int(dx), int(dy));

    // Rows are taken in the order that reads each one before it is
    // overwritten; memmove handles the overlap within a row.
    constexpr int PixelBytes = 4;
    uchar *bits = m_image.bits();
    const qsizetype stride = m_image.bytesPerLine();
    const size_t rowBytes = size_t(from.width()) * PixelBytes;
    for (int i = 0; i < from.height(); ++i) {
        const int row = dy > 0 ? from.height() - 1 - i : i;
        std::memmove(bits + (into.y() + row) * stride + into.x() * PixelBytes,
                     bits + (from.y() + row) * stride + from.x() * PixelBytes, rowBytes);
    }
}

QRgb Canvas::pixel(int x, int y) const
{
    return m_image.valid(x, y) ? m_image.pixel(x, y) : 0;
}
