// How fast the monitor window polls four controllers of duva-sim, against the
// engine alone on the same line, against what the line allows, and beside
// mbpoll (libmodbus) polling one controller of the same simulator.
//
//     QT_QPA_PLATFORM=offscreen bench_monitor [--seconds N] [--only window|engine|mbpoll]
//
// The window is the real MonitorForm, shown (offscreen) and driven through
// its own widgets: each slot's address typed into its ComAddr box and its
// RunBt clicked. The engine alone is a MonitorEngine on a bare channel, its
// slots connected by its calls. Both poll the same four controllers.
// `--only window` runs the engine alone too, as the window's yardstick. The
// line's limit is what a master needs whose own turnaround is nil; the
// simulator's lateness (sim+) is in every master's figure and in no limit.
//
// Every run puts a tap between the master and the simulator: a pseudo-
// terminal of its own that the master opens, relayed byte for byte to the
// simulator's pseudo-terminal by a thread that only copies and timestamps.
// The tap sees each transaction as the line does (the request's bytes, then
// the reply's), for the window, the engine and mbpoll alike, so all are
// measured the same way:
//
// - transactions per second: complete request/reply pairs over the time from
//   the first request to the last reply;
// - the line's limit for exactly those transactions: with --pace the
//   simulator lets each character take 10 bit times (8N1) and starts its reply
//   the turnaround after the request has crossed, so a master that answered
//   in no time would need (request bytes + reply bytes) x character time +
//   turnaround per transaction; the ratio is measured / limit;
// - the master's turnaround: from the last byte of a reply leaving the
//   simulator to the first byte of the next request arriving from the master
//   (median). It includes both relays of the tap, a few microseconds each,
//   the pseudo-terminal, the channel's dispatching and the engine's work;
// - for the window, its renders: how many per request, and how many ran
//   between the engine's handling of a reply and the next request leaving
//   the port (they delay the line; there should be none). That is
//   taken on the window's thread at each render: inside the port's read
//   event (the engine's reply handling) or with the request still in the
//   port, it is in the way.
//
// Without --pace the simulator answers at once and the line has no speed: the
// figure is the engine's and the machine's, and has no limit to compare with.
#include "benchline.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QSpinBox>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The application, knowing when the window's thread is inside a socket
// event: the channel runs the line's handler inside the port's read event.
class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;
    static BenchApplication *instance() { return static_cast<BenchApplication *>(qApp); }
    bool insideSocketEvent() const { return m_socketEvents > 0; }
    bool notify(QObject *receiver, QEvent *event) override
    {
        if (event->type() != QEvent::SockAct)
            return QApplication::notify(receiver, event);
        struct Depth
        {
            int &n;
            explicit Depth(int &count)
                : n(count)
            {
                ++n;
            }
            ~Depth() { --n; }
        } depth(m_socketEvents);
        return QApplication::notify(receiver, event);
    }

private:
    int m_socketEvents = 0;
};

// The controllers on the simulated line: (address, model code).
const std::vector<std::pair<int, int>> FourControllers {
    {1, 0x4824}, {2, 0x4848}, {3, 0x4896}, {4, 0x9696}};

struct Figures
{
    int transactions = 0;
    double perSecond = 0;
    double limitPerSecond = 0; // 0: no limit (unpaced)
    double meanBytes = 0; // request + reply per transaction
    double medianTurnaroundMs = 0;
    // Request start to reply end beyond the line's time for it: the
    // simulator's own lateness (its timers), not the master's (median).
    double medianSimulatorExtraMs = 0;
    // The window's renders per request, and those that ran between the
    // engine's handling of a reply and the next request leaving (per
    // request); -1 when none were counted.
    double rendersPerTransaction = -1;
    double rendersInTurnaround = -1;
};

Figures analyse(const LineTap &tap, int baud, bool paced)
{
    const std::vector<Transaction> done = transactionsOf(tap);
    Figures f;
    f.transactions = int(done.size());
    if (done.size() < 2)
        return f;
    const double spanS = double(done.back().replyEnd - done.front().requestStart) / 1e9;
    f.perSecond = double(done.size()) / spanS;

    double wireS = 0;
    qint64 bytes = 0;
    std::vector<qint64> turnarounds;
    std::vector<qint64> extras;
    for (size_t i = 0; i < done.size(); ++i) {
        const double lineS = wireSeconds(done[i], baud);
        bytes += done[i].requestBytes + done[i].replyBytes;
        wireS += lineS;
        extras.push_back(done[i].replyEnd - done[i].requestStart - qint64(lineS * 1e9));
        if (i > 0)
            turnarounds.push_back(done[i].requestStart - done[i - 1].replyEnd);
    }
    f.meanBytes = double(bytes) / double(done.size());
    if (paced)
        f.limitPerSecond = double(done.size()) / wireS;
    f.medianTurnaroundMs = double(median(turnarounds)) / 1e6;
    if (paced)
        f.medianSimulatorExtraMs = double(median(extras)) / 1e6;
    return f;
}

