// How long the recorder window takes for one scan of ten controllers of
// duva-sim, against what the line allows, paced at 38400 and 9600 baud, RTU
// and ASCII; and how many scans a second it makes with a sampling time of
// one second.
//
//     QT_QPA_PLATFORM=offscreen bench_recorder [--scans N] [--seconds N]
//
// The window is the real RecorderForm, shown (offscreen): the ten devices'
// addresses (1 to 10) typed into their ComAddr boxes and the recording
// started by StartBt. The master's traffic goes through the tap of
// benchline.h, which timestamps every byte; the window's side is timestamped
// at the start of each scan, at the chart's update after it (the
// acquisition's chartUpdate hook, wrapped) and at each render and paint of
// the window.
//
// - Back to back: SampleTime at its longest, so that Timer1 stays out of the
//   way, and each scan started by Timer1Timer as soon as the window has
//   rendered the one before. The first scan after START draws the chart
//   whole and is shown apart; the N scans after it each add a column. A scan
//   is its ten reads of the process value (0x4700, one register), from the
//   first request's first byte to the render after the chart's update
//   (scan), against the wire time of those ten exchanges. It splits into the
//   wire time, the simulator's lateness beyond its pacing (sim+) and the
//   rest: the program's own (program). Per exchange, the program's gap is
//   from the last byte of a reply to the first byte of the next request,
//   split at the acquisition's viewChanged, which it emits once it has
//   handled the reply and put the next request into the port.
//   After the last reply: to the chart's update, the update itself (the
//   column drawn) and from there to the render. The window renders from a
//   call it posts to itself and Qt paints it from a posted update request:
//   each render is timed from the start of that call to its rendered(), each
//   paint over its update request, and either holds the next request back
//   when it starts while that request still waits in the port (the port
//   writes it when the event loop comes round to it). The next scan starts
//   inside the render that ends a scan, so its first request waits for the
//   paint after that render (Timer1Timer to the first byte); a tick of
//   Timer1 comes long after it.
// - SampleTime 1: Timer1 starts the scans, for a number of seconds: the
//   scans per second from the first scan's first byte to the last one's, the
//   time from the START click to the first scan, the period between the
//   scans and the time from Timer1's tick to the first byte on the line.
#include "benchline.h"
#include "recorder/acquisition.h"
#include "recorder/recorderform.h"
#include "recorder/trendchart.h"
#include "scripteddialogs.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QSpinBox>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <tuple>
#include <vector>

namespace {

constexpr int ReadFunction = 0x03;
constexpr int ProcessValueRegister = 0x4700;
constexpr int FirstAddress = 1;
// The models of the four classes, in turn.
constexpr int Models[] = {0x4824, 0x4848, 0x4896, 0x9696};

std::vector<std::pair<int, int>> tenControllers()
{
    std::vector<std::pair<int, int>> out;
    for (int d = 0; d < Recorder::DeviceCount; ++d)
        out.push_back({FirstAddress + d, Models[d % 4]});
    return out;
}

// The application, telling when the window is about to run a posted call
// (the form posts its renders to itself) or to paint, and when it has
// painted.
class WatchingApplication : public QApplication
{
public:
    using QApplication::QApplication;
    QObject *watched = nullptr;
    std::function<void(QEvent::Type type, bool done)> onEvent;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        const bool watch = receiver == watched && onEvent &&
            (type == QEvent::MetaCall || type == QEvent::UpdateRequest);
        if (watch)
            onEvent(type, false);
        const bool result = QApplication::notify(receiver, event);
        if (watch && onEvent)
            onEvent(type, true);
        return result;
    }
    static WatchingApplication *instance() { return static_cast<WatchingApplication *>(qApp); }
};

// The chart's update after a scan.
struct Update
{
    qint64 start = 0;
    qint64 end = 0;
    bool full = false; // drawn whole: the first scan, or a new scale
};

// A render or a paint of the window: when it started and ended, and whether
// it started with a request still in the port, which it then held back.
struct Busy
{
    qint64 start = 0;
    qint64 end = 0;
    bool held = false;
};

