#include "program/programcompare.h"

#include "program/programwalk.h"
#include "ui/canvas.h"

#include <QFont>
#include <algorithm>
#include <cmath>
#include <optional>

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

QList<qint64> RecordSeconds(const Recording &recording)
{
    QList<qint64> seconds;
    seconds.reserve(recording.count());
    const int sampleTime = std::max(1, recording.sampleTime);
    const QDateTime origin = recording.moments.isEmpty() ? QDateTime() : recording.moments.first();
    qint64 previous = 0;
    for (qint64 r = 0; r < recording.count(); ++r) {
        qint64 secs = 0;
        if (r > 0) {
            const QDateTime &moment = recording.moments.at(r);
            secs = origin.isValid() && moment.isValid() ? origin.secsTo(moment) : -1;
            if (secs < previous)
                secs = previous + sampleTime;
        }
        seconds.append(secs);
        previous = secs;
    }
    return seconds;
}

namespace {

// The planned profile as a function of the time from the program's start,
// for a start value that each candidate start gives anew.
class Plan
{
public:
    // The steps up to `horizon` seconds (at most `limit` of them).
    Plan(const Program &program, qint64 horizon, int limit = 100000)
    {
        ProgramWalk::Steps walk(program, qint64(0));
        ProgramWalk::Segment seg;
        while (m_segments.size() < limit && walk.next(seg)) {
            m_segments.append(seg);
            if (seg.end * 60 >= horizon)
                return;
        }
        m_holding = walk.holding();
        m_last = walk.value();
    }
    bool empty() const { return m_segments.isEmpty() && !m_holding; }
    // Where the first step goes.
    std::optional<qint64> firstTarget() const
    {
        return m_segments.isEmpty() ? std::optional<qint64>() : m_segments.first().to;
    }
    // The planned value at `secs`, the first step ramping from `startValue`;
    // false past the program's end.
    bool at(qint64 secs, double startValue, double &out) const
    {
        const auto it = std::lower_bound(
            m_segments.begin(), m_segments.end(), secs,
            [](const ProgramWalk::Segment &s, qint64 t) { return s.end * 60 < t; });
        if (it == m_segments.end()) {
            if (!m_holding)
                return false;
            out = m_segments.isEmpty() ? startValue : double(m_last);
            return true;
        }
        const double from = it == m_segments.begin() ? startValue : double(it->from);
        const double length = double(it->end - it->start) * 60.0;
        const double into = double(secs) - double(it->start) * 60.0;
        out = from + (double(it->to) - from) * std::clamp(into / length, 0.0, 1.0);
        return true;
    }

private:
    QList<ProgramWalk::Segment> m_segments;
    bool m_holding = false;
    qint64 m_last = 0;
};

} // namespace

