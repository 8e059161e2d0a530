#include "monitor/pvtrend.h"

#include <QColor>
#include <QPoint>
#include <QRect>

#include <algorithm>
#include <limits>

namespace {

constexpr int DesignWidth = 1024;
constexpr int MinScreenWidth = 64;
constexpr int MaxScreenWidth = 8192;

// Design rows: the bottom value of the scale lies on row 321, the centre of
// the range on row 161; a new sample below 305 or at 1 and above leaves it.
constexpr qint64 BottomRow = 321;
constexpr qint64 CentreOffset = 160;
constexpr qint64 LowestRow = 305;
constexpr qint64 HighestRow = 1;
// The rows the range may span around its centre.
constexpr qint64 RangeRows = 280;

// The grid and the time axis reach this far right of the chart at least:
// scrolling restores the chart's two right-most columns from the two
// columns two pixels further right, which carry only the grid.
constexpr int MinOverhang = 4;
// More grid lines than the chart has rows: the loop stops here whatever the
// scale.
constexpr int MaxGridLines = 1000;
// Rows beyond this lie far outside any image; drawing keeps them there.
constexpr qint64 FarRow = qint64(1) << 24;

const QColor Background = Qt::black;
const QColor Pen = Qt::white;
const QColor GridColour(192, 192, 192);

int scaledTo(int designPixels, int screenWidth)
{
    return int(qint64(designPixels) * screenWidth / DesignWidth);
}

// 8 points at 96 dots per inch, in pixels, so that the texts keep their
// place whatever the screen's resolution.
QFont chartFont(int points)
{
    QFont font;
    font.setPixelSize(std::max(1, points * 96 / 72));
    return font;
}

qint64 floorMod(qint64 a, qint64 b)
{
    const qint64 m = a % b;
    return m < 0 ? m + b : m;
}

} // namespace

void PvHistory::clear()
{
    *this = PvHistory();
}

PvTrend::PvTrend(int screenWidth)
{
    setScreenWidth(screenWidth);
}

int PvTrend::scaled(int designPixels) const
{
    return scaledTo(designPixels, m_screenWidth);
}

void PvTrend::setScreenWidth(int screenWidth)
{
    m_screenWidth = std::clamp(screenWidth, MinScreenWidth, MaxScreenWidth);
    m_chartLeft = scaled(50);
    m_chartRight = m_chartLeft + scaled(Samples);
    m_timeAxis = scaled(320);
    m_overhang = std::max(MinOverhang, scaled(4));
    m_font = chartFont(scaled(8));
    m_canvas.resize(QSize(scaled(960), scaled(360)));
    m_canvas.clear(Background);
    m_drawnSlot = 0;
    touched();
}

const PvHistory &PvTrend::history(int slot) const
{
    return m_history[size_t(slot >= 1 && slot <= SlotCount ? slot : 0)];
}

void PvTrend::clear(int slot)
{
    if (slot < 1 || slot > SlotCount)
        return;
    m_history[size_t(slot)].clear();
    // Its curve on the image belongs to the samples just forgotten.
    if (m_drawnSlot == slot)
        m_drawnSlot = 0;
}

void PvTrend::show()
{
    m_drawnSlot = 0;
}

void PvTrend::sample(const std::array<bool, SlotCount + 1> &active,
                     const std::array<int, SlotCount + 1> &lastPv, int selected, bool chartShown)
{
    for (int n = 1; n <= SlotCount; ++n) {
        if (!active[size_t(n)])
            continue;
        PvHistory &h = m_history[size_t(n)];
        const int k = std::clamp(h.SampleIndex, 0, Samples);
        // The registers carry signed 16-bit values.
        const auto pv =
            qint32(std::clamp<qint64>(lastPv[size_t(n)], std::numeric_limits<qint16>::min(),
                                      std::numeric_limits<qint16>::max()));
        h.TrendBuffer[size_t(k)] = pv;
        // Entry 0 of the first lap is never drawn: the extremes start anew
        // with entry 1.
        if (k > 1 || h.TrendFull) {
            h.TrendMax = std::max(h.TrendMax, pv);
            h.TrendMin = std::min(h.TrendMin, pv);
        } else {
            h.TrendMax = pv;
            h.TrendMin = pv;
        }
        h.SampleIndex = k;
        if (k >= Samples) {
            h.SampleIndex = 0;
            h.TrendBuffer[0] = h.TrendBuffer[Samples];
            h.TrendFull = true;
            const auto [lo, hi] =
                std::minmax_element(h.TrendBuffer.begin(), h.TrendBuffer.begin() + Samples);
            // The selected slot's extremes become those of the window, and
            // its chart is redrawn, when ten times the window's span lies
            // below the chart's centre value; otherwise, and for the other
            // slots, the extremes keep growing from the first sample on.
            if (n == selected && 10 * (qint64(*hi) - *lo) < m_chartCentre) {
                m_drawnSlot = 0;
                h.TrendMax = *hi;
                h.TrendMin = *lo;
            }
        }
    }

    // A slot that is not polled has no new sample to show.
    if (chartShown && selected >= 1 && selected <= SlotCount && active[size_t(selected)]) {
        const PvHistory &h = m_history[size_t(selected)];
        if (h.SampleIndex > 0 || h.TrendFull) {
            if (m_drawnSlot == selected)
                addSample(selected);
            else
                fullRedraw(selected);
        }
    }

    for (int n = 1; n <= SlotCount; ++n) {
        if (active[size_t(n)])
            ++m_history[size_t(n)].SampleIndex;
    }
}