struct Row
{
    QString master; // with the number of controllers it polls
    QString line;
    int baud;
    bool paced;
    Figures figures;
    QString note;
};

int slotsSum(const MonitorEngine &engine, int SlotState::*count)
{
    int sum = 0;
    for (int n = 1; n <= int(FourControllers.size()); ++n)
        sum += engine.state().at(n).*count;
    return sum;
}

QString countsNote(const MonitorEngine &engine)
{
    return QStringLiteral("%1 requests, %2 errors")
        .arg(slotsSum(engine, &SlotState::RequestCount))
        .arg(slotsSum(engine, &SlotState::ErrorCount));
}

// The engine alone polls the four controllers through the tap for `seconds`.
Row runEngine(bool rtu, int baud, bool paced, int seconds)
{
    Row row {"engine", rtu ? "RTU" : "ASCII", baud, paced, {}, {}};
    PolledLine line(rtu, baud, paced, FourControllers);
    if (!line.ok()) {
        row.note = "simulator did not start";
        return row;
    }
    {
        SerialChannel channel;
        MonitorEngine engine(channel, line.source());
        engine.FormShow();
        if (!channel.Open()) {
            row.note = "port did not open";
        } else {
            for (const auto &c : FourControllers) {
                engine.setComAddr(c.first, c.first);
                engine.ConnectSlot(c.first);
            }
            spin(seconds * 1000);
            row.note = countsNote(engine);
            for (const auto &c : FourControllers)
                engine.DisconnectSlot(c.first);
            // Let the last exchange finish on the line before the tap stops.
            spin(200);
        }
        engine.FormClose();
    }
    line.tap.stop();
    row.figures = analyse(line.tap, baud, paced);
    return row;
}

// The real window polls the four controllers through the tap for `seconds`,
// its slots connected through its own widgets.
Row runWindow(bool rtu, int baud, bool paced, int seconds)
{
    Row row {"window", rtu ? "RTU" : "ASCII", baud, paced, {}, {}};
    PolledLine line(rtu, baud, paced, FourControllers);
    if (!line.ok()) {
        row.note = "simulator did not start";
        return row;
    }
    int renders = 0;
    int inTurnaround = 0;
    int requests = 0;
    {
        MonitorForm form(nullptr, line.source());
        form.showWindow();
        spin(100); // shown and painted once
        auto *port = form.ApdComPort1.findChild<QSerialPort *>();
        if (!form.ApdComPort1.Open() || !port) {
            row.note = "port did not open";
        } else {
            // A render delays the line when it runs inside the port's read
            // event (where the engine handles the reply and sends the next
            // request) or while that request still waits in the port.
            QObject::connect(&form, &MonitorForm::rendered, &form, [&, port] {
                ++renders;
                if (BenchApplication::instance()->insideSocketEvent() || port->bytesToWrite() > 0)
                    ++inTurnaround;
            });
            for (const auto &c : FourControllers) {
                const SlotWidgets &s = form.slotWidgets(c.first);
                s.comAddr->setValue(c.first);
                s.runBt->click();
            }
            spin(seconds * 1000);
            QObject::disconnect(&form, &MonitorForm::rendered, &form, nullptr);
            row.note = countsNote(form.engine());
            requests = slotsSum(form.engine(), &SlotState::RequestCount);
            for (const auto &c : FourControllers)
                form.slotWidgets(c.first).runBt->click();
            spin(200);
        }
        form.endWork();
    }
    line.tap.stop();
    row.figures = analyse(line.tap, baud, paced);
    if (requests > 0) {
        row.figures.rendersPerTransaction = double(renders) / requests;
        row.figures.rendersInTurnaround = double(inTurnaround) / requests;
    }
    return row;
}
// mbpoll polls the same register block as the engine's process-value step,
// as fast as it goes: its poll rate cannot be below 10 ms.
Row runMbpoll(int baud, bool paced, int seconds)
{
    Row row {"mbpoll", "RTU", baud, paced, {}, {}};
    const QString mbpoll = QStandardPaths::findExecutable("mbpoll");
    if (mbpoll.isEmpty()) {
        row.note = "mbpoll not installed";
        return row;
    }
    Simulator sim(true, baud, paced, FourControllers);
    LineTap tap;
    if (!sim.device().startsWith("/dev/") || !tap.open(sim.device())) {
        row.note = "simulator did not start";
        return row;
    }
    QProcess p;
    p.start(mbpoll, {"-m",
                     "rtu",
                     "-b",
                     QString::number(baud),
                     "-P",
                     "none",
                     "-d",
                     "8",
                     "-s",
                     "1",
                     "-a",
                     "1",
                     "-0",
                     "-r",
                     QString::number(0x4700),
                     "-c",
                     "4",
                     "-t",
                     "4:hex",
                     "-l",
                     "10",
                     "-o",
                     "1",
                     tap.device()});
    if (!p.waitForStarted(5000)) {
        row.note = "mbpoll did not start";
        return row;
    }
    spin(seconds * 1000);
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(2000);
    }
    row.note = QStringLiteral("poll rate 10 ms, its least");
    tap.stop();
    row.figures = analyse(tap, baud, paced);
    return row;
}

