#include "recorder/trendchart.h"

#include <QPoint>
#include <QRect>

#include <algorithm>
#include <limits>

namespace Recorder {

namespace {

constexpr int DesignWidth = 1024;
constexpr int MinScreenWidth = 64;
constexpr int MaxScreenWidth = 8192;
// Manual scaling draws factor / ManualUnit pixels per unit.
constexpr qint64 ManualUnit = 500;
// More grid lines than any plot has rows for: a scale so wide that its grid
// lines fall on the same rows stops here instead of walking the whole range.
constexpr int MaxGridLines = 4096;
// Values beyond this lie far outside any plot; y() keeps them there without
// overflowing.
constexpr qint64 FarValue = qint64(1) << 40;

int scaled(int designPixels, int screenWidth)
{
    return int(qint64(designPixels) * screenWidth / DesignWidth);
}

// A font of `points` in the toolkit's default face, sized in pixels as a
// 96 dots-per-inch screen shows it, so that the chart's texts keep their
// place whatever the screen's resolution.
QFont chartFont(int points)
{
    QFont font;
    font.setPixelSize(std::max(1, points * 96 / 72));
    return font;
}

qint64 floorDiv(qint64 a, qint64 b)
{
    qint64 q = a / b;
    if (a % b != 0 && (a < 0) != (b < 0))
        --q;
    return q;
}

// A sample in tenths as the Value boxes show it: one decimal, "-" for a
// negative one (-5 is "-0.5").
QString valueText(qint32 sample)
{
    const qint64 tenths = qAbs(qint64(sample));
    return QString(sample < 0 ? QStringLiteral("-") : QString()) + QString::number(tenths / 10) +
        QLatin1Char('.') + QString::number(tenths % 10);
}

// A whole number within 32 bits: blanks, an optional sign, digits, blanks.
bool parseWhole(const QString &text, qint64 &value)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    if (i == t.size())
        return false;
    constexpr qint64 Limit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        magnitude = magnitude * 10 + (c - u'0');
        if (magnitude > Limit)
            return false;
    }
    value = negative ? -magnitude : magnitude;
    return value >= std::numeric_limits<qint32>::min() &&
        value <= std::numeric_limits<qint32>::max();
}

} // namespace

QString TrendChart::manualLimitsMessage()
{
    return QStringLiteral(
        "Max. Scale and Min. Scale must be whole numbers, Max. Scale above Min. Scale");
}

TrendChart::TrendChart(Data &data, int screenWidth)
    : m_data(data)
{
    setScreenWidth(screenWidth);
}

void TrendChart::setScreenWidth(int screenWidth)
{
    const int s = std::clamp(screenWidth, MinScreenWidth, MaxScreenWidth);
    m_screenWidth = s;
    m_left = scaled(50, s);
    m_right = scaled(950, s);
    m_top = scaled(5, s);
    m_bottom = scaled(420, s);
    m_canvas.resize(QSize(scaled(990, s), scaled(470, s)));
    m_titleFont = chartFont(scaled(12, s));
    m_font = chartFont(scaled(8, s));
    m_data.setWidth(width());
    m_minuteLabels.assign(size_t(width() / MinuteSamples + 1), MinuteLabel());
    m_previousColumn = 0;
    m_currentColumn = 1;
    m_lastY.fill(m_bottom);
    clear();
}

void TrendChart::clear()
{
    m_newest = NoSamples;
    clearImage();
}

void TrendChart::clearImage()
{
    const int s = m_screenWidth;
    m_canvas.clear(m_background);
    m_canvas.line(QPoint(m_left - 1, m_top), QPoint(m_left - 1, m_bottom + scaled(15, s)), m_axis);
    m_canvas.line(QPoint(m_left - scaled(20, s), m_bottom + 2),
                  QPoint(m_right + scaled(20, s), m_bottom + 2), m_axis);
    m_canvas.text(QPoint(m_left - scaled(35, s), m_bottom + scaled(12, s)), QStringLiteral("Time"),
                  m_axis, m_titleFont);
    touched();
}