// What the window reported, on the tap's clock.
struct Marks
{
    qint64 startClick = 0; // StartBt
    std::vector<qint64> starts; // Timer1Timer called, or Timer1 ticked
    std::vector<Update> updates;
    std::vector<Busy> renders; // each ending at its rendered()
    std::vector<Busy> paints;
    // The acquisition's viewChanged: after each reply, once it has handled
    // it and put the next request into the port.
    std::vector<qint64> handled;
    Busy current; // the posted call or paint under way
};

// The chart's update, wrapped: the window's own stays in place.
void watch(RecorderForm &form, Marks &marks)
{
    RecorderAcquisition &acq = form.acquisition();
    const Recorder::TrendChart &chart = form.chart();
    const auto update = acq.hooks.chartUpdate;
    acq.hooks.chartUpdate = [update, &marks, &chart](qint64 index, const QString &time) {
        const auto scale = [&chart] {
            return std::tuple(chart.scaleKind(), chart.factor(), chart.base(), chart.upperLimit(),
                              chart.lowerLimit());
        };
        const auto before = scale();
        const qint64 start = nowNs();
        if (update)
            update(index, time);
        marks.updates.push_back({start, nowNs(), index == 0 || scale() != before});
    };
}

// The renders and paints of the window; `port` is found once the recording
// has opened it.
void watchRenders(RecorderForm &form, Marks &marks, QPointer<QSerialPort> &port)
{
    WatchingApplication *app = WatchingApplication::instance();
    app->watched = &form;
    app->onEvent = [&marks, &port](QEvent::Type type, bool done) {
        if (!done) {
            marks.current = {nowNs(), 0, port && port->bytesToWrite() > 0};
        } else if (type == QEvent::UpdateRequest && marks.current.start) {
            marks.current.end = nowNs();
            marks.paints.push_back(marks.current);
            marks.current = {};
        }
    };
    QObject::connect(&form, &RecorderForm::rendered, &form, [&marks] {
        Busy render = marks.current;
        render.end = nowNs();
        if (!render.start)
            render.start = render.end; // not from a posted call: its time unknown
        marks.renders.push_back(render);
        marks.current = {};
    });
}

// The window on `line`, its ten devices' addresses typed in, recording with
// `sampleTime`; what went wrong, if anything.
QString startRecording(RecorderForm &form, Marks &marks, QPointer<QSerialPort> &port,
                       int sampleTime)
{
    for (int d = 0; d < Recorder::DeviceCount; ++d)
        form.device(d).comAddr->setValue(FirstAddress + d);
    form.SampleTime->setValue(sampleTime);
    const size_t renders = marks.renders.size();
    marks.startClick = nowNs();
    form.StartBt->click();
    if (!form.acquisition().recording())
        return QStringLiteral("the recording did not start");
    port = form.ApdComPort1.findChild<QSerialPort *>();
    if (!port)
        return QStringLiteral("port did not open");
    QObject::connect(&form.acquisition(), &RecorderAcquisition::viewChanged, &form,
                     [&marks] { marks.handled.push_back(nowNs()); });
    if (!waitFor([&] { return marks.renders.size() > renders; }, 5000))
        return QStringLiteral("no render after START");
    return {};
}

// The end of the first render at or after `t`; 0 for none.
qint64 renderAfter(const Marks &marks, qint64 t)
{
    const auto it = std::lower_bound(marks.renders.begin(), marks.renders.end(), t,
                                     [](const Busy &b, qint64 at) { return b.end < at; });
    return it == marks.renders.end() ? 0 : it->end;
}

// How many of `busy` ended within [from, to], how many of those held a
// request back, and how long each took.
struct BusyCount
{
    int count = 0;
    int held = 0;
    Samples ns;
};

BusyCount countWithin(const std::vector<Busy> &busy, qint64 from, qint64 to)
{
    BusyCount out;
    for (const Busy &b : busy) {
        if (b.end < from || b.end > to)
            continue;
        ++out.count;
        out.held += b.held ? 1 : 0;
        out.ns.ns.push_back(b.end - b.start);
    }
    return out;
}

