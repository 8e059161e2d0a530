// How long the program editor takes to read a controller's ramp/soak
// program and to write it back, through the configuration window's engine,
// against what the line allows, with one controller of duva-sim at 38400 and
// 9600 baud, RTU and ASCII; and how long an edit of the program takes to
// show its redrawn curve.
//
//     QT_QPA_PLATFORM=offscreen bench_program [--runs N] [--redraws N]
//                                             [--comparisons N] [--compare-only]
//
// The windows are the program's own, made by CreateWindows and wired to
// each other as in the application: the configuration window connects slot 1
// through its widgets (the simulated controller is put in program control
// first, so that the setup view offers ProgBt), ProgBt opens the program
// window, and its ReadSBt and WrBt start the transfers. The master's traffic
// goes through the tap of benchline.h, which timestamps every byte; the
// windows' side is timestamped at the click, at the engine's end of the
// transfer (its programReadEnded and programWriteEnded hooks, wrapped) and
// at each render of the program window. Between two transfers the window
// polls for a while, so that the clicks fall at different points of the
// polling.
//
// - Read from the controller (ReadSBt): the 20 reads of the program read
//   (start pattern, additional cycles, last steps, next patterns, then the
//   steps by blocks of four), from the click to the engine's end (total)
//   and to the render after it (shown), against the wire time of those
//   exchanges. The total splits into the line's time after the click of the
//   polling exchange the read waits for (in flight), the wire time of the
//   reads, the simulator's lateness beyond its pacing (sim+) and the rest:
//   the program's own (program). Per exchange, the program's gap is from the
//   last byte of a reply to the first byte of the next request.
// - Write to the controller (WrBt): the 153 single-register writes of the
//   program as read, each confirmed by its echo, split the same way.
// - Curve redraw: an Enter (POKBtClick) on the set value of pattern 0, step
//   0, which commits the value and redraws the curve, alternating between
//   two values: the call itself (commit, the drawing included) and from the
//   call to the program window's render after it (shown), with the
//   configuration window polling the controller meanwhile, as it does while
//   the user edits. Then the bare DrawProgramCurve of the same program. Done
//   for the program read from the simulator (its example: pattern 0, three
//   steps, then the end) and for a long looping one, loaded through ReadFBt
//   from a program file: patterns 0 -> 1 -> 2 -> 1 ..., each of eight steps
//   of 900 minutes and 99 additional cycles. The commit also runs the
//   program check, and the render rebuilds the check's list beside the
//   curve; the bare CheckProgram of the same program is timed as well.
// - Comparison with a recording: a 24-hour recording of one device every
//   second, read whole, held against the looping program, its chart drawn
//   and its CSV made, and all of it as the comparison window's open does it.
#include "app/mainform.h"
#include "app/recordingloader.h"
#include "app/startup.h"
#include "benchline.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "program/programcheck.h"
#include "program/programcompare.h"
#include "program/programcomparison.h"
#include "program/programcurve.h"
#include "program/programfile.h"
#include "program/programform.h"
#include "recorder/recordfile.h"
#include "scripteddialogs.h"
#include "setup/registermap.h"
#include "setup/setupviewform.h"
#include "ui/canvas.h"

#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int Address = 1;
const std::vector<std::pair<int, int>> OneController {{Address, 0x4848}};
constexpr int ProgramControl = 3; // the control mode in which the setup view offers ProgBt
constexpr int ReadFunction = 0x03;
constexpr int WriteFunction = 0x06;

// A request a transfer is to send, in order: its register and, for a read,
// its count (-1: the value of a write, not checked).
struct Expected
{
    int reg;
    int word;
};

std::vector<Expected> readRequests()
{
    std::vector<Expected> out;
    for (const ReadBlock &b : ProgramReadBlocks())
        out.push_back({b.start, b.count});
    return out;
}

std::vector<Expected> writeRequests()
{
    std::vector<Expected> out;
    for (int p = 0; p < ProgramReg::Count; ++p)
        out.push_back({ProgramReg::First + p, -1});
    return out;
}

// What the windows reported, on the tap's clock.
struct Marks
{
    int replies = 0; // program-read replies
    qint64 readEnded = 0;
    bool readComplete = false;
    int writesDone = 0; // program write items done
    qint64 writeEnded = 0;
    BatchWriteReport report;
    std::vector<qint64> renders; // of the program window
};

// One transfer, on the tap's clock.
struct Run
{
    qint64 click = 0;
    qint64 ended = 0; // the engine's end
    qint64 shown = 0; // the program window's render after it
};

