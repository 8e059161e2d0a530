// How long the monitor window takes to read a controller's setup and to
// write one protected value and show it read back, against what the line
// allows, with one controller of duva-sim at 38400 and 9600 baud, RTU and
// ASCII.
//
//     QT_QPA_PLATFORM=offscreen bench_setup [--cycles N] [--writes N]
//
// The window is the real MonitorForm, shown (offscreen): its slot 1 is
// connected through its widgets, and the factory box opened with the access
// code. The master's traffic goes through the tap of benchline.h, which
// timestamps every byte; the window's side is timestamped at the engine's
// end of a setup cycle and at each render of the widgets.
//
// - The setup read cycle (steps 6 to 13, one read each), asked for again
//   after each one: from the first byte of the step-6 request to the last
//   byte of the step-13 reply (line), and to the render that follows it
//   (shown), each against the wire time of those eight exchanges. What lies
//   between the wire time and the line's figure is the simulator's lateness
//   beyond its pacing (sim+) and the program's turnarounds between the
//   exchanges (turns); the render comes after the last byte (render).
// - A single write of the RTD offset, which takes the unlock write first:
//   typed into its field and Enter pressed, to the render that shows the
//   value read back. The field is typed with two decimals ("2.30") and shows
//   the controller's one decimal ("2.3"), so the change is the read-back's.
//   The time splits into the line's time after the Enter of the exchange
//   the write waits for (in flight; of the next one too when the engine had
//   just put its request into the port), the wire time of the unlock write,
//   the write and the polling that follows until the setup cycle ends
//   (wire), the simulator's lateness in those (sim+), and the rest: the
//   program's own (program). The Enters fall at different points of the
//   polling.
#include "benchline.h"
#include "link/framing.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "setup/registermap.h"
#include "setup/setupviewform.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// One controller, as in the setup view's own tests.
const std::vector<std::pair<int, int>> OneController {{1, 0x4848}};

// The RTD offset as typed, and as the controller's value reads back.
struct Entry
{
    const char *typed;
    const char *shown;
};
constexpr Entry Entries[] = {{"2.30", "2.3"}, {"1.50", "1.5"}};

// A key as the user presses it, on the widget that has it.
void press(QWidget *widget, int key, const QString &text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &up);
}

bool isRead(const RequestHead &h, const ReadBlock &block)
{
    return h.function == 0x03 && h.reg == block.start && h.word == block.count;
}

bool isWrite(const RequestHead &h, int reg)
{
    return h.function == 0x06 && h.reg == reg;
}

// What the window saw of one run, on the tap's clock.
struct Record
{
    qint64 readsFrom = 0; // the read cycles asked for from here ...
    qint64 readsTo = 0; // ... to here
    std::vector<qint64> cycleEnds; // the engine's setup cycle ends
    std::vector<qint64> renders;
    struct Write
    {
        qint64 enter = 0;
        qint64 shown = 0;
    };
    std::vector<Write> writes;
};

struct Result
{
    QString note; // what went wrong, if anything
    int cycleBytes = 0; // request + reply bytes of one setup read cycle
    Samples wire, line, shown, simExtra, turns, render; // of the read cycles
    int writeExchanges = 0; // unlock to the end of the setup cycle (median)
    Samples total, inFlight, writeWire, writeSimExtra, program; // of the writes
};

qint64 firstAtOrAfter(const std::vector<qint64> &times, qint64 t)
{
    const auto it = std::lower_bound(times.begin(), times.end(), t);
    return it == times.end() ? 0 : *it;
}

// The setup read cycles of the record's window: eight reads in a row, of
// the blocks of steps 6 to 13.
void analyseCycles(const std::vector<Transaction> &ts, const Record &r, bool rtu, int baud,
                   Result &out)
{
    for (size_t i = 0; i + LastSetupStep - FirstSetupStep < ts.size(); ++i) {
        if (ts[i].requestStart < r.readsFrom || ts[i].requestStart > r.readsTo)
            continue;
        bool cycle = true;
        for (int step = FirstSetupStep; step <= LastSetupStep && cycle; ++step)
            cycle = isRead(headOf(ts[i + size_t(step - FirstSetupStep)].request, rtu),
                           *ReadBlockForStep(step));
        if (!cycle)
            continue;
        const size_t last = i + size_t(LastSetupStep - FirstSetupStep);
        double wireS = 0;
        qint64 busy = 0;
        int bytes = 0;
        for (size_t k = i; k <= last; ++k) {
            wireS += wireSeconds(ts[k], baud);
            busy += ts[k].replyEnd - ts[k].requestStart;
            bytes += ts[k].requestBytes + ts[k].replyBytes;
        }
        const qint64 wire = qint64(wireS * 1e9);
        const qint64 start = ts[i].requestStart;
        const qint64 end = ts[last].replyEnd;
        // The engine ends the cycle on the step-13 reply; the render after
        // that shows it.
        const qint64 cycleEnd = firstAtOrAfter(r.cycleEnds, end);
        const qint64 shown = cycleEnd ? firstAtOrAfter(r.renders, cycleEnd) : 0;
        if (shown == 0)
            continue;
        out.cycleBytes = bytes;
        out.wire.ns.push_back(wire);
        out.line.ns.push_back(end - start);
        out.line.ratio.push_back(double(end - start) / double(wire));
        out.shown.ns.push_back(shown - start);
        out.shown.ratio.push_back(double(shown - start) / double(wire));
        out.simExtra.ns.push_back(busy - wire);
        out.turns.ns.push_back(end - start - busy);
        out.render.ns.push_back(shown - end);
        i = last;
    }
}