void TrendChart::scale()
{
    const qint64 height = plotHeight();
    if (m_mode == ScaleMode::Manual) {
        // The limits were checked when they were entered: Max above Min.
        m_kind = ScaleKind::Manual;
        m_upper = m_manualMax;
        m_lower = m_manualMin;
        const qint64 span = std::max<qint64>(1, m_upper - m_lower);
        m_factor = std::max<qint64>(1, height * ManualUnit / span);
        m_base = m_lower;
        return;
    }

    qint64 upper = -32767;
    qint64 lower = 32768;
    for (int d = 0; d < DeviceCount; ++d) {
        const Device &dev = m_data.device[size_t(d)];
        if (!dev.shown)
            continue;
        if (!dev.failed) {
            upper = std::max<qint64>(upper, dev.highest);
            lower = std::min<qint64>(lower, dev.lowest);
            continue;
        }
        // A device given up is drawn up to its first missing sample: the
        // scale takes those samples.
        const int w = width();
        const qint64 n = m_scaleNewest;
        for (qint64 i = n < w ? 0 : n - w + 1; i <= n; ++i) {
            const qint32 v = m_data.sample(d, i);
            if (v == MissingSample)
                break;
            upper = std::max<qint64>(upper, v);
            lower = std::min<qint64>(lower, v);
        }
    }
    // With no device to follow the span is negative, and the scale centres
    // on zero.
    const qint64 span = upper - lower;
    const qint64 room = height - 10;
    if (span < room) {
        m_kind = ScaleKind::Multiply;
        m_factor = 10;
        while (m_factor > 1 && span * m_factor > room)
            --m_factor;
    } else {
        // The smallest factor with span / factor <= room.
        m_kind = ScaleKind::Divide;
        m_factor = span / (std::max<qint64>(0, room) + 1) + 1;
    }
    const qint64 mid = (upper + lower) / 2;
    const qint64 middleRow = m_top + height / 2;
    m_base = m_kind == ScaleKind::Divide ? mid - middleRow * m_factor : mid - middleRow / m_factor;
    m_upper = 2 * mid - m_base;
    m_lower = m_base;
    m_maxScaleText = QString::number(m_upper);
    m_minScaleText = QString::number(m_lower);
    // MaxScale and MinScale now hold these; manual mode starts from them.
    if (m_upper > m_lower && m_upper <= std::numeric_limits<qint32>::max() &&
        m_lower >= std::numeric_limits<qint32>::min()) {
        m_manualMax = m_upper;
        m_manualMin = m_lower;
    }
}

qint64 TrendChart::gridStep() const
{
    const qint64 f = m_factor;
    switch (m_kind) {
    case ScaleKind::Divide:
        return f <= 4 ? 100 : f <= 19 ? 500 : f <= 39 ? 1000 : 2000;
    case ScaleKind::Multiply:
        return f < 5 ? 50 : 10;
    case ScaleKind::Manual:
        break;
    }
    return f > 2000 ? 10 : f > 500 ? 50 : f > 100 ? 100 : f > 25 ? 500 : f >= 13 ? 1000 : 2000;
}

qint64 TrendChart::y(qint64 v) const
{
    const qint64 offset = std::clamp(v, -FarValue, FarValue) - m_base;
    switch (m_kind) {
    case ScaleKind::Multiply:
        return m_bottom - offset * m_factor + 1;
    case ScaleKind::Divide:
        return m_bottom - offset / m_factor + 1;
    case ScaleKind::Manual:
        break;
    }
    return m_bottom - offset * m_factor / ManualUnit + 1;
}

int TrendChart::plotRow(qint64 v) const
{
    return int(std::clamp<qint64>(y(v), m_top, m_bottom));
}

void TrendChart::drawGrid()
{
    // The multiples of the step above the base, upwards until they leave the
    // image; each is at most one row below the plot.
    const qint64 step = gridStep();
    qint64 value = floorDiv(m_base, step) * step;
    for (int n = 0; n < MaxGridLines; ++n) {
        value += step;
        const qint64 row = y(value);
        if (row <= 0)
            break;
        const int r = int(std::min<qint64>(row, m_bottom + 1));
        m_canvas.line(QPoint(m_left, r), QPoint(m_right + 20, r), m_axis);
        if (m_top + 6 < r && r < m_bottom - 10)
            m_canvas.text(QPoint(m_left - 40, r - 6), QString::number(value), m_axis, m_font);
    }
}

void TrendChart::fullRedraw(qint64 newest)
{
    const qint64 n = std::max(newest, NoSamples);
    const int w = width();
    clearImage();
    m_scaleNewest = n;
    scale();
    drawGrid();

    // The start sample begins each trace (and is the value shown until a
    // column follows: the first scan draws no column).
    const qint64 start = n < w ? 0 : n - w + 1;
    for (int d = 0; d < DeviceCount; ++d) {
        Device &dev = m_data.device[size_t(d)];
        if (dev.shown && n >= 0) {
            const qint32 v = m_data.sample(d, start);
            m_lastY[size_t(d)] = plotRow(v);
            if (v != MissingSample)
                dev.valueText = valueText(v);
        }
        m_lastY[size_t(d)] = std::clamp(m_lastY[size_t(d)], m_top, m_bottom);
    }
    m_previousColumn = 0;
    m_currentColumn = 1;
    m_newest = n;

    // The columns right of the start sample, each minute mark with the time
    // it was taken at.
    for (qint64 i = std::max<qint64>(1, n - w + 2); i <= n; ++i) {
        if (i % MinuteSamples == 0)
            m_timeLabel = minuteLabel(i);
        addColumn(i);
    }
    touched();
}

