// How long "Find Controllers" takes against duva-sim, paced: the address
// scan of 1..247 with four controllers on the line, and the line-settings
// search that finds controllers at a setting other than the program's.
//
//     bench_find [--runs N]
//
// The master is the scan and the search of src/find on a SerialChannel, fed
// the channel's events through its trigger handler. Its
// traffic goes through the tap of benchline.h, which timestamps every byte.
// The tap carries the bit rate the master sets on its pseudo-terminal over
// to the simulator's, so a setting the search tries at another rate than
// the simulator's is heard as noise there, as on a real line, and the
// figures are those of the line a user has.
//
// - The address scan, 1..247, with controllers at 3, 17, 120 and 247, at
//   9600 and 38400 baud, RTU and ASCII, all 8N1: from start() to finished
//   (total), against what a scan with these reply windows needs (expected):
//   the wire time of each exchange that was answered (the identification of
//   the four controllers and the read of their firmware) and the reply
//   window of each silent address, which runs from the request's sending
//   and so holds the request's own characters. Beside it: the answered
//   exchanges' time on the line against their wire time, each silent
//   address from its request to the next one against its reply window, and
//   the program's turn from a reply's last byte to the next request.
// - The line-settings search, addresses 1..16, with controllers at 1..4 of
//   a simulator running RTU 19200 and the program set to ASCII 9600: from
//   start() to finished, against the same yardstick over every setting it
//   scanned; the settings it tried, those it could open (a pseudo-terminal
//   may refuse 7 data bits or parity) and the time from a setting's turn to
//   its first request (closing and opening the port again).
#include "benchline.h"
#include "find/addressscan.h"
#include "find/settingssearch.h"
#include "link/serialchannel.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const std::vector<std::pair<int, int>> ScanControllers {
    {3, 0x4824}, {17, 0x4848}, {120, 0x4896}, {247, 0x9696}};
const std::vector<std::pair<int, int>> SearchControllers {
    {1, 0x4848}, {2, 0x4848}, {3, 0x4824}, {4, 0x4896}};
constexpr int SearchFirst = 1;
constexpr int SearchLast = 16;

// The master sends a request in one go; between two requests lies at least
// a reply window.
constexpr qint64 QuietNs = 5'000'000;

// The setting in force at a time: the last one set before it.
struct SettingFrom
{
    qint64 ns;
    LineSettings setting;
};

const LineSettings *settingAt(const std::vector<SettingFrom> &settings, qint64 ns)
{
    const LineSettings *in = nullptr;
    for (const SettingFrom &s : settings)
        if (s.ns <= ns)
            in = &s.setting;
    return in;
}

// What the line's record says of the requests between `from` and `to`.
struct LineRecord
{
    int requests = 0;
    int answered = 0;
    qint64 expected = 0; // answered: wire time; silent: reply window
    qint64 answeredLine = 0; // answered: first request byte to last reply byte
    qint64 answeredWire = 0;
    std::vector<qint64> silentGaps; // request to the next (or to the end)
    std::vector<double> silentRatios; // of those, to the reply window
    std::vector<qint64> turns; // reply's last byte to the next request
};

LineRecord lineOf(const std::vector<Transaction> &ts, const std::vector<SettingFrom> &settings,
                  qint64 from, qint64 to)
{
    LineRecord out;
    for (size_t i = 0; i < ts.size(); ++i) {
        const Transaction &t = ts[i];
        if (t.requestStart < from || t.requestStart > to)
            continue;
        const LineSettings *s = settingAt(settings, t.requestStart);
        if (!s)
            continue;
        const bool rtu = s->framing == ModbusMode::Rtu;
        const qint64 next =
            i + 1 < ts.size() && ts[i + 1].requestStart <= to ? ts[i + 1].requestStart : to;
        ++out.requests;
        if (t.replyBytes > 0) {
            const qint64 wire = qint64(wireSeconds(t, int(s->baud)) * 1e9);
            ++out.answered;
            out.expected += wire;
            out.answeredWire += wire;
            out.answeredLine += t.replyEnd - t.requestStart;
            out.turns.push_back(next - t.replyEnd);
        } else {
            const int registers = std::max(1, headOf(t.request, rtu).word);
            const qint64 window = qint64(AddressScan::replyWindowMs(*s, registers)) * 1'000'000;
            out.expected += window;
            out.silentGaps.push_back(next - t.requestStart);
            out.silentRatios.push_back(double(next - t.requestStart) / double(window));
        }
    }
    return out;
}

void addRatio(Samples &s, qint64 ns, qint64 yardstick)
{
    s.ns.push_back(ns);
    s.ratio.push_back(double(ns) / double(yardstick));
}