// Each write of the record: the unlock write after the Enter, the write,
// and the exchanges up to the end of the setup cycle that follows.
void analyseWrites(const std::vector<Transaction> &ts, const Record &r, bool rtu, int baud,
                   Result &out)
{
    std::vector<qint64> exchanges;
    for (const Record::Write &w : r.writes) {
        // Before the unlock write go the exchange on the line at the Enter
        // and, when the engine had just put the next request into the port,
        // that one too: the write waits for both. Their line time after the
        // Enter is the line's (in flight).
        size_t first = 0;
        while (first < ts.size() && ts[first].replyEnd <= w.enter)
            ++first;
        size_t unlock = first;
        while (unlock < ts.size() && !isWrite(headOf(ts[unlock].request, rtu), UnlockRegister))
            ++unlock;
        if (unlock - first > 2 || unlock + 1 >= ts.size() ||
            !isWrite(headOf(ts[unlock + 1].request, rtu), Reg::RtdOffset))
            continue;
        size_t end = unlock + 2;
        while (end < ts.size() &&
               !isRead(headOf(ts[end].request, rtu), *ReadBlockForStep(LastSetupStep)))
            ++end;
        if (end == ts.size() || ts[end].replyEnd > w.shown)
            continue;
        qint64 inFlight = 0;
        for (size_t k = first; k < unlock; ++k)
            inFlight += ts[k].replyEnd - std::max(ts[k].requestStart, w.enter);
        double wireS = 0;
        qint64 busy = 0;
        for (size_t k = unlock; k <= end; ++k) {
            wireS += wireSeconds(ts[k], baud);
            busy += ts[k].replyEnd - ts[k].requestStart;
        }
        const qint64 wire = qint64(wireS * 1e9);
        const qint64 total = w.shown - w.enter;
        out.total.ns.push_back(total);
        out.total.ratio.push_back(double(total) / double(wire));
        out.inFlight.ns.push_back(inFlight);
        out.writeWire.ns.push_back(wire);
        out.writeSimExtra.ns.push_back(busy - wire);
        out.program.ns.push_back(total - inFlight - busy);
        exchanges.push_back(qint64(end - unlock + 1));
    }
    if (!exchanges.empty())
        out.writeExchanges = int(median(exchanges));
}

