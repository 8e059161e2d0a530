// How long the monitor window takes to write a parameter file to a
// controller and, by broadcast, to every controller, against what the line
// allows, with duva-sim paced at 38400 and 9600 baud, RTU and ASCII.
//
//     QT_QPA_PLATFORM=offscreen bench_writeall [--runs N] [--broadcasts N]
//
// The window is the real MonitorForm, shown (offscreen): its slots connected
// through their widgets, the file opened through OpenBt (the open-file
// dialog answered by the scripted dialogs of the tests), and the batch
// started by WriteBt or WrAllBt. The master's traffic goes through the tap
// of benchline.h, which timestamps every byte; the window's side is
// timestamped at the click, at each item the engine reports done and at the
// batch's end. Between two batches the window reads the controller back, as
// after every batch, and goes on polling for a while, so that the clicks
// fall at different points of the polling.
//
// - Write to the controller (WriteBt), one controller, files in control
//   modes 0, 2 and 3 (39, 41 and 38 writes, each confirmed by its echo): from
//   the click to the batch's end (total), against the wire time of the
//   batch's exchanges. It splits into the line's time after the click of the
//   polling exchange the batch waits for (in flight; its request may still
//   have been in the port at the click), the wire time of the writes,
//   the simulator's lateness beyond its pacing (sim+) and the rest: the
//   program's own (program). Per exchange, the program's gap is from the
//   last byte of an echo to the first byte of the next write; the engine
//   reports the item done in between.
// - Write to all controller (WrAllBt), four controllers, a file in control
//   mode 2 (41 broadcasts, which nothing answers): from the click to the
//   batch's end, against the steps times the reply time-out that paces them.
//   Per step, the pace (request to request) is the time-out, armed at the
//   send and due once the tick count has passed its start tick plus its
//   ticks (due), the timer's lateness after that to the item done (late),
//   and the program's time from there to the next request (next).
#include "benchline.h"
#include "link/framing.h"
#include "link/serialchannel.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "scripteddialogs.h"
#include "setup/parameterfile.h"
#include "setup/setupviewform.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Controllers = std::vector<std::pair<int, int>>;

const Controllers OneController {{1, 0x4848}};
const Controllers FourControllers {{1, 0x4824}, {2, 0x4848}, {3, 0x4896}, {4, 0x9696}};

constexpr int ControlModeEntry = 25;
constexpr int WriteFunction = 0x06;
constexpr qint64 TickNs = qint64(SerialChannel::TickMs) * 1000000;

// The files' control modes and the writes each takes.
struct ModeCase
{
    int mode;
    int steps;
};
constexpr ModeCase AddressedModes[] = {{0, 39}, {2, 41}, {3, 38}};
constexpr ModeCase BroadcastMode {2, 41};

// What the window reported, on the tap's clock.
struct Marks
{
    int cycles = 0; // setup read cycles ended
    int cyclesAtEnd = 0; // ... when the batch ended
    std::vector<qint64> done; // the batch's items done
    qint64 ended = 0; // the batch's end
    BatchWriteReport report;
};

// One batch, on the tap's clock.
struct Batch
{
    qint64 click = 0;
    qint64 ended = 0;
    std::vector<qint64> done;
};

// The engine's hooks, wrapped: the window's own stay in place.
void watch(MonitorEngine &engine, Marks &marks)
{
    const auto cycleDone = engine.hooks.setupCycleDone;
    engine.hooks.setupCycleDone = [cycleDone, &marks] {
        if (cycleDone)
            cycleDone();
        ++marks.cycles;
    };
    const auto progress = engine.hooks.writeAllProgress;
    engine.hooks.writeAllProgress = [progress, &marks](int percent) {
        marks.done.push_back(nowNs());
        if (progress)
            progress(percent);
    };
    const auto ended = engine.hooks.writeAllEnded;
    engine.hooks.writeAllEnded = [ended, &marks](const BatchWriteReport &report) {
        marks.ended = nowNs();
        marks.cyclesAtEnd = marks.cycles;
        marks.report = report;
        if (ended)
            ended(report);
    };
}