void TrendChart::addColumn(qint64 index)
{
    if (index < 0)
        return;
    const int w = width();
    if (m_currentColumn >= w) {
        // Full: everything right of the value axis moves one pixel left.
        m_canvas.copyRect(
            QRect(QPoint(m_left + 1, m_top - 2), QPoint(m_right + 20, m_canvas.size().height())),
            QPoint(m_left, m_top - 2));
        m_previousColumn = w - 2;
        m_currentColumn = w - 1;
    }
    const int x0 = m_left + m_previousColumn;
    const int x1 = m_left + m_currentColumn;

    for (int d = 0; d < DeviceCount; ++d) {
        Device &dev = m_data.device[size_t(d)];
        const qint32 v = m_data.sample(d, index);
        if (v == MissingSample && dev.address != 0) {
            dev.shown = false;
            dev.valueRed = true;
        }
        if (!dev.shown)
            continue;
        const int row = plotRow(v);
        m_canvas.line(QPoint(x0, m_lastY[size_t(d)]), QPoint(x1, row), dev.colour, 2);
        m_lastY[size_t(d)] = row;
        dev.valueText = valueText(v);
    }

    if (index % MinuteSamples == 0) {
        m_canvas.line(QPoint(x1, m_top), QPoint(x1, m_bottom), m_axis, 1, DotStyle::Dotted);
        for (int d = 0; d < DeviceCount; ++d) {
            const int last = m_lastY[size_t(d)];
            if (m_data.device[size_t(d)].shown && m_top + 2 < last && last < m_bottom - 16 &&
                m_currentColumn > 20)
                m_canvas.text(QPoint(x1 - 20, last + 2), QString::number(m_data.sample(d, index)),
                              m_axis, m_font);
        }
        if (m_currentColumn > 30) {
            const bool upperLine = (index / MinuteSamples) % 2 == 0;
            m_canvas.text(QPoint(x1 - 35, m_bottom + (upperLine ? 5 : 20)), m_timeLabel, m_axis,
                          m_font);
        }
    }
    m_previousColumn = m_currentColumn;
    ++m_currentColumn;
    m_newest = index;
    touched();
}

bool TrendChart::samplesLeftScale() const
{
    for (const Device &dev : m_data.device) {
        if (dev.shown && !dev.failed && (dev.highest > m_upper || dev.lowest < m_lower))
            return true;
    }
    return false;
}

QString TrendChart::minuteLabel(qint64 index) const
{
    const MinuteLabel &label =
        m_minuteLabels[size_t((index / MinuteSamples) % qint64(m_minuteLabels.size()))];
    return label.index == index ? label.text : QString();
}

void TrendChart::updateAfterScan(qint64 index, const QString &timeStamp)
{
    if (index < 0)
        return;
    m_timeLabel = timeStamp;
    if (index % MinuteSamples == 0) {
        MinuteLabel &label =
            m_minuteLabels[size_t((index / MinuteSamples) % qint64(m_minuteLabels.size()))];
        label.index = index;
        label.text = timeStamp;
    }
    if (!m_active)
        return;
    if (index == 0)
        fullRedraw(0);
    else if (m_mode == ScaleMode::Automatic && samplesLeftScale())
        fullRedraw(index);
    else
        addColumn(index);
}

QString TrendChart::setManualLimits(const QString &max, const QString &min)
{
    qint64 upper = 0;
    qint64 lower = 0;
    if (!parseWhole(max, upper) || !parseWhole(min, lower) || upper <= lower)
        return manualLimitsMessage();
    m_manualMax = upper;
    m_manualMin = lower;
    m_maxScaleText = QString::number(upper);
    m_minScaleText = QString::number(lower);
    return QString();
}

void TrendChart::BGColorChange(const QColor &colour)
{
    m_background = colour;
    const auto &standard = StandardColours();
    const auto found = std::find(standard.begin(), standard.end(), colour);
    constexpr auto Silver = 8; // black .. gray before it take white texts
    const bool light =
        found != standard.end() ? found - standard.begin() >= Silver : qGray(colour.rgb()) >= 160;
    m_axis = light ? QColor(Qt::black) : QColor(Qt::white);
    clearImage();
    if (m_active)
        fullRedraw(m_newest);
}

void TrendChart::ColorBox1Change(int device, const QColor &colour)
{
    if (device >= 0 && device < DeviceCount)
        m_data.device[size_t(device)].colour = colour;
}

void TrendChart::Panel1Click(int device)
{
    if (device < 0 || device >= DeviceCount)
        return;
    Device &dev = m_data.device[size_t(device)];
    if (dev.address == 0)
        return;
    dev.shown = !dev.shown;
    dev.comAddrSilver = !dev.shown;
    if (dev.shown) {
        m_active = true;
    } else {
        m_active = m_active &&
            std::any_of(m_data.device.begin(), m_data.device.end(),
                        [](const Device &d) { return d.shown; });
    }
    fullRedraw(m_newest);
}

} // namespace Recorder