qint64 FindStart(const Program &program, const Recording &recording, const Settings &settings)
{
    const qint64 count = recording.count();
    const int device = settings.device;
    if (count < 2 || device < 0 || device >= Devices)
        return 0;
    const QList<qint64> times = RecordSeconds(recording);
    const qint64 span = times.last();
    const ProgramWalk::Chain chain = ProgramWalk::WalkChain(program);
    // The time over which a start is judged: the program's, or for one
    // without end its lead-in and one loop, but no more than recorded.
    qint64 window = chain.total * 60;
    if (chain.loopHoldsNoTime(program))
        window += 600;
    if (window <= 0 || window > span)
        window = span;
    if (window <= 0)
        return 0;
    const Plan plan(program, window);
    if (plan.empty())
        return 0;
    const auto value = [&](qint64 r) {
        const qint32 raw = recording.values.at(r)[size_t(device)];
        return raw == MissingValue ? std::optional<double>()
                                   : std::optional<double>(ToTenths(raw, settings.recordDecimals));
    };
    // The mean deviation over evenly spread points of the window; a start
    // that leaves less than half of the window in the recording, or holds
    // too few values, is not a candidate.
    constexpr int Points = 64;
    const auto score = [&](qint64 r) -> std::optional<double> {
        const std::optional<double> start = value(r);
        if (!start || times.at(r) + window / 2 > span)
            return {};
        double sum = 0;
        int n = 0;
        qint64 at = r;
        for (int j = 0; j < Points; ++j) {
            const qint64 t = times.at(r) + window * j / (Points - 1);
            if (t > span)
                break;
            at = std::lower_bound(times.begin() + at, times.end(), t) - times.begin();
            const std::optional<double> actual = value(at);
            double planned = 0;
            if (!actual || !plan.at(times.at(at) - times.at(r), *start, planned))
                continue;
            sum += std::abs(*actual - planned);
            ++n;
        }
        if (n < Points / 4)
            return {};
        return sum / n;
    };
    // Every record of a short recording; of a long one, every stride-th,
    // then each record around the best of those.
    const qint64 stride = std::max<qint64>(1, count / 2000);
    qint64 best = 0;
    std::optional<double> bestScore;
    const auto consider = [&](qint64 r) {
        const std::optional<double> s = score(r);
        if (s && (!bestScore || *s < *bestScore - 1e-9 || (*s < *bestScore + 1e-9 && r < best))) {
            bestScore = s;
            best = r;
        }
    };
    for (qint64 r = 0; r < count; r += stride)
        consider(r);
    if (stride > 1) {
        const qint64 around = best;
        for (qint64 r = std::max<qint64>(0, around - stride); r < std::min(count, around + stride);
             ++r)
            consider(r);
    }
    // The process lags its set value, so the plan fits best a little after
    // the real start: go back over the records where the value was already
    // on its way to the first step's set value (a value read twice in a row
    // is passed over), to the last one it had not yet left.
    if (const std::optional<qint64> target = plan.firstTarget(); target && value(best)) {
        const double direction = double(*target) - *value(best);
        const auto behind = [&](qint64 earlier, qint64 later) {
            return direction > 0 ? *value(earlier) < *value(later)
                                 : *value(earlier) > *value(later);
        };
        constexpr int Repeats = 3;
        while (direction != 0) {
            qint64 step = 0;
            for (qint64 j = 1; j <= Repeats && best - j >= 0 && value(best - j); ++j) {
                if (behind(best - j, best)) {
                    step = j;
                    break;
                }
                if (*value(best - j) != *value(best))
                    break; // ahead of it: the value was not on its way
            }
            if (step == 0)
                break;
            best -= step;
        }
    }
    return best;
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
    result.startRecord = first;
    const auto raw = [&](qint64 r) { return recording.values.at(r)[size_t(device)]; };
    const auto missing = [&](qint64 r) { return raw(r) == MissingValue; };
    const auto tenths = [&](qint64 r) { return ToTenths(raw(r), settings.recordDecimals); };
    const QList<qint64> times = RecordSeconds(recording);
    const qint64 origin = times.at(first);

    if (settings.recordDecimals != 1)
        result.notes << QStringLiteral("The recorded values are taken as %1 (%2 decimals) and "
                                       "shown in tenths, as the program holds its set values.")
                            .arg(ScaleName(settings.recordDecimals))
                            .arg(settings.recordDecimals);

    // The program's own length: a chain that links back runs for ever, and
    // so does one whose loop holds no time (it holds its set value).
    const ProgramWalk::Chain chain = ProgramWalk::WalkChain(program);
    result.programSeconds = chain.loops() ? -1 : chain.total * 60;

    for (qint64 r = 0; r < first; ++r)
        result.before.append({times.at(r) - origin, missing(r) ? 0.0 : tenths(r), missing(r)});
    if (first > 0)
        result.notes << QStringLiteral("The recording begins %1 (%2 %3) before the program's "
                                       "start: drawn in grey, not compared.")
                            .arg(ElapsedText(origin), QString::number(first),
                                 first == 1 ? QStringLiteral("record") : QStringLiteral("records"));

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
    if (!any && !walk.holding())
        result.notes << QStringLiteral("The program holds no time: nothing to compare.");

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
        const qint64 secs = times.at(r) - origin;
        const QDateTime &zero = recording.moments.first();
        if (r > first &&
            (!s.moment.isValid() || !zero.isValid() || zero.secsTo(s.moment) != times.at(r)))
            ++unstamped;
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
        } else if (walk.holding()) {
            // Round a loop that holds no time: the set value stays.
            s.planned = double(walk.value());
            s.pattern = any ? seg.pattern : program.StartPattern;
            s.step = any ? seg.step : 0;
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
                    // The time this sample stands for: up to the next
                    // record's time stamp.
                    ++result.outside;
                    result.outsideSeconds += r + 1 < recording.count()
                        ? times.at(r + 1) - times.at(r)
                        : std::max(1, recording.sampleTime);
                }
                const int k = Program::index(std::clamp(s.pattern, 0, Program::Patterns - 1),
                                             std::clamp(s.step, 0, Program::StepsPerPattern - 1));
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
    if (chain.loopHoldsNoTime(program))
        result.notes << QStringLiteral("The program reaches a loop that holds no time %1 into "
                                       "it and holds its set value from then on, without end.")
                            .arg(ElapsedText(chain.leadIn(program) * 60));
    else if (any && result.programSeconds < 0)
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
                            .arg(std::max(1, recording.sampleTime));
    if (!recording.damaged.isEmpty())
        result.notes << recording.damaged;
    return result;
}

