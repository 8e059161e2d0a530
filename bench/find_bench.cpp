// How long "Find Controllers" takes against duva-sim, paced, as the user
// sees it: the address scan of 1..247 with four controllers on the line,
// and the line-settings search that finds controllers at a setting other
// than the program's.
//
//     QT_QPA_PLATFORM=offscreen bench_find [--runs N]
//
// The window is the real FindForm, shown (offscreen), its port the tap of
// benchline.h linked as COM1 in the working directory; its "Scan" and
// "Search" buttons are clicked and each run lasts from the click until the
// window has rendered the run's end: the logic no longer running and the
// status line and the results table showing the final state (the window
// renders once per turn of the event loop). The tap timestamps every byte;
// it carries the bit rate the window sets on its pseudo-terminal over to
// the simulator's, so a setting the search tries at another rate than the
// simulator's is heard as noise there, as on a real line, and the figures
// are those of the line a user has.
//
// - The address scan, 1..247, with controllers at 3, 17, 120 and 247, at
//   9600 and 38400 baud, RTU and ASCII, all 8N1: from the click to the
//   final render (total), against what a scan with these reply windows
//   needs (expected): the wire time of each exchange that was answered (the
//   identification of the four controllers and the read of their firmware)
//   and the reply window of each silent address, which runs from the
//   request's sending and so holds the request's own characters. Beside it:
//   the answered exchanges' time on the line against their wire time, each
//   silent address from its request to the next one against its reply
//   window, the program's turn from a reply's last byte to the next
//   request, and the window's own time after the last reply: from its last
//   byte to the final render, and to the paint that puts it on the screen.
// - The line-settings search, addresses 1..16, with controllers at 1..4 of
//   a simulator running RTU 19200 and the program set to ASCII 9600: from
//   the click to the final render, against the same yardstick over every
//   setting it scanned; the settings it tried, those it could open (a
//   pseudo-terminal may refuse 7 data bits or parity), the time from a
//   setting's turn to its first request byte on the line (closing and
//   opening the port again), and the window's time after the last reply.
#include "benchline.h"
#include "find/addressscan.h"
#include "find/findform.h"
#include "find/settingssearch.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <limits>
#include <vector>

