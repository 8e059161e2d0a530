#include "find/linecheck.h"

#include "find/addressscan.h"
#include "find/findlogic.h"
#include "link/channelerror.h"
#include "link/framing.h"

#include <QMap>

#include <algorithm>

namespace {

// The identification registers, as the address scan reads them.
constexpr int IdentificationStart = 0x4744;
constexpr int IdentificationCount = 4;

int median(QList<int> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

bool LineCheckResult::has(const QString &kind) const
{
    return std::any_of(findings.begin(), findings.end(),
                       [&](const LineFinding &f) { return f.kind == kind; });
}

bool LineCheckResult::clean() const
{
    // An echo is removed by the program: the line works as it is.
    return std::all_of(findings.begin(), findings.end(),
                       [](const LineFinding &f) { return f.kind == QLatin1String("echo"); });
}

LineCheck::LineCheck(Line &line, LineSettingsSource settings, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_settings(std::move(settings))
{
    m_window.setSingleShot(true);
    m_window.setTimerType(Qt::PreciseTimer);
    connect(&m_window, &QTimer::timeout, this, &LineCheck::windowEnded);
}

void LineCheck::start(int first, int last)
{
    m_first = std::clamp(first, 1, 247);
    m_last = std::clamp(last, m_first, 247);
    m_address = m_first;
    m_attempt = 0;
    m_unasked.clear();
    m_done.clear();
    m_result = LineCheckResult();
    m_running = true;
    m_listening = true;
    try {
        m_line.discardInput();
    } catch (const ChannelError &) { }
    m_window.start(ListenMs);
}

void LineCheck::cancel()
{
    m_window.stop();
    m_running = false;
    m_listening = false;
}

void LineCheck::take(int msg, int, int data)
{
    if (msg != Line::DataAvailable)
        return;
    for (int i = 0; i < data; ++i) {
        const char byte = char(m_line.ReadByte());
        if (!m_running)
            continue;
        if (m_listening) {
            if (m_unasked.size() < 4096)
                m_unasked.append(byte);
        } else if (m_current.bytes.size() < 1024) {
            m_current.bytes.append(byte);
            m_current.arrivals.append(m_line.msecs());
        }
    }
}

void LineCheck::ask()
{
    const LineSettings s = m_settings();
    const Framing &f = Framing::of(s.framing);
    m_current = Exchange();
    m_current.address = m_address;
    m_current.request = f.wrap(ReadRequest(m_address, IdentificationStart, IdentificationCount));
    m_current.sentMs = m_line.msecs();
    emit progress(m_address);
    try {
        m_line.SendText(m_current.request);
    } catch (const ChannelError &) {
        // A line that cannot send is silent: the check says so.
    }
    // Room for the echo and two adapter latencies on top of the scan's window.
    m_window.start(AddressScan::replyWindowMs(s, IdentificationCount, MarginMs) +
                   int(m_current.request.size() * CharacterMs(s)) + 40);
}

void LineCheck::windowEnded()
{
    if (!m_running)
        return;
    if (m_listening) {
        m_listening = false;
        ask();
        return;
    }
    m_done.append(m_current);
    int turnaround = 0;
    qint64 echo = -1;
    const Outcome o = judge(m_current, &turnaround, &echo);
    // A silent address is asked once; one that sends anything, three times.
    ++m_attempt;
    if (o == Outcome::Silent || m_attempt >= Attempts) {
        m_attempt = 0;
        ++m_address;
    }
    if (m_address > m_last) {
        finish();
        return;
    }
    ask();
}

LineCheck::Outcome LineCheck::judge(const Exchange &x, int *turnaroundMs, qint64 *echoMs) const
{
    const LineSettings s = m_settings();
    const Framing &f = Framing::of(s.framing);
    const double requestMs = x.request.size() * CharacterMs(s);
    qsizetype at = 0;
    *echoMs = -1;
    if (x.bytes.startsWith(x.request)) {
        // The echo's first byte waits in the adapter for its latency timer
        // (a packet is not full): its delay beyond one character is the
        // latency.
        at = x.request.size();
        *echoMs = std::max<qint64>(0, x.arrivals.at(0) - x.sentMs - qint64(CharacterMs(s)));
    }
    QByteArray rest = x.bytes.mid(at);
    qsizetype first = at;
    if (f.startMark() >= 0) {
        const qsizetype mark = rest.indexOf(char(f.startMark()));
        if (mark > 0) {
            rest.remove(0, mark);
            first += mark;
        }
    }
    if (rest.isEmpty())
        return Outcome::Silent;
    // The reply's first byte waits in the adapter as the echo's did.
    *turnaroundMs = int(std::max<qint64>(
        0, x.arrivals.at(first) - x.sentMs - qint64(requestMs) - std::max<qint64>(0, *echoMs)));
    const int expected = f.expectedLength(rest);
    const QByteArray frame = expected > 0 && expected <= rest.size() ? rest.left(expected) : rest;
    const UnwrappedFrame u = f.unwrap(frame);
    if (u.checksumOk && u.address == x.address && u.function == FnReadRegisters)
        return Outcome::Good;
    // A frame of the right shape from the address asked, whose check fails.
    if (u.address == x.address && u.function == FnReadRegisters && expected == rest.size())
        return Outcome::BadChecksum;
    return Outcome::Garbled;
}

void LineCheck::finish()
{
    m_window.stop();
    m_running = false;
    const LineSettings s = m_settings();
    const Framing &f = Framing::of(s.framing);
    const int replyLength =
        f.mode() == ModbusMode::Rtu ? 5 + 2 * IdentificationCount : 11 + 4 * IdentificationCount;
    LineCheckResult &r = m_result;

    struct PerAddress
    {
        int good = 0, bad = 0, garbled = 0, silent = 0;
        bool overlong = false;
        QList<int> turnarounds;
    };
    QMap<int, PerAddress> by;
    QList<int> echoes;
    bool anyBytes = !m_unasked.isEmpty();
    for (const Exchange &x : std::as_const(m_done)) {
        int turnaround = 0;
        qint64 echo = -1;
        const Outcome o = judge(x, &turnaround, &echo);
        PerAddress &a = by[x.address];
        if (echo >= 0)
            echoes << int(echo);
        switch (o) {
        case Outcome::Silent:
            ++a.silent;
            break;
        case Outcome::Good:
            ++a.good;
            a.turnarounds << turnaround;
            break;
        case Outcome::BadChecksum:
            ++a.bad;
            break;
        case Outcome::Garbled:
            ++a.garbled;
            break;
        }
        if (o != Outcome::Silent) {
            anyBytes = true;
            const qsizetype beyondEcho = x.bytes.size() - (echo >= 0 ? x.request.size() : 0);
            a.overlong = a.overlong || beyondEcho > replyLength;
        }
    }
    int good = 0, bad = 0, garbled = 0;
    for (const PerAddress &a : std::as_const(by)) {
        good += a.good;
        bad += a.bad;
        garbled += a.garbled;
    }
    const auto add = [&r](const char *kind, const QString &text) {
        r.findings.append({QString::fromLatin1(kind), text});
    };

    if (!echoes.isEmpty()) {
        r.latencyMs = median(echoes);
        add("echo",
            QStringLiteral("The line echoes: every request comes back before its reply "
                           "(a two-wire adapter). The program removes the echo; the "
                           "adapter's latency is %1 ms.")
                .arg(r.latencyMs));
    }
    if (!anyBytes) {
        add("silent",
            QStringLiteral("Nothing arrives at all%1: check the wiring (A and B swapped?), the "
                           "controllers' power and the port; or the line speed, parity or "
                           "framing differ from the controllers': try the search.")
                .arg(echoes.isEmpty() ? QString() : QStringLiteral(" but the echo")));
    } else if (good == 0 && bad == 0) {
        add("garbled",
            QStringLiteral("Bytes arrive but never form a frame: the line speed, "
                           "parity or framing differ from the controllers'. Try the "
                           "search."));
    } else if (!m_unasked.isEmpty()) {
        add("garbled",
            QStringLiteral("%1 bytes arrived while nobody was asked: noise on the "
                           "line, or another master.")
                .arg(m_unasked.size()));
    }
    if (good + bad > 0) {
        for (auto it = by.cbegin(); it != by.cend(); ++it) {
            const PerAddress &a = it.value();
            // Every reply garbled while others come through, or longer
            // than one reply: two controllers answer at once.
            if (a.good == 0 && a.bad + a.garbled > 0 && (a.overlong || good > 0))
                add("collision",
                    QStringLiteral("Two replies collide at address %1: two controllers seem to "
                                   "share that address.")
                        .arg(it.key()));
        }
        int shareBad = 0;
        for (const PerAddress &a : std::as_const(by))
            if (a.good > 0)
                shareBad += a.bad + a.garbled;
        if (shareBad > 0)
            add("bad-checksums",
                QStringLiteral("%1 % of the replies failed their check: noise on the line, or a "
                               "missing termination at higher speeds.")
                    .arg(qRound(100.0 * shareBad / (good + shareBad))));
    }
    int slowest = 0;
    for (auto it = by.cbegin(); it != by.cend(); ++it) {
        if (it.value().good == 0)
            continue;
        const int t = median(it.value().turnarounds);
        r.controllers.append({it.key(), t});
        slowest = std::max(slowest, t);
    }

    if (r.has(QStringLiteral("silent")) || (good == 0 && bad == 0)) {
        r.recommended = QStringLiteral("Find the line's setting with the search first");
    } else {
        // The reply window: the slowest turnaround, the adapter's latency
        // twice and the reply on the wire, with room to spare.
        const int wire = int(replyLength * CharacterMs(s) + 0.999);
        const int timeout = ((slowest + 2 * std::max(0, r.latencyMs) + wire) * 2 + 49) / 50 * 50;
        r.recommended =
            QStringLiteral("%1, remove echo %2, reply time-out %3 ms, retries %4")
                .arg(FindLogic::SettingText(s))
                .arg(echoes.isEmpty() ? QStringLiteral("automatic") : QStringLiteral("on"))
                .arg(std::max(100, timeout))
                .arg(r.has(QStringLiteral("bad-checksums")) ? 3 : 1);
    }
    emit finished();
}