void PvTrend::computeScale(const PvHistory &h)
{
    const qint64 range = std::max<qint64>(0, qint64(h.TrendMax) - h.TrendMin);
    qint64 factor = 10;
    if (range < RangeRows) {
        m_scaleDivides = false;
        while (factor > 1 && range * factor > RangeRows)
            --factor;
    } else {
        // The smallest factor with range / factor <= 280.
        m_scaleDivides = true;
        factor = range / (RangeRows + 1) + 1;
    }
    const qint64 centre = h.TrendMin + range / 2;
    const qint64 bottom =
        m_scaleDivides ? centre - CentreOffset * factor : centre - CentreOffset / factor;
    // Samples are 16-bit: factor <= 235, so all of these fit.
    m_scaleFactor = int(factor);
    m_chartCentre = qint32(centre);
    m_chartBottom = qint32(bottom);
    if (m_scaleDivides)
        m_gridStep = factor < 5 ? 100 : factor < 20 ? 500 : factor < 40 ? 1000 : 2000;
    else
        m_gridStep = factor > 4 ? 10 : 50;
}

qint64 PvTrend::y(qint64 v) const
{
    const qint64 offset = v - m_chartBottom;
    return BottomRow - (m_scaleDivides ? offset / m_scaleFactor : offset * m_scaleFactor);
}

int PvTrend::row(qint64 v) const
{
    return int(std::clamp(y(v) * m_screenWidth / DesignWidth, -FarRow, FarRow));
}

int PvTrend::sampleX(int b) const
{
    return m_chartLeft + scaled(b);
}

void PvTrend::drawGrid()
{
    // Every multiple of the step above the bottom value, upwards while it
    // lies below the top of the image.
    const qint64 step = m_gridStep;
    qint64 f = m_chartBottom - floorMod(m_chartBottom, step);
    for (int n = 0; n < MaxGridLines; ++n) {
        f += step;
        if (y(f) <= 0)
            break;
        const int r = row(f);
        m_canvas.line(QPoint(m_chartLeft, r), QPoint(m_chartRight + m_overhang, r), GridColour);
        m_canvas.text(QPoint(m_chartLeft - scaled(32), r - scaled(4)),
                      QString::number(f / 10) + QStringLiteral(".0"), Pen, m_font);
    }
}

void PvTrend::extendCurve(int x, int entry, qint32 v)
{
    const int r = row(v);
    m_canvas.line(QPoint(m_lastX, m_lastY), QPoint(x, r), Pen);
    m_lastX = x;
    m_lastY = r;
    // A minute mark from the top to the time axis, with the value.
    if (entry % MinuteSamples == 0) {
        m_canvas.line(QPoint(x, 0), QPoint(x, m_timeAxis), Pen, 1, DotStyle::Dotted);
        m_canvas.text(QPoint(x - scaled(33), r + scaled(3)), valueText(v), Pen, m_font);
    }
}

void PvTrend::fullRedraw(int slot)
{
    if (slot < 1 || slot > SlotCount)
        return;
    const PvHistory &h = m_history[size_t(slot)];
    m_drawnSlot = slot;

    m_canvas.clear(Background);
    const int axisRow = m_timeAxis + 1;
    m_canvas.line(QPoint(m_chartLeft - 1, 0),
                  QPoint(m_chartLeft - 1, m_canvas.size().height() - scaled(10)), Pen);
    m_canvas.line(QPoint(m_chartLeft - scaled(20), axisRow),
                  QPoint(m_chartRight + m_overhang, axisRow), Pen);
    computeScale(h);
    drawGrid();

    // The oldest sample kept, then on round the ring. Entry 900 holds the
    // same sample as entry 0, so the replay reads entries 0..899 only.
    const int samples = h.TrendFull ? Samples : std::clamp(h.SampleIndex, 0, Samples);
    m_chartStart = h.TrendFull ? std::clamp(h.SampleIndex, 0, Samples - 1) + 1 : 1;
    int i = m_chartStart % Samples;
    const qint32 first = h.TrendBuffer[size_t(i)];
    m_lastX = sampleX(1);
    m_lastY = row(first);
    m_canvas.text(QPoint(m_chartLeft + scaled(2), m_lastY + scaled(3)), valueText(first), Pen,
                  m_font);
    for (int b = 1; b <= samples; ++b) {
        extendCurve(sampleX(b), i, h.TrendBuffer[size_t(i)]);
        i = (i + 1) % Samples;
    }
    touched();
}

void PvTrend::addSample(int slot)
{
    if (slot < 1 || slot > SlotCount)
        return;
    const PvHistory &h = m_history[size_t(slot)];
    const int k = std::clamp(h.SampleIndex, 0, Samples);
    const qint32 v = h.TrendBuffer[size_t(k)];
    const qint64 design = y(v);
    if (design > LowestRow || design <= HighestRow) {
        fullRedraw(slot);
        return;
    }

    int x = sampleX(k);
    if (h.TrendFull) {
        // Everything right of the value axis moves one sample left; the two
        // right-most columns get the bare grid of the columns beside them.
        const int w = scaled(k + 1) - scaled(k);
        if (w > 0)
            m_canvas.copyRect(
                QRect(QPoint(m_chartLeft + w, 0), QPoint(m_chartRight + w - 1, m_timeAxis)),
                QPoint(m_chartLeft, 0));
        m_canvas.copyRect(QRect(QPoint(m_chartRight + 2, 0), QPoint(m_chartRight + 3, m_timeAxis)),
                          QPoint(m_chartRight, 0));
        m_lastX = m_chartRight - w;
        x = m_chartRight;
    }
    extendCurve(x, k, v);
    touched();
}

QString PvTrend::valueText(qint32 tenths)
{
    const qint64 magnitude = qAbs(qint64(tenths));
    return (tenths < 0 ? QStringLiteral("-") : QString()) + QString::number(magnitude / 10) +
        QLatin1Char('.') + QString::number(magnitude % 10);
}