struct ScanResult
{
    QString note;
    int windowMs = 0; // of a silent address
    int requests = 0;
    int answered = 0;
    Samples total, expected, answeredLine, silent, turns;
};

ScanResult runScan(bool rtu, int baud, int runs)
{
    ScanResult result;
    PolledLine line(rtu, baud, true, ScanControllers);
    if (!line.ok()) {
        result.note = "simulator did not start";
        return result;
    }
    // The simulator's settings, 8N1 in ASCII too: the pseudo-terminal runs 8N1.
    const LineSettings setting = line.settings.lineSettings();
    result.windowMs = AddressScan::replyWindowMs(setting, 4);
    std::vector<std::pair<qint64, qint64>> spans; // each scan's start and finish
    {
        SerialChannel channel;
        try {
            channel.openWith(setting);
        } catch (const std::exception &) {
            result.note = "port did not open";
            return result;
        }
        AddressScan scan(channel, line.source());
        channel.setTriggerHandler(
            [&scan](quint16 msg, quint16 handle, quint16 data) { scan.take(msg, handle, data); });
        qint64 finished = 0;
        QObject::connect(&scan, &AddressScan::finished, [&finished] { finished = nowNs(); });
        for (int run = 0; run < runs; ++run) {
            finished = 0;
            const qint64 start = nowNs();
            scan.start(1, 247);
            if (!waitFor([&] { return finished != 0; }, 120000)) {
                scan.cancel();
                result.note = "scan did not end";
                break;
            }
            spans.push_back({start, finished});
            QStringList wrong;
            for (const FoundController &c : scan.found())
                if (c.garbled || c.firmware < 0)
                    wrong << QString::number(c.address);
            if (scan.found().size() != qsizetype(ScanControllers.size()))
                result.note = QStringLiteral("found %1 controllers").arg(scan.found().size());
            else if (!wrong.isEmpty())
                result.note = QStringLiteral("garbled or without firmware: ") + wrong.join(' ');
            pause(50); // apart on the line
        }
        channel.close();
    }
    line.tap.stop();
    const std::vector<Transaction> ts = requestsOf(line.tap, QuietNs);
    const std::vector<SettingFrom> settings {{0, setting}};
    for (const auto &[start, end] : spans) {
        const LineRecord l = lineOf(ts, settings, start, end);
        result.requests = l.requests;
        result.answered = l.answered;
        addRatio(result.total, end - start, l.expected);
        result.expected.ns.push_back(l.expected);
        if (l.answered > 0)
            addRatio(result.answeredLine, l.answeredLine, l.answeredWire);
        result.silent.ns.insert(result.silent.ns.end(), l.silentGaps.begin(), l.silentGaps.end());
        result.silent.ratio.insert(result.silent.ratio.end(), l.silentRatios.begin(),
                                   l.silentRatios.end());
        result.turns.ns.insert(result.turns.ns.end(), l.turns.begin(), l.turns.end());
    }
    return result;
}

struct SearchResult
{
    QString note;
    int tried = 0; // of the last run
    int opened = 0;
    Samples total, expected, reopen;
};

SearchResult runSearch(int runs)
{
    SearchResult result;
    // The simulator at RTU 19200; the program's settings ASCII 9600 8N1.
    PolledLine line(true, 19200, true, SearchControllers);
    if (!line.ok()) {
        result.note = "simulator did not start";
        return result;
    }
    line.settings.select(ComSettings::ComBaudRate, baudIndex(9600));
    line.settings.select(ComSettings::ModBus, 0);
    const LineSettings base = line.settings.lineSettings();
    std::vector<SettingFrom> settings;
    std::vector<std::pair<qint64, qint64>> spans;
    {
        SerialChannel channel;
        SettingsSearch search(channel);
        channel.setTriggerHandler([&search](quint16 msg, quint16 handle, quint16 data) {
            search.take(msg, handle, data);
        });
        qint64 finished = 0;
        qint64 turn = 0; // a setting's turn, until its first request
        int tried = 0;
        int opened = 0;
        QObject::connect(&search, &SettingsSearch::finished, [&finished] { finished = nowNs(); });
        QObject::connect(&search, &SettingsSearch::trying, [&](int index, int) {
            turn = nowNs();
            tried = index + 1;
            settings.push_back({turn, search.setting()});
        });
        QObject::connect(&search.scan(), &AddressScan::progress, [&](int) {
            if (turn == 0)
                return;
            result.reopen.ns.push_back(nowNs() - turn);
            turn = 0;
            ++opened;
        });
        for (int run = 0; run < runs; ++run) {
            try {
                channel.openWith(base); // where the program's line stands
            } catch (const std::exception &) {
                result.note = "port did not open";
                break;
            }
            finished = 0;
            tried = opened = 0;
            const qint64 start = nowNs();
            search.start(base, SearchFirst, SearchLast);
            if (!waitFor([&] { return finished != 0; }, 120000)) {
                search.cancel();
                result.note = "search did not end";
                break;
            }
            spans.push_back({start, finished});
            result.tried = tried;
            result.opened = opened;
            if (!search.succeeded() || search.setting().baud != 19200 ||
                search.setting().framing != ModbusMode::Rtu ||
                search.found().size() != qsizetype(SearchControllers.size()))
                result.note =
                    QStringLiteral("found %1 controllers at %2 baud, %3")
                        .arg(search.found().size())
                        .arg(search.setting().baud)
                        .arg(search.setting().framing == ModbusMode::Rtu ? "RTU" : "ASCII");
            channel.close();
            pause(50);
        }
    }
    line.tap.stop();
    const std::vector<Transaction> ts = requestsOf(line.tap, QuietNs);
    for (const auto &[start, end] : spans) {
        const LineRecord l = lineOf(ts, settings, start, end);
        addRatio(result.total, end - start, l.expected);
        result.expected.ns.push_back(l.expected);
    }
    return result;
}

