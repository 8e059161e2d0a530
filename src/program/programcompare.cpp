#include "program/programcompare.h"

#include "program/programwalk.h"
#include "ui/canvas.h"

#include <QFont>
#include <algorithm>
#include <cmath>

namespace ProgramCompare {

namespace {

using Program = RampSoakProgram;

const QColor PlannedColour(0, 0, 255);
const QColor ActualColour(200, 0, 0);
const QColor AfterColour(150, 150, 150);
const QColor BandColour(0, 160, 0);
const QColor GridColour(220, 220, 220);
const QColor MarkColour(255, 0, 255);

constexpr int Left = 52;
constexpr int Right = 10;
constexpr int Top = 8;
constexpr int Bottom = 20;

double ToTenths(qint32 raw, int decimals)
{
    switch (decimals) {
    case 0:
        return raw * 10.0;
    case 2:
        return raw / 10.0;
    case 3:
        return raw / 100.0;
    default:
        return raw;
    }
}

QString ScaleName(int decimals)
{
    switch (decimals) {
    case 0:
        return QStringLiteral("whole units");
    case 2:
        return QStringLiteral("hundredths");
    case 3:
        return QStringLiteral("thousandths");
    default:
        return QStringLiteral("tenths");
    }
}

QString Units(double tenths, int decimals = 1)
{
    double units = tenths / 10.0;
    if (std::abs(units) < 0.5 * std::pow(10.0, -decimals))
        units = 0; // no "-0.0"
    return QString::number(units, 'f', decimals);
}

// Draws a series of points as joined lines, one vertical line per column
// for all the points that fall on it: a day of samples on 640 columns costs
// about as many lines as columns, and the picture is the same.
class Polyline
{
public:
    Polyline(Canvas &canvas, int width, DotStyle style = DotStyle::Solid)
        : m_canvas(canvas)
        , m_width(width)
        , m_style(style)
    { }
    ~Polyline() { flush(); }

    void to(QPoint p, const QColor &colour)
    {
        if (m_open && p.x() == m_last.x() && colour == m_colour) {
            m_low = std::min(m_low, p.y());
            m_high = std::max(m_high, p.y());
            m_last = p;
            return;
        }
        flush();
        if (m_open)
            m_canvas.line(m_last, p, colour, m_width, m_style);
        m_open = true;
        m_colour = colour;
        m_low = m_high = p.y();
        m_last = p;
    }
    // The next point starts anew: a gap.
    void lift()
    {
        flush();
        m_open = false;
    }

private:
    void flush()
    {
        if (m_open)
            m_canvas.line({m_last.x(), m_low}, {m_last.x(), m_high}, m_colour, m_width, m_style);
    }