struct ScanResult
{
    QString note; // what went wrong, if anything
    int scans = 0;
    int bytes = 0; // request + reply bytes of a scan's exchanges
    int fullRedraws = 0; // of the column scans
    BusyCount renders, paints; // in the column scans
    qint64 spanStart = 0, spanEnd = 0; // the column scans: the first's start, the last's render
    qint64 wireSum = 0;
    Samples first; // the first scan: drawn whole
    Samples clickToFirstByte; // StartBt to the first scan's first byte
    Samples scan, wire, simExtra, program; // per column scan
    Samples startToFirstByte, gap; // Timer1Timer to the first byte; per exchange
    Samples toHandled, toRequest; // the gap: to the reply handled, from there to the request
    Samples toUpdate, update, updateToRender, lastToRender; // after the last reply
    // With Timer1: the period between the scans' first bytes, and the tick
    // to the first byte.
    Samples period;
    std::vector<qint64> firstBytes;
};

// The first of `times` at or after `t`; 0 for none.
qint64 firstAtOrAfter(const std::vector<qint64> &times, qint64 t)
{
    const auto it = std::lower_bound(times.begin(), times.end(), t);
    return it == times.end() ? 0 : *it;
}

// The scans on the line: each the ten reads of the devices in order, between
// the chart's update before it and its own.
void analyse(const std::vector<Transaction> &ts, const Marks &marks, bool rtu, int baud,
             ScanResult &out)
{
    size_t k = 0;
    qint64 previousUpdate = 0;
    for (size_t s = 0; s < marks.updates.size(); ++s) {
        const Update &u = marks.updates[s];
        std::vector<const Transaction *> ex;
        for (; k < ts.size() && ts[k].requestStart <= u.start; ++k)
            if (ts[k].requestStart > previousUpdate)
                ex.push_back(&ts[k]);
        previousUpdate = u.end;
        if (int(ex.size()) != Recorder::DeviceCount) {
            out.note = QStringLiteral("scan %1: %2 exchanges on the line").arg(s).arg(ex.size());
            return;
        }
        double wireS = 0;
        qint64 busy = 0;
        int bytes = 0;
        for (int d = 0; d < Recorder::DeviceCount; ++d) {
            const Transaction &t = *ex[size_t(d)];
            const RequestHead h = headOf(t.request, rtu);
            if (h.address != FirstAddress + d || h.function != ReadFunction ||
                h.reg != ProcessValueRegister || h.word != 1) {
                out.note = QStringLiteral("scan %1, exchange %2: %3")
                               .arg(s)
                               .arg(d)
                               .arg(QString::fromLatin1(t.request.toHex()));
                return;
            }
            wireS += wireSeconds(t, baud);
            busy += t.replyEnd - t.requestStart;
            bytes += t.requestBytes + t.replyBytes;
        }
        const qint64 firstByte = ex.front()->requestStart;
        const qint64 lastByte = ex.back()->replyEnd;
        const qint64 shown = renderAfter(marks, u.end);
        if (!shown) {
            out.note = QStringLiteral("scan %1: no render after it").arg(s);
            return;
        }
        const qint64 wire = qint64(wireS * 1e9);
        const qint64 scan = shown - firstByte;
        out.firstBytes.push_back(firstByte);
        if (s == 0) {
            out.clickToFirstByte.ns.push_back(firstByte - marks.startClick);
            out.first.ns.push_back(scan);
            out.first.ratio.push_back(double(scan) / double(wire));
            continue;
        }
        // The start of this scan: the last before its first byte.
        const auto startIt = std::upper_bound(marks.starts.begin(), marks.starts.end(), firstByte);
        if (startIt != marks.starts.begin())
            out.startToFirstByte.ns.push_back(firstByte - *std::prev(startIt));
        if (out.scans == 0)
            out.spanStart = startIt != marks.starts.begin() ? *std::prev(startIt) : firstByte;
        out.spanEnd = shown;
        out.bytes = bytes;
        out.wireSum += wire;
        out.scan.ns.push_back(scan);
        out.scan.ratio.push_back(double(scan) / double(wire));
        out.wire.ns.push_back(wire);
        out.simExtra.ns.push_back(busy - wire);
        out.program.ns.push_back(scan - busy);
        for (size_t d = 1; d < ex.size(); ++d) {
            const qint64 replyEnd = ex[d - 1]->replyEnd;
            const qint64 requestStart = ex[d]->requestStart;
            out.gap.ns.push_back(requestStart - replyEnd);
            const qint64 handled = firstAtOrAfter(marks.handled, replyEnd);
            if (handled && handled <= requestStart) {
                out.toHandled.ns.push_back(handled - replyEnd);
                out.toRequest.ns.push_back(requestStart - handled);
            }
        }
        out.toUpdate.ns.push_back(u.start - lastByte);
        out.update.ns.push_back(u.end - u.start);
        out.updateToRender.ns.push_back(shown - u.end);
        out.lastToRender.ns.push_back(shown - lastByte);
        out.fullRedraws += u.full ? 1 : 0;
        ++out.scans;
    }
    out.renders = countWithin(marks.renders, out.spanStart, out.spanEnd);
    out.paints = countWithin(marks.paints, out.spanStart, out.spanEnd);
    for (size_t i = 1; i < out.firstBytes.size(); ++i)
        out.period.ns.push_back(out.firstBytes[i] - out.firstBytes[i - 1]);
}