void printScan(bool rtu, int baud, const ScanResult &r)
{
    std::printf("Address scan 1..247, %s %d baud, 8N1: a character %.3f ms, a silent address's "
                "reply window %d ms\n",
                rtu ? "RTU" : "ASCII", baud, characterSeconds(baud) * 1e3, r.windowMs);
    if (!r.note.isEmpty())
        std::printf("  !! %s\n", qPrintable(r.note));
    std::printf("  %d requests, %d answered, %zu times\n", r.requests, r.answered,
                r.total.ns.size());
    printSamplesHeading("x yardstick");
    printSamples("total: start to finished (x expected)", r.total);
    printSamples("expected: answered wire + silent windows", r.expected);
    printSamples("answered exchanges on the line (x wire)", r.answeredLine, 2);
    printSamples("a silent address, request to next (x win)", r.silent, 2);
    printSamples("a reply's last byte to the next request", r.turns, 2);
    std::printf("\n");
    std::fflush(stdout);
}

void printSearch(const SearchResult &r)
{
    std::printf("Line-settings search 1..%d, program at ASCII 9600, simulator at RTU 19200 "
                "(controllers 1..4)\n",
                SearchLast);
    if (!r.note.isEmpty())
        std::printf("  !! %s\n", qPrintable(r.note));
    std::printf("  %d settings tried, %d of them opened and scanned, %zu times\n", r.tried,
                r.opened, r.total.ns.size());
    printSamplesHeading("x yardstick");
    printSamples("total: start to finished (x expected)", r.total);
    printSamples("expected: answered wire + silent windows", r.expected);
    printSamples("a setting's turn to its first request", r.reopen, 2);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = option(app.arguments(), "--runs", 3);

    std::printf("Find Controllers against duva-sim, paced (turnaround %d ms).\n"
                "wire = (request + reply bytes) x character time + turnaround; a silent "
                "address costs its reply window\n(AddressScan::replyWindowMs), counted from the "
                "request's sending.\n\n",
                TurnaroundMs);
    struct Row
    {
        QString name;
        Samples total, expected;
    };
    std::vector<Row> rows;
    for (const int baud : {9600, 38400}) {
        for (const bool rtu : {false, true}) {
            const ScanResult r = runScan(rtu, baud, runs);
            printScan(rtu, baud, r);
            rows.push_back(
                {QStringLiteral("scan 1..247 %1 %2").arg(rtu ? "RTU" : "ASCII").arg(baud), r.total,
                 r.expected});
        }
    }
    const SearchResult s = runSearch(runs);
    printSearch(s);
    rows.push_back({QStringLiteral("search, %1 settings tried").arg(s.tried), s.total, s.expected});

    std::printf("Summary (medians of %d runs)\n  %-32s %12s %12s %10s\n", runs, "", "total ms",
                "expected ms", "x expected");
    for (const Row &row : rows) {
        if (row.total.ns.empty())
            continue;
        std::printf("  %-32s %12.1f %12.1f %9.2fx\n", qPrintable(row.name),
                    double(median(row.total.ns)) / 1e6, double(median(row.expected.ns)) / 1e6,
                    median(row.total.ratio));
    }
    return 0;
}