// The window's slots connected to the controllers through their widgets,
// and the selected controller's setup read whole once the view shows it;
// what went wrong, if anything.
QString connectWindow(MonitorForm &form, Marks &marks, const Controllers &controllers)
{
    if (!form.holdsPort())
        return QStringLiteral("port did not open");
    MonitorEngine &engine = form.engine();
    for (const auto &c : controllers) {
        const SlotWidgets &slot = form.slotWidgets(c.first);
        slot.comAddr->setValue(c.first);
        slot.runBt->click();
        if (!waitFor(
                [&] { return engine.view().at(c.first).visible && !engine.state().ApplyPending; },
                10000))
            return QStringLiteral("controller %1 not connected").arg(c.first);
    }
    if (!waitFor([&] { return form.setupForm().box(SetupBox::TempBox)->isVisible(); }, 10000))
        return QStringLiteral("setup view not shown");
    const int cycles = marks.cycles;
    engine.requestSetupRead();
    if (!waitFor([&] { return marks.cycles > cycles; }, 10000))
        return QStringLiteral("setup read cycle did not end");
    return {};
}

// A parameter file of the controller's setup as read, in `mode`; empty when
// it could not be written.
QString parameterFile(const QTemporaryDir &dir, ParameterImage image, int mode)
{
    const QString path = dir.filePath(QStringLiteral("mode%1.par").arg(mode));
    image[ControlModeEntry] = mode;
    return ParameterFile::write(path, image).isEmpty() ? path : QString();
}

// Opens `file` through OpenBt, waits `ms`, clicks WriteBt (or WrAllBt when
// `all`) and waits for the batch's end and for the setup read after it.
QString writeAll(MonitorForm &form, ScriptedDialogs &dialogs, Marks &marks, const QString &file,
                 bool all, int ms, Batch &batch)
{
    SetupViewForm &view = form.setupForm();
    dialogs.shown.clear();
    dialogs.fileAnswers << file;
    view.OpenBt->click();
    if (!waitFor([&] { return view.OpPanel->isVisible(); }, 5000))
        return QStringLiteral("the file's panel not shown");
    pause(ms);
    marks.done.clear();
    marks.ended = 0;
    batch.click = nowNs();
    (all ? view.WrAllBt : view.WriteBt)->click();
    if (!waitFor([&] { return marks.ended != 0; }, 120000))
        return QStringLiteral("the batch did not end");
    batch.ended = marks.ended;
    batch.done = marks.done;
    if (!marks.report.complete || !marks.report.notWritten.isEmpty())
        return QStringLiteral("the batch ended incomplete, %1 items not written")
            .arg(marks.report.notWritten.size());
    if (!waitFor([&] { return marks.cycles > marks.cyclesAtEnd; }, 10000))
        return QStringLiteral("no setup read after the batch");
    for (const ScriptedDialogs::Shown &s : dialogs.shown)
        if (s.kind != QLatin1String("open"))
            return QStringLiteral("box shown: %1").arg(s.text);
    return {};
}

// The time between the batches: some polling, at a different point each time.
int pauseBefore(int run)
{
    return 40 + (run * 70) % 230;
}

// A request as the master sent it, from when its first byte reached the tap.
struct Sent
{
    qint64 ns = 0;
    QByteArray bytes;
};

// The master's requests in the tap's record, unanswered ones included: from
// the colon to the line end in ASCII; in RTU eight bytes each, the length of
// every request the program sends (reads and single writes).
std::vector<Sent> requestsOf(const LineTap &tap, bool rtu)
{
    std::vector<Sent> out;
    bool open = false;
    for (const LineTap::Chunk &c : tap.chunks()) {
        if (c.direction != LineTap::ToSimulator)
            continue;
        for (int i = 0; i < c.bytes; ++i) {
            const char b = tap.data()[c.offset + size_t(i)];
            if (!open && (rtu || b == ':')) {
                out.push_back({c.ns, {}});
                open = true;
            }
            if (!open)
                continue;
            out.back().bytes.append(b);
            if (rtu ? out.back().bytes.size() == 8 : b == '\n')
                open = false;
        }
    }
    return out;
}