// The engine's program hooks, wrapped: the editor's own stay in place.
void watch(MonitorEngine &engine, ProgramForm &form, Marks &marks)
{
    const auto reply = engine.hooks.programReply;
    engine.hooks.programReply = [reply, &marks](int phase, int firstStep,
                                                const QList<quint16> &words) {
        ++marks.replies;
        if (reply)
            reply(phase, firstStep, words);
    };
    const auto readEnded = engine.hooks.programReadEnded;
    engine.hooks.programReadEnded = [readEnded, &marks](bool complete, const QString &why) {
        marks.readEnded = nowNs();
        marks.readComplete = complete;
        if (readEnded)
            readEnded(complete, why);
    };
    const auto progress = engine.hooks.programWriteProgress;
    engine.hooks.programWriteProgress = [progress, &marks](int done) {
        marks.writesDone = done;
        if (progress)
            progress(done);
    };
    const auto writeEnded = engine.hooks.programWriteEnded;
    engine.hooks.programWriteEnded = [writeEnded, &marks](const BatchWriteReport &report) {
        marks.writeEnded = nowNs();
        marks.report = report;
        if (writeEnded)
            writeEnded(report);
    };
    QObject::connect(&form, &ProgramForm::rendered, &form,
                     [&marks] { marks.renders.push_back(nowNs()); });
}

qint64 firstAtOrAfter(const std::vector<qint64> &times, qint64 t)
{
    const auto it = std::lower_bound(times.begin(), times.end(), t);
    return it == times.end() ? 0 : *it;
}

bool idle(ProgramForm &form)
{
    return waitFor([&] { return !form.editor().transferring() && form.ReadSBt->isEnabled(); },
                   10000);
}

// Slot 1 connected through its widgets and the program window opened by
// ProgBt; what went wrong, if anything.
QString openEditor(MonitorForm &monitor, ProgramForm &form)
{
    if (!monitor.holdsPort())
        return QStringLiteral("port did not open");
    const SlotWidgets &slot = monitor.slotWidgets(1);
    slot.comAddr->setValue(Address);
    slot.runBt->click();
    QPushButton *progBt = monitor.setupForm().ProgBt;
    if (!waitFor([&] { return progBt->isEnabled() && progBt->isVisible(); }, 10000))
        return QStringLiteral("the setup view did not offer ProgBt");
    progBt->click();
    if (!waitFor([&] { return form.isVisible(); }, 5000) || !idle(form))
        return QStringLiteral("the program window not shown");
    return {};
}

// The time between the transfers: some polling, at a different point each time.
int pauseBefore(int run)
{
    return 40 + (run * 70) % 230;
}

// Waits `ms`, clicks ReadSBt (WrBt when `write`) and waits for the
// transfer's end and the program window's render after it.
QString transfer(ProgramForm &form, Marks &marks, ScriptedDialogs &dialogs, bool write, int ms,
                 Run &run)
{
    QPushButton *button = write ? form.WrBt : form.ReadSBt;
    if (!button->isEnabled())
        return QStringLiteral("%1 not enabled").arg(button->objectName());
    pause(ms);
    dialogs.shown.clear();
    qint64 &ended = write ? marks.writeEnded : marks.readEnded;
    ended = 0;
    marks.replies = 0;
    marks.writesDone = 0;
    run.click = nowNs();
    button->click();
    if (!waitFor([&] { return ended != 0; }, 60000))
        return QStringLiteral("the transfer did not end");
    if (!idle(form))
        return QStringLiteral("the program window stayed busy after the transfer");
    run.ended = ended;
    run.shown = firstAtOrAfter(marks.renders, ended);
    if (write && (!marks.report.complete || !marks.report.notWritten.isEmpty()))
        return QStringLiteral("the write ended incomplete, %1 values not written")
            .arg(marks.report.notWritten.size());
    if (!write && !marks.readComplete)
        return QStringLiteral("the read ended incomplete");
    const int items = write ? marks.writesDone : marks.replies;
    const int expected = write ? ProgramReg::Count : int(ProgramReadBlocks().size());
    if (items != expected)
        return QStringLiteral("%1 of %2 items reported").arg(items).arg(expected);
    if (!dialogs.shown.isEmpty())
        return QStringLiteral("box shown: %1").arg(dialogs.shown.first().text);
    return {};
}