    Canvas &m_canvas;
    int m_width;
    DotStyle m_style;
    bool m_open = false;
    QPoint m_last;
    QColor m_colour;
    int m_low = 0;
    int m_high = 0;
};

} // namespace

QString ElapsedText(qint64 seconds)
{
    const qint64 days = seconds / 86400;
    const qint64 rest = seconds % 86400;
    const QString text = QStringLiteral("%1:%2:%3")
                             .arg(rest / 3600)
                             .arg(rest / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(rest % 60, 2, 10, QLatin1Char('0'));
    return days > 0 ? QStringLiteral("%1 d %2").arg(days).arg(text) : text;
}

QString SignedUnits(double tenths)
{
    const QString text = Units(tenths);
    return text.startsWith(QLatin1Char('-')) || text == QLatin1String("0.0")
        ? text
        : QLatin1Char('+') + text;
}

QList<int> Recording::devices() const
{
    QList<int> list;
    for (int d = 0; d < Devices; ++d)
        if (addresses[size_t(d)] != 0)
            list << d;
    return list;
}

Result compare(const Program &program, const Recording &recording, const Settings &settings)
{
    using State = Sample::State;
    Result result;
    const qint64 first = settings.startRecord;
    const int device = settings.device;
    if (first < 0 || first >= recording.count() || device < 0 || device >= Devices ||
        recording.addresses[size_t(device)] == 0) {
        result.notes << QStringLiteral("No such record or device in the recording.");
        return result;
    }
    const auto raw = [&](qint64 r) { return recording.values.at(r)[size_t(device)]; };
    const auto missing = [&](qint64 r) { return raw(r) == MissingValue; };
    const auto tenths = [&](qint64 r) { return ToTenths(raw(r), settings.recordDecimals); };

    if (settings.recordDecimals != 1)
        result.notes << QStringLiteral("The recorded values are taken as %1 (%2 decimals) and "
                                       "shown in tenths, as the program holds its set values.")
                            .arg(ScaleName(settings.recordDecimals))
                            .arg(settings.recordDecimals);

    // The program's own length: a chain that links back runs for ever,
    // unless its loop holds no time.
    const ProgramWalk::Chain chain = ProgramWalk::WalkChain(program);
    const bool endless = chain.loops() && chain.total - chain.leadIn(program) > 0;
    result.programSeconds = endless ? -1 : chain.total * 60;

    std::optional<qint64> startValue;
    if (!missing(first)) {
        startValue = std::llround(tenths(first));
        result.notes << QStringLiteral("The first step starts from the recorded %1 at the "
                                       "start, as the controller starts its program from the "
                                       "process value.")
                            .arg(Units(double(*startValue)));
    } else {
        result.notes << QStringLiteral("The start record holds no value: the first step is "
                                       "taken from its own set value.");
    }
    ProgramWalk::Steps walk(program, startValue);
    ProgramWalk::Segment seg;
    const bool any = walk.next(seg);
    bool ended = !any;
    if (!any)
        result.notes << QStringLiteral("The program holds no time: nothing to compare.");

    const QDateTime startMoment = recording.moments.at(first);
    const int sampleTime = std::max(1, recording.sampleTime);
    qint64 previous = 0;
    int unstamped = 0;
    double sums[Program::Steps] = {};
    int counts[Program::Steps] = {};
    int order[Program::Steps];
    std::fill(std::begin(order), std::end(order), -1);
    int ordered = 0;
    result.samples.reserve(recording.count() - first);
    for (qint64 r = first; r < recording.count(); ++r) {
        Sample s;
        s.moment = recording.moments.at(r);
        qint64 secs = 0;
        if (r > first) {
            secs = startMoment.isValid() && s.moment.isValid() ? startMoment.secsTo(s.moment) : -1;
            if (secs < previous) {
                // No stamp, or one behind the last (the clock was set back):
                // placed by the sample time.
                secs = previous + sampleTime;
                ++unstamped;
            }
        }
        previous = secs;
        s.seconds = secs;
        while (!ended && secs >= seg.end * 60) {
            ProgramWalk::Segment next;
            if (walk.next(next))
                seg = next;
            else
                ended = true;
        }
        if (any && (!ended || secs == seg.end * 60)) {
            const double length = double(seg.end - seg.start) * 60.0;
            const double into = double(secs) - double(seg.start) * 60.0;
            s.planned = double(seg.from) + double(seg.to - seg.from) * std::min(1.0, into / length);
            s.pattern = seg.pattern;
            s.step = seg.step;
        } else {
            s.state = State::AfterEnd;
        }
        if (missing(r)) {
            if (s.state != State::AfterEnd)
                s.state = State::Missing;
            ++(s.state == State::Missing ? result.missing : result.afterEnd);
        } else {
            s.actual = tenths(r);
            if (s.state == State::AfterEnd) {
                ++result.afterEnd;
            } else {
                ++result.compared;
                const double dev = s.deviation();
                if (result.largestAt < 0 || std::abs(dev) > std::abs(result.largest)) {
                    result.largest = dev;
                    result.largestAt = int(result.samples.size());
                }
                if (std::abs(dev) > settings.toleranceTenths) {
                    ++result.outside;
                    result.outsideSeconds += sampleTime;
                }
                const int k = Program::index(s.pattern, s.step);
                sums[k] += dev;
                ++counts[k];
                if (order[k] < 0)
                    order[k] = ordered++;
            }
        }
        result.samples.append(s);
    }
    QList<int> byOrder(ordered);
    for (int k = 0; k < Program::Steps; ++k)
        if (order[k] >= 0)
            byOrder[order[k]] = k;
    for (int k : byOrder)
        result.steps.append({k / Program::StepsPerPattern, k % Program::StepsPerPattern,
                             sums[k] / counts[k], counts[k]});

    const qint64 last = result.samples.isEmpty() ? 0 : result.samples.last().seconds;
    if (any && result.programSeconds < 0)
        result.notes << QStringLiteral("The program runs without end: it is compared over the "
                                       "%1 recorded.")
                            .arg(ElapsedText(last));
    else if (any && last < result.programSeconds)
        result.notes << QStringLiteral("The recording ends %1 into the program, which runs %2: "
                                       "the rest of the program is not compared.")
                            .arg(ElapsedText(last), ElapsedText(result.programSeconds));
    if (any && result.afterEnd > 0)
        result.notes << QStringLiteral("The recording goes on for %1 after the program's end "
                                       "(%2): not compared, drawn in grey.")
                            .arg(ElapsedText(last - result.programSeconds),
                                 result.afterEnd == 1
                                     ? QStringLiteral("1 record")
                                     : QStringLiteral("%1 records").arg(result.afterEnd));
    if (result.missing > 0)
        result.notes << QStringLiteral("%1 %2 no value (E) for device %3: not compared, left out "
                                       "of the chart.")
                            .arg(result.missing)
                            .arg(result.missing == 1 ? QStringLiteral("record holds")
                                                     : QStringLiteral("records hold"))
                            .arg(device + 1);
    if (unstamped > 0)
        result.notes << QStringLiteral("%1 records have no usable time stamp: placed by the "
                                       "sample time of %2 s.")
                            .arg(unstamped)
                            .arg(sampleTime);
    if (!recording.damaged.isEmpty())
        result.notes << recording.damaged;
    return result;
}

QByteArray csv(const Result &result)
{
    QByteArray out = "Time,Planned,Actual,Deviation\r\n";
    for (const Sample &s : result.samples) {
        if (s.moment.isValid())
            out += s.moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
        out += ',';
        if (s.state != Sample::State::AfterEnd)
            out += Units(s.planned, 2).toLatin1();
        out += ',';
        if (s.state != Sample::State::Missing)
            out += Units(s.actual, 2).toLatin1();
        out += ',';
        if (s.state == Sample::State::Compared)
            out += Units(s.deviation(), 2).toLatin1();
        out += "\r\n";
    }
    return out;
}

void draw(const Result &result, int toleranceTenths, Canvas &canvas)
{
    if (canvas.size() != ChartSize)
        canvas.resize(ChartSize);
    canvas.clear(Qt::white);
    const QRect plot(QPoint(Left, Top),
                     QPoint(ChartSize.width() - Right, ChartSize.height() - Bottom));
    canvas.fillRect(QRect(plot.left() - 1, plot.top() - 1, plot.width() + 2, plot.height() + 2),
                    Qt::black);
    canvas.fillRect(plot, Qt::white);
    QFont font;
    font.setPixelSize(11);
    if (result.samples.isEmpty())
        return;

    // The value range: the band and every recorded value.
    double low = 0;
    double high = 0;
    bool first = true;
    const auto widen = [&](double v) {
        low = first ? v : std::min(low, v);
        high = first ? v : std::max(high, v);
        first = false;
    };
    for (const Sample &s : result.samples) {
        if (s.state != Sample::State::AfterEnd) {
            widen(s.planned - toleranceTenths);
            widen(s.planned + toleranceTenths);
        }
        if (s.state != Sample::State::Missing)
            widen(s.actual);
    }
    if (high - low < 10) {
        high += 5;
        low -= 5;
    }
    const double span = std::max<qint64>(1, result.samples.last().seconds);
    const auto x = [&](qint64 secs) {
        return plot.left() + int(std::lround(double(secs) / span * (plot.width() - 1)));
    };
    const auto y = [&](double tenths) {
        return plot.bottom() -
            int(std::lround((tenths - low) / (high - low) * (plot.height() - 1)));
    };

    // Grid and labels: four value lines, the start and the end.
    for (int i = 0; i <= 4; ++i) {
        const double v = low + (high - low) * i / 4;
        const int yy = y(v);
        if (i > 0 && i < 4)
            canvas.line({plot.left(), yy}, {plot.right(), yy}, GridColour);
        canvas.text(QPoint(2, std::clamp(yy - 7, 0, ChartSize.height() - 14)), Units(v), Qt::black,
                    font);
    }
    canvas.text({plot.left(), plot.bottom() + 4}, QStringLiteral("0:00:00"), Qt::black, font);
    const QString end = ElapsedText(result.samples.last().seconds);
    canvas.text({plot.right() - 7 * int(end.size()), plot.bottom() + 4}, end, Qt::black, font);

    // The band, the plan, then what was recorded over it.
    for (int side : {-1, 1}) {
        Polyline band(canvas, 1, DotStyle::Dotted);
        for (const Sample &s : result.samples) {
            if (s.state == Sample::State::AfterEnd)
                break;
            band.to({x(s.seconds), y(s.planned + side * toleranceTenths)}, BandColour);
        }
    }
    {
        Polyline planned(canvas, 2);
        for (const Sample &s : result.samples) {
            if (s.state == Sample::State::AfterEnd)
                break;
            planned.to({x(s.seconds), y(s.planned)}, PlannedColour);
        }
    }
    {
        Polyline actual(canvas, 1);
        for (const Sample &s : result.samples) {
            if (s.state == Sample::State::Missing)
                actual.lift();
            else
                actual.to({x(s.seconds), y(s.actual)},
                          s.state == Sample::State::AfterEnd ? AfterColour : ActualColour);
        }
    }
    if (result.largestAt >= 0) {
        const Sample &s = result.samples.at(result.largestAt);
        canvas.line({x(s.seconds), y(s.planned)}, {x(s.seconds), y(s.actual)}, MarkColour, 1,
                    DotStyle::Dashed);
    }
}

} // namespace ProgramCompare