QByteArray csv(const Result &result)
{
    QByteArray out = "Time,Planned,Actual,Deviation\r\n";
    // The local time's offset, asked of the system once an hour of moments
    // (each asking costs a look at the time-zone file).
    qint64 hour = -1;
    int offset = 0;
    for (const Sample &s : result.samples) {
        if (s.moment.isValid()) {
            const qint64 ms = s.moment.toMSecsSinceEpoch();
            if (ms / 3600000 != hour) {
                hour = ms / 3600000;
                offset = s.moment.toLocalTime().offsetFromUtc();
            }
            out += QDateTime::fromMSecsSinceEpoch(ms + qint64(offset) * 1000, Qt::UTC)
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                       .toLatin1();
        }
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
    for (const Before &b : result.before)
        if (!b.missing)
            widen(b.actual);
    const qint64 from = result.before.isEmpty() ? 0 : result.before.first().seconds;
    const double span = std::max<qint64>(1, result.samples.last().seconds - from);
    const auto x = [&](qint64 secs) {
        return plot.left() + int(std::lround(double(secs - from) / span * (plot.width() - 1)));
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
    canvas.text({plot.left(), plot.bottom() + 4},
                from < 0 ? QStringLiteral("-") + ElapsedText(-from) : QStringLiteral("0:00:00"),
                Qt::black, font);
    if (from < 0) {
        // The program's start, where a click on the chart moves it.
        canvas.line({x(0), plot.top()}, {x(0), plot.bottom()}, MarkColour, 1, DotStyle::Dotted);
        canvas.text({x(0) + 3, plot.bottom() + 4}, QStringLiteral("start"), Qt::black, font);
    }
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
        for (const Before &b : result.before) {
            if (b.missing)
                actual.lift();
            else
                actual.to({x(b.seconds), y(b.actual)}, AfterColour);
        }
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

qint64 RecordAtChartX(const Result &result, int x)
{
    if (result.samples.isEmpty())
        return 0;
    const int left = Left;
    const int width = ChartSize.width() - Right - Left + 1;
    const qint64 from = result.before.isEmpty() ? 0 : result.before.first().seconds;
    const double span = std::max<qint64>(1, result.samples.last().seconds - from);
    const double secs = double(from) + double(x - left) / double(width - 1) * span;
    // The record nearest to that time.
    qint64 best = 0;
    double bestDistance = -1;
    qint64 r = 0;
    const auto look = [&](qint64 seconds) {
        const double d = std::abs(double(seconds) - secs);
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = r;
        }
        ++r;
    };
    for (const Before &b : result.before)
        look(b.seconds);
    for (const Sample &s : result.samples)
        look(s.seconds);
    return best;
}

} // namespace ProgramCompare