struct TransferResult
{
    QString note; // what went wrong, if anything
    int runs = 0;
    int exchanges = 0;
    int bytes = 0; // request + reply bytes of the transfer's exchanges
    Samples total, shown, inFlight, wire, simExtra, program; // per transfer
    Samples gap, toEnd, render; // per exchange; last reply to the end; end to render
};

// The transfer's exchanges on the line: the expected requests to the
// controller, one after another, each with its reply.
void analyse(const std::vector<Transaction> &ts, const Run &run, bool rtu, int baud, int function,
             const std::vector<Expected> &expected, TransferResult &out)
{
    std::vector<size_t> ours;
    qint64 inFlight = 0;
    for (size_t k = 0; k < ts.size() && ts[k].requestStart <= run.ended; ++k) {
        const Transaction &t = ts[k];
        const RequestHead h = headOf(t.request, rtu);
        const bool program = h.address == Address && h.function == function &&
            h.reg >= ProgramReg::First && h.reg <= ProgramReg::Last;
        if (ours.empty() && (t.requestStart < run.click || !program)) {
            // The exchange the transfer waits for: on the line at the click,
            // or its request still in the port then.
            inFlight += std::max<qint64>(0, t.replyEnd - std::max(t.requestStart, run.click));
            continue;
        }
        if (!program) {
            out.note = QStringLiteral("a request other than the transfer's in the transfer: %1")
                           .arg(QString::fromLatin1(t.request.toHex()));
            return;
        }
        ours.push_back(k);
    }
    if (ours.size() != expected.size()) {
        out.note = QStringLiteral("%1 of %2 exchanges found on the line")
                       .arg(ours.size())
                       .arg(expected.size());
        return;
    }
    double wireS = 0;
    qint64 busy = 0;
    int bytes = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        const Transaction &t = ts[ours[i]];
        const RequestHead h = headOf(t.request, rtu);
        if (h.reg != expected[i].reg || (expected[i].word >= 0 && h.word != expected[i].word)) {
            out.note = QStringLiteral("exchange %1 is %2 of %3 where %4 of %5 was due")
                           .arg(i)
                           .arg(h.reg, 4, 16)
                           .arg(h.word)
                           .arg(expected[i].reg, 4, 16)
                           .arg(expected[i].word);
            return;
        }
        wireS += wireSeconds(t, baud);
        busy += t.replyEnd - t.requestStart;
        bytes += t.requestBytes + t.replyBytes;
        if (i > 0)
            out.gap.ns.push_back(t.requestStart - ts[ours[i - 1]].replyEnd);
    }
    const qint64 wire = qint64(wireS * 1e9);
    const qint64 total = run.ended - run.click;
    out.exchanges = int(ours.size());
    out.bytes = bytes;
    out.total.ns.push_back(total);
    out.total.ratio.push_back(double(total) / double(wire));
    if (run.shown) {
        out.shown.ns.push_back(run.shown - run.click);
        out.shown.ratio.push_back(double(run.shown - run.click) / double(wire));
        out.render.ns.push_back(run.shown - run.ended);
    }
    out.inFlight.ns.push_back(inFlight);
    out.wire.ns.push_back(wire);
    out.simExtra.ns.push_back(busy - wire);
    out.program.ns.push_back(total - inFlight - busy);
    out.toEnd.ns.push_back(run.ended - ts[ours.back()].replyEnd);
    ++out.runs;
}

// One program's redraws.
struct RedrawCase
{
    Samples commit, shown, bare, check;
};

struct RedrawResult
{
    QString note;
    int repetitions = 0;
    RedrawCase typical, looping;
};

// The long looping program: patterns 0 -> 1 -> 2 -> 1 ..., each of eight
// steps of 900 minutes and 99 additional cycles; the others empty.
RampSoakProgram loopingProgram()
{
    RampSoakProgram g;
    g.StartPattern = 0;
    g.LastStep.fill(0);
    g.NextPattern.fill(RampSoakProgram::ProgramEnd);
    const int next[3] = {1, 2, 1};
    for (int p = 0; p < 3; ++p) {
        g.LastStep[size_t(p)] = RampSoakProgram::StepsPerPattern - 1;
        g.AdditionalCycles[size_t(p)] = RampSoakProgram::MaxCycles;
        g.NextPattern[size_t(p)] = next[p];
        for (int s = 0; s < RampSoakProgram::StepsPerPattern; ++s) {
            const size_t k = size_t(RampSoakProgram::index(p, s));
            g.SetValue[k] = 250 + 1000 * p + (s % 2 ? 1500 : 300) + 100 * s; // tenths
            g.StepTime[k] = RampSoakProgram::MaxEditorMinutes;
        }
    }
    return g;
}