// When a reply timer armed at `sentNs` for `ticks` fires by the channel's
// rule: once the tick count (milliseconds / 55) has passed its start plus
// `ticks`.
qint64 timeoutDue(qint64 sentNs, int ticks)
{
    return (sentNs / 1000000 / SerialChannel::TickMs + ticks + 1) * TickNs;
}

struct AddressedResult
{
    ModeCase mode {};
    QString note; // what went wrong, if anything
    int runs = 0;
    int bytes = 0; // request + reply bytes of the batch's exchanges
    Samples total, inFlight, wire, simExtra, program; // per batch
    Samples gap, toDone; // per exchange
};

// The batch's exchanges on the line: its writes to the controller, one
// after another, each with its echo.
void analyseAddressed(const std::vector<Transaction> &ts, const Batch &b, bool rtu, int baud,
                      AddressedResult &out)
{
    const int address = OneController.front().first;
    std::vector<size_t> writes;
    qint64 inFlight = 0;
    for (size_t k = 0; k < ts.size() && ts[k].requestStart <= b.ended; ++k) {
        const Transaction &t = ts[k];
        const RequestHead h = headOf(t.request, rtu);
        const bool write = h.address == address && h.function == WriteFunction;
        if (writes.empty() && (t.requestStart < b.click || !write)) {
            // The exchange the batch waits for: on the line at the click, or
            // its request still in the port then.
            inFlight += std::max<qint64>(0, t.replyEnd - std::max(t.requestStart, b.click));
            continue;
        }
        if (!write) {
            out.note = QStringLiteral("a request other than the batch's writes in the batch: %1")
                           .arg(QString::fromLatin1(t.request.toHex()));
            return;
        }
        writes.push_back(k);
    }
    if (int(writes.size()) != out.mode.steps || b.done.size() != writes.size()) {
        out.note = QStringLiteral("%1 writes answered on the line and %2 items done, of %3")
                       .arg(writes.size())
                       .arg(b.done.size())
                       .arg(out.mode.steps);
        return;
    }
    double wireS = 0;
    qint64 busy = 0;
    int bytes = 0;
    for (size_t i = 0; i < writes.size(); ++i) {
        const Transaction &t = ts[writes[i]];
        wireS += wireSeconds(t, baud);
        busy += t.replyEnd - t.requestStart;
        bytes += t.requestBytes + t.replyBytes;
        out.toDone.ns.push_back(b.done[i] - t.replyEnd);
        if (i > 0)
            out.gap.ns.push_back(t.requestStart - ts[writes[i - 1]].replyEnd);
    }
    const qint64 wire = qint64(wireS * 1e9);
    const qint64 total = b.ended - b.click;
    out.bytes = bytes;
    out.total.ns.push_back(total);
    out.total.ratio.push_back(double(total) / double(wire));
    out.inFlight.ns.push_back(inFlight);
    out.wire.ns.push_back(wire);
    out.simExtra.ns.push_back(busy - wire);
    out.program.ns.push_back(total - inFlight - busy);
    ++out.runs;
}

// What a line's batches gave: each mode's batches, and what went wrong, if
// anything.
struct Session
{
    std::vector<std::vector<Batch>> batches;
    QString note;
};