// One run on a fresh line: the window connects the controller, reads its
// setup `cycles` times over, opens the factory box and writes the RTD offset
// `writes` times.
Result run(bool rtu, int baud, int cycles, int writes)
{
    Result result;
    PolledLine line(rtu, baud, true, OneController);
    if (!line.ok()) {
        result.note = "simulator did not start";
        return result;
    }
    Record r;
    r.cycleEnds.reserve(size_t(cycles + writes + 8));
    r.renders.reserve(1 << 14);
    {
        MonitorForm form(nullptr, line.source());
        form.showWindow();
        spin(100); // shown and painted once
        MonitorEngine &engine = form.engine();
        SetupViewForm &view = form.setupForm();
        if (!form.holdsPort()) {
            result.note = "port did not open";
            return result;
        }
        // The window's own hook stays in place; the bench only notes the time.
        const auto cycleDone = engine.hooks.setupCycleDone;
        engine.hooks.setupCycleDone = [cycleDone, &r] {
            if (cycleDone)
                cycleDone();
            r.cycleEnds.push_back(nowNs());
        };
        QLineEdit *field = view.edit(SetupField::RTDOfs);
        QString awaited; // the read-back value a write waits for
        QObject::connect(&form, &MonitorForm::rendered, &form, [&] {
            const qint64 t = nowNs();
            r.renders.push_back(t);
            if (!awaited.isEmpty() && field->text() == awaited) {
                r.writes.back().shown = t;
                awaited.clear();
            }
        });
        const SlotWidgets &slot = form.slotWidgets(1);
        slot.comAddr->setValue(OneController.front().first);
        slot.runBt->click();
        if (!waitFor([&] { return view.box(SetupBox::TempBox)->isVisible(); }, 10000)) {
            result.note = "setup view not shown";
            return result;
        }

        r.readsFrom = nowNs();
        for (int i = 0; i < cycles; ++i) {
            const size_t ended = r.cycleEnds.size();
            engine.requestSetupRead();
            if (!waitFor([&] { return r.cycleEnds.size() > ended; }, 10000)) {
                result.note = "setup read cycle did not end";
                return result;
            }
        }
        r.readsTo = nowNs();

        form.setupView().FWVersionDblClick();
        form.setupView().PassEditChange(SetupViewLogic::AccessCode);
        if (!waitFor([&] { return view.box(SetupBox::AdjustBox)->isVisible(); }, 10000)) {
            result.note = "factory box not shown";
            return result;
        }
        for (int i = 0; i < writes; ++i) {
            // Some time for the polling to go on, so that the Enter falls at
            // a different point of it each time.
            pause(40 + (i * 70) % 230);
            const Entry &e = Entries[i % 2];
            field->setFocus();
            field->selectAll();
            for (const char c : std::string_view(e.typed))
                press(field, c, QString(QChar::fromLatin1(c)));
            r.writes.push_back({nowNs(), 0});
            awaited = QString::fromLatin1(e.shown);
            press(field, Qt::Key_Return, QStringLiteral("\r"));
            if (!waitFor([&] { return awaited.isEmpty(); }, 10000)) {
                result.note = QStringLiteral("%1 not read back").arg(e.shown);
                r.writes.pop_back();
                break;
            }
        }

        slot.runBt->click();
        spin(200); // the last exchange ends on the line before the tap stops
        form.endWork();
    }
    line.tap.stop();
    const std::vector<Transaction> ts = transactionsOf(line.tap);
    analyseCycles(ts, r, rtu, baud, result);
    analyseWrites(ts, r, rtu, baud, result);
    if (result.note.isEmpty() && int(result.line.ns.size()) != cycles)
        result.note = QStringLiteral("%1 of %2 read cycles found on the line")
                          .arg(result.line.ns.size())
                          .arg(cycles);
    if (result.note.isEmpty() && int(result.total.ns.size()) != writes)
        result.note = QStringLiteral("%1 of %2 writes found on the line")
                          .arg(result.total.ns.size())
                          .arg(writes);
    return result;
}

void printResult(bool rtu, int baud, const Result &r)
{
    std::printf("%s %d baud, 8N1: a character %.3f ms, the simulator's turnaround %d ms\n",
                rtu ? "RTU" : "ASCII", baud, characterSeconds(baud) * 1e3, TurnaroundMs);
    if (!r.note.isEmpty())
        std::printf("  !! %s\n", qPrintable(r.note));
    printSamplesHeading("x wire");
    if (!r.line.ns.empty()) {
        std::printf("  setup read cycle, %zu times (8 exchanges, %d bytes)\n", r.line.ns.size(),
                    r.cycleBytes);
        printSamples("wire", r.wire);
        printSamples("line: step-6 request to step-13 reply", r.line);
        printSamples("shown: to its render", r.shown);
        printSamples("  sim+ (in line)", r.simExtra);
        printSamples("  turns: the program's (in line)", r.turns);
        printSamples("  render: last byte to render", r.render);
    }
    if (!r.total.ns.empty()) {
        std::printf("  write with unlock, read back, %zu times (%d exchanges from the unlock)\n",
                    r.total.ns.size(), r.writeExchanges);
        printSamples("total: Enter to the value shown", r.total);
        printSamples("  in flight at the Enter", r.inFlight);
        printSamples("  wire", r.writeWire);
        printSamples("  sim+", r.writeSimExtra);
        printSamples("  program", r.program);
    }
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int cycles = option(app.arguments(), "--cycles", 10);
    const int writes = option(app.arguments(), "--writes", 12);

    std::printf("The monitor window and one controller of duva-sim, paced.\n"
                "wire = (request + reply bytes) x character time + turnaround, summed over the "
                "exchanges;\nmedian and worst as multiples are of the wire time.\n\n");
    for (const int baud : {38400, 9600})
        for (const bool rtu : {true, false})
            printResult(rtu, baud, run(rtu, baud, cycles, writes));
    return 0;
}