namespace {

// The application, telling the bench when each event began once it has been
// handled: the window's state is looked at between events, as its render
// and its paint happen in events of their own.
class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;
    static BenchApplication *instance() { return static_cast<BenchApplication *>(qApp); }
    // Called after each event with the time it began, its receiver (not to
    // be touched: it may be gone) and its type.
    std::function<void(qint64 began, const QObject *receiver, QEvent::Type type)> handled;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!handled)
            return QApplication::notify(receiver, event);
        const qint64 began = nowNs();
        const QEvent::Type type = event->type();
        const bool result = QApplication::notify(receiver, event);
        if (handled)
            handled(began, receiver, type);
        return result;
    }
};

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
        const bool hasNext = i + 1 < ts.size() && ts[i + 1].requestStart <= to;
        const qint64 next = hasNext ? ts[i + 1].requestStart : to;
        ++out.requests;
        if (t.replyBytes > 0) {
            const qint64 wire = qint64(wireSeconds(t, int(s->baud)) * 1e9);
            ++out.answered;
            out.expected += wire;
            out.answeredWire += wire;
            out.answeredLine += t.replyEnd - t.requestStart;
            // The last reply is followed by the window's render, counted
            // on its own.
            if (hasNext)
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

// The last byte the tap relayed, either way, between `from` and `to`, and
// whether it was a reply's; 0 for none.
std::pair<qint64, bool> lastByteOf(const LineTap &tap, qint64 from, qint64 to)
{
    std::pair<qint64, bool> last {0, false};
    for (const LineTap::Chunk &c : tap.chunks())
        if (c.ns >= from && c.ns <= to)
            last = {c.ns, c.direction == LineTap::ToMaster};
    return last;
}

void addRatio(Samples &s, qint64 ns, qint64 yardstick)
{
    s.ns.push_back(ns);
    s.ratio.push_back(double(ns) / double(yardstick));
}

// One run of the window, on the tap's clock.
struct Span
{
    qint64 click = 0;
    qint64 rendered = 0; // the render that showed the run's end
    qint64 painted = 0; // the paint after it; 0 when none was seen
};

// Watches the window between events for the render and the paint of a
// run's end, and, in a search, for each setting it turns to.
class Watch
{
public:
    explicit Watch(FindForm &form)
        : m_form(form)
    {
        BenchApplication::instance()->handled = [this](qint64 began, const QObject *receiver,
                                                       QEvent::Type type) {
            after(began, receiver, type);
        };
    }
    ~Watch() { BenchApplication::instance()->handled = nullptr; }
    Watch(const Watch &) = delete;
    Watch &operator=(const Watch &) = delete;

    // The settings a search may try, known by the window's text for them.
    void followSettings(const QList<LineSettings> &candidates) { m_candidates = candidates; }
    // The settings turned to so far, each from the start of the event in
    // which the window took it up (before its first request).
    const std::vector<SettingFrom> &settings() const { return m_settings; }
    // The index among the candidates of the last setting turned to; -1 for none.
    int lastIndex() const { return m_lastIndex; }

    // Clicks `button` and waits for the run's end to be rendered and painted.
    bool run(QPushButton *button, Span &span, int timeoutMs)
    {
        span = {};
        m_settingText.clear();
        span.click = nowNs();
        // Opening the port inside the click hands events round while the
        // window still shows the last run: it is watched from the click's
        // return on. The search takes up its first setting inside the click.
        button->click();
        m_span = &span;
        noteSetting(span.click);
        const bool ended = waitFor([&] { return span.rendered != 0; }, timeoutMs);
        if (ended)
            waitFor([&] { return span.painted != 0; }, 1000);
        m_span = nullptr;
        return ended;
    }

private:
    void after(qint64 began, const QObject *receiver, QEvent::Type type)
    {
        if (!m_span)
            return;
        const FindView &v = m_form.logic().view();
        if (v.running) {
            noteSetting(began);
            return;
        }
        if (m_span->rendered == 0) {
            if (shown(v))
                m_span->rendered = nowNs();
        } else if (m_span->painted == 0 && type == QEvent::UpdateRequest &&
                   (receiver == &m_form || receiver == m_form.windowHandle())) {
            m_span->painted = nowNs();
        }
    }

    // The window's widgets show the logic's final state.
    bool shown(const FindView &v) const
    {
        if (m_form.StatusLB->text() != v.status || m_form.ScanBt->isEnabled() == v.running ||
            m_form.ResultGrid->rowCount() != v.rows.size())
            return false;
        for (int r = 0; r < v.rows.size(); ++r) {
            const QTableWidgetItem *address = m_form.ResultGrid->item(r, 0);
            const QTableWidgetItem *firmware = m_form.ResultGrid->item(r, 2);
            if (!address || !firmware || address->text() != v.rows.at(r).address ||
                firmware->text() != v.rows.at(r).firmware)
                return false;
        }
        return true;
    }

    void noteSetting(qint64 began)
    {
        const QString &text = m_form.logic().view().settings;
        if (m_candidates.isEmpty() || text == m_settingText)
            return;
        m_settingText = text;
        for (int i = 0; i < m_candidates.size(); ++i) {
            if (FindLogic::SettingText(m_candidates.at(i)) == text) {
                m_settings.push_back({began, m_candidates.at(i)});
                m_lastIndex = i;
                return;
            }
        }
    }

    FindForm &m_form;
    Span *m_span = nullptr;
    QList<LineSettings> m_candidates;
    QString m_settingText;
    std::vector<SettingFrom> m_settings;
    int m_lastIndex = -1;
};

// Opens the window on the line's settings and shows it; empty, or what went
// wrong.
QString showForm(FindForm &form)
{
    form.showWindow();
    spin(100); // shown and painted once
    return form.holdsPort() ? QString() : QStringLiteral("port did not open");
}

// The window's time after the runs' last replies, and to their paint.
void addAfterReply(const LineTap &tap, const Span &span, Samples &render, Samples &paint,
                   QString &note)
{
    const auto [last, reply] = lastByteOf(tap, span.click, span.rendered);
    if (last == 0)
        return;
    if (!reply)
        note = QStringLiteral("the line's last byte before the render was a request's");
    render.ns.push_back(span.rendered - last);
    if (span.painted != 0)
        paint.ns.push_back(span.painted - last);
    else
        note = QStringLiteral("no paint seen after the final render");
}

struct ScanResult
{
    QString note;
    int windowMs = 0; // of a silent address
    int requests = 0;
    int answered = 0;
    Samples total, expected, answeredLine, silent, turns, afterRender, afterPaint;
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
    std::vector<Span> spans;
    {
        FindForm form(nullptr, line.source());
        result.note = showForm(form);
        if (!result.note.isEmpty())
            return result;
        form.FirstAddr->setValue(1);
        form.LastAddr->setValue(247);
        Watch watch(form);
        for (int run = 0; run < runs; ++run) {
            Span span;
            if (!watch.run(form.ScanBt, span, 120000)) {
                form.CancelBt->click();
                result.note = "scan did not end";
                break;
            }
            spans.push_back(span);
            const QList<int> found = form.logic().foundAddresses();
            QStringList noFirmware;
            for (const FindRow &row : form.logic().view().rows)
                if (row.garbled || row.firmware == FindLogic::FirmwareText(-1))
                    noFirmware << row.address;
            if (found != QList<int> {3, 17, 120, 247})
                result.note = QStringLiteral("found %1 controllers").arg(found.size());
            else if (!noFirmware.isEmpty())
                result.note =
                    QStringLiteral("garbled or without firmware: ") + noFirmware.join(' ');
            pause(50); // apart on the line
        }
    }
    line.tap.stop();
    const std::vector<Transaction> ts = requestsOf(line.tap, QuietNs);
    const std::vector<SettingFrom> settings {{0, setting}};
    for (const Span &span : spans) {
        const LineRecord l = lineOf(ts, settings, span.click, span.rendered);
        result.requests = l.requests;
        result.answered = l.answered;
        addRatio(result.total, span.rendered - span.click, l.expected);
        result.expected.ns.push_back(l.expected);
        if (l.answered > 0)
            addRatio(result.answeredLine, l.answeredLine, l.answeredWire);
        result.silent.ns.insert(result.silent.ns.end(), l.silentGaps.begin(), l.silentGaps.end());
        result.silent.ratio.insert(result.silent.ratio.end(), l.silentRatios.begin(),
                                   l.silentRatios.end());
        result.turns.ns.insert(result.turns.ns.end(), l.turns.begin(), l.turns.end());
        addAfterReply(line.tap, span, result.afterRender, result.afterPaint, result.note);
    }
    return result;
}

struct SearchResult
{
    QString note;
    int tried = 0; // of the last run
    int opened = 0;
    Samples total, expected, reopen, afterRender, afterPaint;
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
    std::vector<Span> spans;
    {
        FindForm form(nullptr, line.source());
        result.note = showForm(form);
        if (!result.note.isEmpty())
            return result;
        form.SearchFirst->setValue(SearchFirst);
        form.SearchLast->setValue(SearchLast);
        Watch watch(form);
        watch.followSettings(SettingsSearch::Candidates(base));
        for (int run = 0; run < runs; ++run) {
            Span span;
            if (!watch.run(form.SearchBt, span, 120000)) {
                form.CancelBt->click();
                result.note = "search did not end";
                break;
            }
            spans.push_back(span);
            result.tried = watch.lastIndex() + 1;
            const LineSettings &found = form.logic().setting();
            if (found.baud != 19200 || found.framing != ModbusMode::Rtu ||
                form.logic().foundAddresses() != QList<int> {1, 2, 3, 4})
                result.note = QStringLiteral("found %1 controllers at %2")
                                  .arg(form.logic().foundAddresses().size())
                                  .arg(FindLogic::SettingText(found));
            pause(50);
        }
        settings = watch.settings();
    }
    line.tap.stop();
    const std::vector<Transaction> ts = requestsOf(line.tap, QuietNs);
    for (const Span &span : spans) {
        const LineRecord l = lineOf(ts, settings, span.click, span.rendered);
        addRatio(result.total, span.rendered - span.click, l.expected);
        result.expected.ns.push_back(l.expected);
        addAfterReply(line.tap, span, result.afterRender, result.afterPaint, result.note);
    }
    // Each setting's turn to its first request, when it had one before the
    // next setting's turn.
    int opened = 0;
    for (size_t i = 0; i < settings.size(); ++i) {
        const qint64 until =
            i + 1 < settings.size() ? settings[i + 1].ns : std::numeric_limits<qint64>::max();
        const auto first = std::find_if(ts.begin(), ts.end(), [&](const Transaction &t) {
            return t.requestStart >= settings[i].ns;
        });
        if (first == ts.end() || first->requestStart >= until)
            continue;
        result.reopen.ns.push_back(first->requestStart - settings[i].ns);
        if (!spans.empty() && settings[i].ns >= spans.back().click)
            ++opened;
    }
    result.opened = opened;
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
    printSamples("total: click to final render (x expected)", r.total);
    printSamples("expected: answered wire + silent windows", r.expected);
    printSamples("answered exchanges on the line (x wire)", r.answeredLine, 2);
    printSamples("a silent address, request to next (x win)", r.silent, 2);
    printSamples("a reply's last byte to the next request", r.turns, 2);
    printSamples("window: last reply byte to final render", r.afterRender, 2);
    printSamples("window: last reply byte to its paint", r.afterPaint, 2);
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
    printSamples("total: click to final render (x expected)", r.total);
    printSamples("expected: answered wire + silent windows", r.expected);
    printSamples("a setting's turn to its first request", r.reopen, 2);
    printSamples("window: last reply byte to final render", r.afterRender, 2);
    printSamples("window: last reply byte to its paint", r.afterPaint, 2);
    std::printf("\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);
    // Two runs of each keep the whole bench near two minutes.
    const int runs = option(app.arguments(), "--runs", 2);

    std::printf("Find Controllers against duva-sim, paced (turnaround %d ms), through the "
                "window.\nwire = (request + reply bytes) x character time + turnaround; a silent "
                "address costs its reply window\n(AddressScan::replyWindowMs), counted from the "
                "request's sending.\n\n",
                TurnaroundMs);
    struct Row
    {
        QString name;
        Samples total, expected, afterReply;
    };
    std::vector<Row> rows;
    for (const int baud : {9600, 38400}) {
        for (const bool rtu : {false, true}) {
            const ScanResult r = runScan(rtu, baud, runs);
            printScan(rtu, baud, r);
            rows.push_back(
                {QStringLiteral("scan 1..247 %1 %2").arg(rtu ? "RTU" : "ASCII").arg(baud), r.total,
                 r.expected, r.afterRender});
        }
    }
    const SearchResult s = runSearch(runs);
    printSearch(s);
    rows.push_back({QStringLiteral("search, %1 settings tried").arg(s.tried), s.total, s.expected,
                    s.afterRender});

    std::printf("Summary (medians of %d runs; after reply = last reply byte to final render)\n"
                "  %-32s %12s %12s %10s %15s\n",
                runs, "", "total ms", "expected ms", "x expected", "after reply ms");
    for (const Row &row : rows) {
        if (row.total.ns.empty())
            continue;
        std::printf("  %-32s %12.1f %12.1f %9.2fx %15.2f\n", qPrintable(row.name),
                    double(median(row.total.ns)) / 1e6, double(median(row.expected.ns)) / 1e6,
                    median(row.total.ratio),
                    row.afterReply.ns.empty() ? 0.0 : double(median(row.afterReply.ns)) / 1e6);
    }
    return 0;
}