// The window on `line`, connected to its controllers: for each mode, a file
// of the selected controller's setup written `runs` times, to that
// controller or by broadcast (`all`). The tap's record stays in `line`.
Session runBatches(PolledLine &line, const Controllers &controllers, const std::vector<int> &modes,
                   int runs, bool all)
{
    Session session;
    session.batches.resize(modes.size());
    if (!line.ok()) {
        session.note = QStringLiteral("simulator did not start");
        return session;
    }
    ScriptedDialogs dialogs;
    QTemporaryDir files;
    Marks marks;
    MonitorForm form(nullptr, line.source());
    form.showWindow();
    spin(100); // shown and painted once
    watch(form.engine(), marks);
    QString &note = session.note;
    note = connectWindow(form, marks, controllers);
    std::vector<QString> paths;
    for (const int mode : modes)
        paths.push_back(parameterFile(files, form.engine().image(), mode));
    for (size_t m = 0; m < modes.size() && note.isEmpty(); ++m) {
        if (paths[m].isEmpty())
            note = QStringLiteral("parameter file not written");
        for (int i = 0; i < runs && note.isEmpty(); ++i) {
            Batch b;
            note = writeAll(form, dialogs, marks, paths[m], all, pauseBefore(i), b);
            if (note.isEmpty())
                session.batches[m].push_back(b);
        }
    }
    for (const auto &c : controllers)
        form.slotWidgets(c.first).runBt->click();
    spin(200); // the last exchange ends on the line before the tap stops
    form.endWork();
    return session;
}

// Write to the controller, `runs` times for each control mode, on one line.
std::vector<AddressedResult> runAddressed(bool rtu, int baud, int runs)
{
    std::vector<AddressedResult> results;
    std::vector<int> modes;
    for (const ModeCase &m : AddressedModes) {
        AddressedResult r;
        r.mode = m;
        results.push_back(r);
        modes.push_back(m.mode);
    }
    PolledLine line(rtu, baud, true, OneController);
    const Session session = runBatches(line, OneController, modes, runs, false);
    line.tap.stop();
    const std::vector<Transaction> ts = transactionsOf(line.tap);
    for (size_t m = 0; m < results.size(); ++m) {
        for (const Batch &b : session.batches[m])
            if (results[m].note.isEmpty())
                analyseAddressed(ts, b, rtu, baud, results[m]);
        if (results[m].note.isEmpty() && results[m].runs != runs)
            results[m].note = session.note;
    }
    return results;
}

struct BroadcastResult
{
    QString note;
    int runs = 0;
    int ticks = 0; // the reply time-out that paces the broadcasts
    int requestBytes = 0; // of a broadcast
    Samples total, first; // per batch
    Samples pace, due, late, next; // per step
};

// The batch's broadcasts on the line, and the items the engine reported
// done after their time-outs.
void analyseBroadcast(const std::vector<Sent> &sent, const Batch &b, bool rtu, BroadcastResult &out)
{
    std::vector<qint64> steps;
    for (const Sent &s : sent) {
        if (s.ns < b.click || s.ns > b.ended)
            continue;
        const RequestHead h = headOf(s.bytes, rtu);
        const bool broadcast = h.address == 0 && h.function == WriteFunction;
        if (steps.empty() && !broadcast)
            continue; // the poll in flight at the click, or just put into the port
        if (!broadcast) {
            out.note =
                QStringLiteral("a request other than the batch's broadcasts in the batch: %1")
                    .arg(QString::fromLatin1(s.bytes.toHex()));
            return;
        }
        steps.push_back(s.ns);
        out.requestBytes = int(s.bytes.size());
    }
    if (int(steps.size()) != BroadcastMode.steps || b.done.size() != steps.size()) {
        out.note = QStringLiteral("%1 broadcasts on the line and %2 items done, of %3")
                       .arg(steps.size())
                       .arg(b.done.size())
                       .arg(BroadcastMode.steps);
        return;
    }
    const qint64 window = out.ticks * TickNs;
    const qint64 total = b.ended - b.click;
    out.total.ns.push_back(total);
    out.total.ratio.push_back(double(total) / double(window * qint64(steps.size())));
    out.first.ns.push_back(steps.front() - b.click);
    for (size_t i = 0; i < steps.size(); ++i) {
        const qint64 due = timeoutDue(steps[i], out.ticks);
        out.due.ns.push_back(due - steps[i]);
        out.due.ratio.push_back(double(due - steps[i]) / double(window));
        out.late.ns.push_back(b.done[i] - due);
        if (i + 1 < steps.size()) {
            out.pace.ns.push_back(steps[i + 1] - steps[i]);
            out.pace.ratio.push_back(double(steps[i + 1] - steps[i]) / double(window));
            out.next.ns.push_back(steps[i + 1] - b.done[i]);
        }
    }
    ++out.runs;
}