// The window, recording the ten controllers on one line.
class Session
{
public:
    Session(bool rtu, int baud)
        : line(rtu, baud, true, tenControllers())
        , m_rtu(rtu)
        , m_baud(baud)
    { }

    // Records with `sampleTime` and runs `drive` meanwhile; then stops and
    // reads the tap's record.
    template<typename Drive>
    ScanResult run(int sampleTime, Drive drive)
    {
        ScanResult result;
        if (!line.ok()) {
            result.note = QStringLiteral("simulator did not start");
            return result;
        }
        {
            ScriptedDialogs dialogs;
            RecorderForm form(nullptr, line.source());
            form.showWindow();
            spin(100); // shown and painted once
            watch(form, marks);
            watchRenders(form, marks, m_port);
            result.note = startRecording(form, marks, m_port, sampleTime);
            if (result.note.isEmpty())
                result.note = drive(form);
            if (result.note.isEmpty() && !dialogs.shown.isEmpty())
                result.note = QStringLiteral("box shown: %1").arg(dialogs.shown.first().text);
            if (form.acquisition().recording())
                form.StartBt->click();
            spin(200); // the last exchange ends on the line before the tap stops
            WatchingApplication::instance()->onEvent = nullptr;
            WatchingApplication::instance()->watched = nullptr;
            m_port = nullptr;
            form.endWork();
        }
        line.tap.stop();
        if (result.note.isEmpty())
            analyse(transactionsOf(line.tap), marks, m_rtu, m_baud, result);
        return result;
    }

    PolledLine line;
    Marks marks;

private:
    bool m_rtu;
    int m_baud;
    QPointer<QSerialPort> m_port; // the channel deletes it when it closes
};

// The first scan and `scans` more, each started as soon as the window has
// rendered the one before.
ScanResult runBackToBack(bool rtu, int baud, int scans)
{
    Session session(rtu, baud);
    Marks &marks = session.marks;
    return session.run(RecorderAcquisition::MaxSampleSeconds, [&](RecorderForm &form) {
        RecorderAcquisition &acq = form.acquisition();
        const size_t wanted = size_t(scans) + 1;
        size_t rendered = 0; // the scans whose render has started the next one
        const QMetaObject::Connection next =
            QObject::connect(&form, &RecorderForm::rendered, &form, [&] {
                if (marks.updates.size() > rendered && marks.starts.size() < wanted) {
                    rendered = marks.updates.size();
                    marks.starts.push_back(nowNs());
                    acq.Timer1Timer();
                }
            });
        pause(50);
        marks.starts.push_back(nowNs());
        acq.Timer1Timer();
        const bool done = waitFor(
            [&] {
                return marks.updates.size() >= wanted &&
                    renderAfter(marks, marks.updates.back().end) != 0;
            },
            60000 + scans * 2000);
        QObject::disconnect(next);
        if (!done)
            return QStringLiteral("%1 of %2 scans completed").arg(marks.updates.size()).arg(wanted);
        return QString();
    });
}

// Timer1 starts the scans, every second, for `seconds`.
ScanResult runSampled(bool rtu, int baud, int seconds)
{
    Session session(rtu, baud);
    Marks &marks = session.marks;
    return session.run(1, [&](RecorderForm &form) {
        QObject::connect(&form.acquisition().timer1(), &QTimer::timeout, &form,
                         [&marks] { marks.starts.push_back(nowNs()); });
        spin(seconds * 1000 + 1000); // the last tick's scan completed
        return QString();
    });
}