// Enters on the set value of pattern 0, step 0, alternating between two
// values, each timed to its return and to the render after it.
QString timeEnters(ProgramForm &form, Marks &marks, int repetitions, RedrawCase &out)
{
    static const char *const Typed[2] = {"100.0", "123.4"};
    ProgramEditor &e = form.editor();
    e.ProgTableClick(1, 1);
    if (!e.model().editBoxVisible)
        e.EditPBtClick();
    spin(50); // rendered, the editors shown
    for (int i = 0; i < repetitions; ++i) {
        pause(5 + (i * 7) % 23); // at a different point of the polling each time
        const QString typed = QString::fromLatin1(Typed[i % 2]);
        e.SPEditChange(typed);
        const int version = e.model().curveVersion;
        const size_t before = marks.renders.size();
        const qint64 start = nowNs();
        e.POKBtClick();
        const qint64 back = nowNs();
        if (e.model().curveVersion == version)
            return QStringLiteral("the Enter did not redraw the curve");
        if (!waitFor([&] { return marks.renders.size() > before; }, 5000))
            return QStringLiteral("no render after the Enter");
        if (form.ProgTable->item(1, 1)->text() != typed)
            return QStringLiteral("the cell shows %1, not %2")
                .arg(form.ProgTable->item(1, 1)->text(), typed);
        out.commit.ns.push_back(back - start);
        out.shown.ns.push_back(marks.renders[before] - start);
    }
    return {};
}

void timeBare(const RampSoakProgram &program, int repetitions, RedrawCase &out)
{
    Canvas canvas(ProgramCurveSize);
    for (int i = 0; i < repetitions; ++i) {
        const qint64 start = nowNs();
        const bool drawn = DrawProgramCurve(program, canvas);
        const qint64 end = nowNs();
        if (drawn)
            out.bare.ns.push_back(end - start);
        const qint64 checkStart = nowNs();
        const ProgramCheck check = CheckProgram(program, ControllerRange {0, 13000, 1, false});
        const qint64 checkEnd = nowNs();
        if (!check.runText.isEmpty())
            out.check.ns.push_back(checkEnd - checkStart);
    }
}

// The redraws of the program in the window (as read) and of the looping
// one, loaded from a file through ReadFBt.
QString measureRedraws(ProgramForm &form, Marks &marks, ScriptedDialogs &dialogs, int repetitions,
                       RedrawResult &out)
{
    out.repetitions = repetitions;
    const RampSoakProgram typical = form.program();
    QString note = timeEnters(form, marks, repetitions, out.typical);
    if (!note.isEmpty())
        return note;
    timeBare(typical, repetitions, out.typical);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("looping.txt"));
    const RampSoakProgram looping = loopingProgram();
    if (!ProgramFile::write(path, looping).isEmpty())
        return QStringLiteral("program file not written");
    dialogs.shown.clear();
    dialogs.fileAnswers << path;
    form.ReadFBt->click();
    if (!idle(form) || form.program() != looping)
        return QStringLiteral("the looping program not loaded");
    if (dialogs.texts() != QStringList {ProgramFile::ReadDone})
        return QStringLiteral("boxes shown: %1").arg(dialogs.texts().join(QLatin1Char('|')));
    note = timeEnters(form, marks, repetitions, out.looping);
    if (!note.isEmpty())
        return note;
    timeBare(looping, repetitions, out.looping);
    return {};
}

struct LineResult
{
    QString note; // what kept the windows from the transfers, if anything
    TransferResult read, write;
};