// Write to all controller, `runs` times, four controllers on one line.
BroadcastResult runBroadcast(bool rtu, int baud, int runs)
{
    BroadcastResult result;
    result.ticks = Framing::of(rtu ? ModbusMode::Rtu : ModbusMode::Ascii)
                       .replyTicks(MonitorEngine::BroadcastWindowTicks, quint32(baud));
    PolledLine line(rtu, baud, true, FourControllers);
    const Session session = runBatches(line, FourControllers, {BroadcastMode.mode}, runs, true);
    line.tap.stop();
    const std::vector<Sent> sent = requestsOf(line.tap, rtu);
    for (const Batch &b : session.batches.front())
        if (result.note.isEmpty())
            analyseBroadcast(sent, b, rtu, result);
    if (result.note.isEmpty() && result.runs != runs)
        result.note = session.note;
    return result;
}

void printNote(const QString &note)
{
    if (!note.isEmpty())
        std::printf("  !! %s\n", qPrintable(note));
}

void printAddressed(const std::vector<AddressedResult> &results)
{
    printSamplesHeading("x wire");
    for (const AddressedResult &r : results) {
        std::printf("  write to the controller, control mode %d: %d writes, %d run%s (%d bytes)\n",
                    r.mode.mode, r.mode.steps, r.runs, r.runs == 1 ? "" : "s", r.bytes);
        printNote(r.note);
        printSamples("total: click to the batch's end", r.total);
        printSamples("  in flight at the click", r.inFlight);
        printSamples("  wire", r.wire);
        printSamples("  sim+", r.simExtra);
        printSamples("  program", r.program);
        printSamples("per exchange, program: echo to next write", r.gap);
        printSamples("  echo's last byte to its item done", r.toDone);
    }
}

void printBroadcast(const BroadcastResult &r, int baud)
{
    const double window = r.ticks * SerialChannel::TickMs;
    std::printf("  write to all controller, four controllers, control mode %d: %d broadcasts, "
                "%d run%s\n  its reply time-out: %d tick%s of %d ms, due %.0f to %.0f ms after "
                "the send; a broadcast's bytes take %.1f ms\n",
                BroadcastMode.mode, BroadcastMode.steps, r.runs, r.runs == 1 ? "" : "s", r.ticks,
                r.ticks == 1 ? "" : "s", SerialChannel::TickMs, window,
                window + SerialChannel::TickMs, r.requestBytes * characterSeconds(baud) * 1e3);
    printNote(r.note);
    printSamplesHeading("x time-out");
    printSamples("total: click to the batch's end", r.total);
    printSamples("  first: click to the first broadcast", r.first);
    printSamples("per step, pace: request to request", r.pace);
    printSamples("  due: request to the time-out's tick", r.due);
    printSamples("  late: due to the item done", r.late);
    printSamples("  next: item done to the next request", r.next);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = option(app.arguments(), "--runs", 3);
    const int broadcasts = option(app.arguments(), "--broadcasts", 1);

    std::printf("Write-all from the monitor window to duva-sim, paced.\n"
                "wire = (request + reply bytes) x character time + turnaround, summed over the "
                "batch's exchanges;\nmedian and worst as multiples are of the wire time, or of "
                "the broadcast's reply time-out\n(times the steps, for the total).\n\n");
    for (const int baud : {38400, 9600}) {
        for (const bool rtu : {true, false}) {
            std::printf("%s %d baud, 8N1: a character %.3f ms, the simulator's turnaround %d ms\n",
                        rtu ? "RTU" : "ASCII", baud, characterSeconds(baud) * 1e3, TurnaroundMs);
            printAddressed(runAddressed(rtu, baud, runs));
            printBroadcast(runBroadcast(rtu, baud, broadcasts), baud);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}