void printNote(const QString &note)
{
    if (!note.isEmpty())
        std::printf("  !! %s\n", qPrintable(note));
}

void printBackToBack(bool rtu, int baud, const ScanResult &r)
{
    std::printf("%s %d baud, 8N1: a character %.3f ms, the simulator's turnaround %d ms\n",
                rtu ? "RTU" : "ASCII", baud, characterSeconds(baud) * 1e3, TurnaroundMs);
    printNote(r.note);
    if (r.scans > 0) {
        const double perSecond = r.scans / (double(r.spanEnd - r.spanStart) / 1e9);
        const double limit = r.scans / (double(r.wireSum) / 1e9);
        std::printf("  back to back: %d scans of ten exchanges (%d bytes): %.2f scans/s; wire "
                    "limit %.2f scans/s (%.0f %%)\n",
                    r.scans, r.bytes, perSecond, limit, 100.0 * perSecond / limit);
        std::printf("  renders %.1f a scan, %d of %d holding a request back; paints %.1f a scan, "
                    "%d of %d holding one back\n  the chart drawn whole after the first scan: %d "
                    "time%s (a new scale)\n",
                    double(r.renders.count) / r.scans, r.renders.held, r.renders.count,
                    double(r.paints.count) / r.scans, r.paints.held, r.paints.count, r.fullRedraws,
                    r.fullRedraws == 1 ? "" : "s");
    }
    printSamplesHeading("x wire");
    printSamples("first scan after START (drawn whole)", r.first, 2);
    printSamples("scan: first byte to the render after it", r.scan, 2);
    printSamples("  wire", r.wire, 2);
    printSamples("  sim+", r.simExtra, 2);
    printSamples("  program", r.program, 2);
    printSamples("Timer1Timer to the first byte", r.startToFirstByte, 2);
    printSamples("per exchange, program: reply to request", r.gap, 2);
    printSamples("  to the reply handled, request in port", r.toHandled, 2);
    printSamples("  from there to the request's first byte", r.toRequest, 2);
    printSamples("last reply byte to the render", r.lastToRender, 2);
    printSamples("  to the chart's update", r.toUpdate, 2);
    printSamples("  the update (the column drawn)", r.update, 2);
    printSamples("  the update to the render", r.updateToRender, 2);
    printSamples("a render of the window", r.renders.ns, 2);
    printSamples("a paint of the window", r.paints.ns, 2);
    std::printf("\n");
    std::fflush(stdout);
}

void printSampled(bool rtu, int baud, int seconds, const ScanResult &r)
{
    std::printf("SampleTime 1 s, Timer1 starting the scans for %d s, %s %d baud:\n", seconds,
                rtu ? "RTU" : "ASCII", baud);
    printNote(r.note);
    const size_t n = r.firstBytes.size();
    if (n >= 2) {
        const double spanS = double(r.firstBytes.back() - r.firstBytes.front()) / 1e9;
        const auto [shortest, longest] =
            std::minmax_element(r.period.ns.begin(), r.period.ns.end());
        std::printf("  %zu scans, %.2f scans/s (first byte of the first scan to that of the "
                    "last); periods from %.2f to %.2f ms\n",
                    n, double(n - 1) / spanS, double(*shortest) / 1e6, double(*longest) / 1e6);
    }
    printSamplesHeading("x wire");
    printSamples("START to the first scan's first byte", r.clickToFirstByte, 2);
    printSamples("period: first byte to first byte", r.period, 2);
    printSamples("Timer1's tick to the first byte", r.startToFirstByte, 2);
    printSamples("scan: first byte to the render after it", r.scan, 2);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    WatchingApplication app(argc, argv);
    const int scans = option(app.arguments(), "--scans", 20);
    const int seconds = option(app.arguments(), "--seconds", 10);

    std::printf("The recorder window scanning ten controllers of duva-sim (addresses 1 to 10), "
                "paced.\nwire = (request + reply bytes) x character time + turnaround, summed "
                "over the scan's ten exchanges;\nmedian and worst as multiples are of the wire "
                "time.\n\n");
    for (const int baud : {38400, 9600})
        for (const bool rtu : {true, false})
            printBackToBack(rtu, baud, runBackToBack(rtu, baud, scans));
    printSampled(false, 9600, seconds, runSampled(false, 9600, seconds));
    return 0;
}