// One line: the windows open the program window, read the program `runs`
// times and write it `runs` times; with `redraw`, the redraws follow.
LineResult runLine(bool rtu, int baud, int runs, int redraws, RedrawResult *redraw)
{
    LineResult result;
    PolledLine line(rtu, baud, true, OneController);
    if (!line.ok()) {
        result.note = QStringLiteral("simulator did not start");
        return result;
    }
    const QString answer = line.command(QStringLiteral("set %1 0x%2 %3")
                                            .arg(Address)
                                            .arg(Reg::ControlMode, 0, 16)
                                            .arg(ProgramControl));
    if (answer != QLatin1String("ok")) {
        result.note = QStringLiteral("program control not set: %1").arg(answer);
        return result;
    }
    std::vector<Run> reads, writes;
    {
        ScriptedDialogs dialogs;
        Marks marks;
        marks.renders.reserve(1 << 14);
        const std::unique_ptr<MainForm> main = CreateWindows(line.settings);
        main->Monitor1Click();
        MonitorForm &monitor = *main->monitorForm();
        ProgramForm &form = *main->programForm();
        watch(monitor.engine(), form, marks);
        QString &note = result.note;
        note = openEditor(monitor, form);
        for (int i = 0; i < runs && note.isEmpty(); ++i) {
            Run r;
            note = transfer(form, marks, dialogs, false, pauseBefore(i), r);
            if (note.isEmpty())
                reads.push_back(r);
        }
        for (int i = 0; i < runs && note.isEmpty(); ++i) {
            Run r;
            note = transfer(form, marks, dialogs, true, pauseBefore(i), r);
            if (note.isEmpty())
                writes.push_back(r);
        }
        if (redraw && note.isEmpty())
            redraw->note = measureRedraws(form, marks, dialogs, redraws, *redraw);
        monitor.slotWidgets(1).runBt->click();
        spin(200); // the last exchange ends on the line before the tap stops
        monitor.endWork();
    }
    line.tap.stop();
    const std::vector<Transaction> ts = transactionsOf(line.tap);
    for (const Run &r : reads)
        if (result.read.note.isEmpty())
            analyse(ts, r, rtu, baud, ReadFunction, readRequests(), result.read);
    for (const Run &r : writes)
        if (result.write.note.isEmpty())
            analyse(ts, r, rtu, baud, WriteFunction, writeRequests(), result.write);
    return result;
}

// A row of milliseconds with two decimals, the gaps being well under one.
void printRow(const char *name, const Samples &s)
{
    if (s.ns.empty())
        return;
    std::printf("  %-40s %9.2f %9.2f", name, double(median(s.ns)) / 1e6,
                double(*std::max_element(s.ns.begin(), s.ns.end())) / 1e6);
    if (!s.ratio.empty()) {
        std::vector<double> r = s.ratio;
        std::nth_element(r.begin(), r.begin() + qsizetype(r.size() / 2), r.end());
        std::printf(" %8.2fx %8.2fx", r[r.size() / 2], *std::max_element(r.begin(), r.end()));
    }
    std::printf("\n");
}

void printNote(const QString &note)
{
    if (!note.isEmpty())
        std::printf("  !! %s\n", qPrintable(note));
}

void printTransfer(const char *what, const TransferResult &r, const char *exchange)
{
    std::printf("  %s: %d exchanges, %d run%s (%d bytes)\n", what, r.exchanges, r.runs,
                r.runs == 1 ? "" : "s", r.bytes);
    printNote(r.note);
    printRow("total: click to the engine's end", r.total);
    printRow("  in flight at the click", r.inFlight);
    printRow("  wire", r.wire);
    printRow("  sim+", r.simExtra);
    printRow("  program", r.program);
    printRow("shown: click to the render after the end", r.shown);
    printRow(exchange, r.gap);
    printRow("  last byte to the engine's end", r.toEnd);
    printRow("  engine's end to the render", r.render);
}

void printLine(bool rtu, int baud, const LineResult &r)
{
    std::printf("%s %d baud, 8N1: a character %.3f ms, the simulator's turnaround %d ms\n",
                rtu ? "RTU" : "ASCII", baud, characterSeconds(baud) * 1e3, TurnaroundMs);
    printNote(r.note);
    printSamplesHeading("x wire");
    printTransfer("Read from Duva (ReadSBt)", r.read, "per exchange, program: reply to request");
    printTransfer("Write to Duva (WrBt)", r.write, "per exchange, program: echo to write");
    std::printf("\n");
    std::fflush(stdout);
}

void printMicros(const char *name, const Samples &s)
{
    if (s.ns.empty())
        return;
    std::printf("  %-40s %9.0f %9.0f\n", name, double(median(s.ns)) / 1e3,
                double(*std::max_element(s.ns.begin(), s.ns.end())) / 1e3);
}