// `engine`: the engine alone on the same line, beside which a window's row
// is compared.
void printRow(const Row &r, const Row *engine = nullptr)
{
    const Figures &f = r.figures;
    const QString limit = f.limitPerSecond > 0 ? QString::number(f.limitPerSecond, 'f', 1) : "-";
    const QString ratio = f.limitPerSecond > 0
        ? QString::number(100.0 * f.perSecond / f.limitPerSecond, 'f', 1) + " %"
        : "-";
    const QString extra =
        f.limitPerSecond > 0 ? QString::number(f.medianSimulatorExtraMs, 'f', 2) : "-";
    const QString vsEngine = engine && engine->figures.perSecond > 0
        ? QString::number(100.0 * f.perSecond / engine->figures.perSecond, 'f', 1) + " %"
        : "-";
    const QString renders = f.rendersPerTransaction >= 0
        ? QStringLiteral("%1/%2")
              .arg(f.rendersPerTransaction, 0, 'f', 2)
              .arg(f.rendersInTurnaround, 0, 'f', 2)
        : "-";
    std::printf("%-7s %-5s %6d %-7s %7d %8.1f %8s %8s %9s %7.1f %9.2f %9s %11s  %s\n",
                qPrintable(r.master), qPrintable(r.line), r.baud, r.paced ? "paced" : "unpaced",
                f.transactions, f.perSecond, qPrintable(limit), qPrintable(ratio),
                qPrintable(vsEngine), f.meanBytes, f.medianTurnaroundMs, qPrintable(extra),
                qPrintable(renders), qPrintable(r.note));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);
    int seconds = 5;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf("--seconds");
    if (at > 0 && at + 1 < args.size())
        seconds = std::max(1, args.at(at + 1).toInt());

    QString only;
    const qsizetype onlyAt = args.indexOf("--only");
    if (onlyAt > 0 && onlyAt + 1 < args.size())
        only = args.at(onlyAt + 1);
    auto wanted = [&only](const char *master) { return only.isEmpty() || only == master; };

    std::printf("Polling four controllers of duva-sim (mbpoll: one), 8N1, %d s per run; "
                "simulator turnaround %d ms when paced.\n",
                seconds, TurnaroundMs);
    std::printf("limit = the line's rate for the same transactions (wire time + turnaround);\n"
                "ratio = trans/s of limit; vs eng = the window's trans/s of the engine alone's;\n"
                "bytes = request + reply per transaction; turn = last reply byte to next "
                "request (median);\nsim+ = the simulator's lateness beyond the line's time per "
                "transaction (median);\nrenders = the window's renders per request / "
                "renders between a reply and the next request leaving, per request\n\n");
    std::printf("%-7s %-5s %6s %-7s %7s %8s %8s %8s %9s %7s %9s %9s %11s  %s\n", "master", "frame",
                "baud", "line", "trans", "trans/s", "limit/s", "ratio", "vs eng", "bytes",
                "turn (ms)", "sim+ (ms)", "renders", "");
    for (const bool paced : {true, false}) {
        for (const int baud : paced ? std::vector<int> {38400, 9600} : std::vector<int> {38400}) {
            for (const bool rtu : {true, false}) {
                Row engine {};
                if (wanted("engine") || wanted("window")) {
                    engine = runEngine(rtu, baud, paced, seconds);
                    printRow(engine);
                }
                if (wanted("window"))
                    printRow(runWindow(rtu, baud, paced, seconds), &engine);
            }
            if (wanted("mbpoll"))
                printRow(runMbpoll(baud, paced, seconds));
        }
    }
    return 0;
}