void printRedraw(const RedrawResult &r)
{
    std::printf("Curve redraw: an Enter on the set value of pattern 0, step 0, %d times for each "
                "program,\nwith the configuration window polling the controller (RTU 38400); the "
                "bare drawing as often.\n",
                r.repetitions);
    printNote(r.note);
    std::printf("  %-40s %19s\n  %-40s %9s %9s\n", "", "us", "", "median", "worst");
    const struct
    {
        const char *name;
        const RedrawCase &c;
    } cases[] = {{"the simulator's example, as read", r.typical},
                 {"looping: 0 -> 1 -> 2 -> 1 ..., 99 cycles, 900 min", r.looping}};
    for (const auto &c : cases) {
        std::printf("  %s\n", c.name);
        printMicros("commit: POKBtClick, curve and check", c.c.commit);
        printMicros("shown: POKBtClick to the render", c.c.shown);
        printMicros("bare DrawProgramCurve", c.c.bare);
        printMicros("bare CheckProgram", c.c.check);
    }
    std::fflush(stdout);
}

// A 24-hour recording of one device every second (86400 records), written
// by the recorder's writer, then held against the looping program: the
// file read whole, the comparison, its chart and its CSV, and the whole of
// what "Compare with recording…" does after the file is chosen.
void measureComparison(int repetitions)
{
    std::printf("Comparison with a recording: 24 h of one device every second (86400 records), "
                "against the\nlooping program; %d times each.\n",
                repetitions);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("day.txt"));
    {
        RecordFile::Writer writer;
        writer.setSyncEachLine(false);
        std::array<int, RecordFile::DeviceCount> addresses {};
        addresses[0] = 1;
        if (!writer.open(path, addresses, 1).isEmpty()) {
            printNote(QStringLiteral("record file not written"));
            return;
        }
        QDateTime t(QDate(2026, 12, 9), QTime(0, 0));
        for (int r = 0; r < 86400; ++r) {
            if (r % 997 == 5)
                writer.missing(0);
            else
                writer.sample(0, 250 + (r / 10) % 3000);
            writer.endLine(t.toString(QStringLiteral("h:mm:ss AP")),
                           t.toString(QStringLiteral("M/d/yyyy")));
            t = t.addSecs(1);
        }
        writer.finish();
    }
    const RampSoakProgram program = loopingProgram();
    Samples load, compare, draw, csv, whole;
    Canvas canvas(ProgramCompare::ChartSize);
    ScriptedDialogs dialogs;
    for (int i = 0; i < repetitions; ++i) {
        ProgramCompare::Recording recording;
        qint64 t0 = nowNs();
        if (!LoadRecording(path, recording).isEmpty()) {
            printNote(QStringLiteral("recording not read"));
            return;
        }
        qint64 t1 = nowNs();
        const ProgramCompare::Result r =
            ProgramCompare::compare(program, recording, ProgramCompare::Settings {});
        qint64 t2 = nowNs();
        ProgramCompare::draw(r, 50, canvas);
        qint64 t3 = nowNs();
        const QByteArray bytes = ProgramCompare::csv(r);
        qint64 t4 = nowNs();
        if (r.compared < 86000 || bytes.isEmpty()) {
            printNote(QStringLiteral("compared only %1").arg(r.compared));
            return;
        }
        load.ns.push_back(t1 - t0);
        compare.ns.push_back(t2 - t1);
        draw.ns.push_back(t3 - t2);
        csv.ns.push_back(t4 - t3);
        ProgramComparison window(program, {});
        window.setLoader(LoadRecording);
        dialogs.fileAnswers << path;
        t0 = nowNs();
        window.open();
        whole.ns.push_back(nowNs() - t0);
    }
    std::printf("  %-40s %9s %9s\n", "ms", "median", "worst");
    printRow("file read whole", load);
    printRow("compare", compare);
    printRow("chart drawn", draw);
    printRow("CSV made", csv);
    printRow("the window's open: all of these + texts", whole);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = option(app.arguments(), "--runs", 3);
    const int redraws = option(app.arguments(), "--redraws", 50);
    const int comparisons = option(app.arguments(), "--comparisons", 5);
    if (app.arguments().contains(QStringLiteral("--compare-only"))) {
        measureComparison(comparisons);
        return 0;
    }

    std::printf("The program window's transfers through the configuration window's engine, to "
                "one controller\nof duva-sim in program control, paced.\n"
                "wire = (request + reply bytes) x character time + turnaround, summed over the "
                "transfer's exchanges;\nmedian and worst as multiples are of the wire time.\n\n");
    RedrawResult redraw;
    bool first = true;
    for (const int baud : {38400, 9600}) {
        for (const bool rtu : {true, false}) {
            printLine(rtu, baud, runLine(rtu, baud, runs, redraws, first ? &redraw : nullptr));
            first = false;
        }
    }
    printRedraw(redraw);
    std::printf("\n");
    measureComparison(comparisons);
    return 0;
}
