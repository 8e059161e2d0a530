#include "link/replycollector.h"

#include "link/channelerror.h"
#include "link/trafficlog.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

namespace {

void logTraffic(const char *source, TrafficKind kind, const Framing &framing,
                const QByteArray &bytes, const QByteArray &request)
{
    TrafficLog::shared().add(kind, framing.mode(), bytes, request, source,
                             QDateTime::currentMSecsSinceEpoch());
}

} // namespace

ReplyCollector::ReplyCollector(Line &line, Timing timing, int capacity)
    : m_line(line)
    , m_timing(timing)
    , m_capacity(capacity)
{ }

void ReplyCollector::attach()
{
    m_waiting = false;
    m_deferred = false;
    m_timer = m_line.AddTimer();
    m_line.ArmTimer(m_timer, 0, false);
}

void ReplyCollector::reattach()
{
    // A line that came back by itself still has the timer; a reopened one
    // addresses its restored timer by the same handle.
    m_waiting = false;
    m_deferred = false;
    try {
        if (m_timer != 0) {
            m_line.ArmTimer(m_timer, 0, false);
            return;
        }
    } catch (const ChannelError &) { }
    attach();
}

namespace {

int ticksOf(int ms)
{
    return std::max(1, (ms + 54) / 55);
}

// Functions whose good reply is the request itself: their echo and their
// reply cannot be told apart by their bytes.
bool repliedByItself(int function)
{
    return function == 0x05 || function == FnWriteRegister || function == 0x08;
}

} // namespace

void ReplyCollector::send(const QByteArray &frame, const Framing &framing, int ticks)
{
    const LineTalk &line = m_line.lineSettings().talk;
    m_framing = &framing;
    // The line's reply time-out replaces a text window, and gives a binary
    // frame's first byte longer than its silence.
    const int own = line.replyTimeoutMs > 0 && !framing.silenceEndsFrame()
        ? ticksOf(line.replyTimeoutMs)
        : ticks;
    m_ticks = own + m_line.replyMarginTicks();
    m_firstTicks = m_ticks;
    if (framing.silenceEndsFrame())
        m_firstTicks = line.replyTimeoutMs > 0
            ? std::max(m_ticks, ticksOf(line.replyTimeoutMs) + m_line.replyMarginTicks())
            : m_ticks + AdapterLatencyTicks;
    m_received.clear();
    m_echo.clear();
    m_echoHeld.clear();
    m_request = frame;
    m_checkEcho = line.echo != EchoRemoval::Off && !frame.isEmpty();
    m_mayEcho = m_checkEcho;
    m_deferred = false;
    if (m_line.connecting()) {
        // Sent once connected: looked at every tick.
        m_line.ArmTimer(m_timer, 1, true);
        m_deferred = true;
        m_waiting = true;
        return;
    }
    if (line.pauseMs > 0 && m_endedMs >= 0) {
        const qint64 wait =
            m_endedMs + std::min(line.pauseMs, LineTalk::MaximumPauseMs) - m_line.msecs();
        if (wait > 0) {
            // Sent when the pause has passed (the timer's expiry).
            m_line.ArmTimer(m_timer, quint32(ticksOf(int(wait))), true);
            m_deferred = true;
            m_waiting = true;
            return;
        }
    }
    transmit();
    m_waiting = true;
}

void ReplyCollector::transmit()
{
    m_line.SendText(m_request);
    startWindow();
    if (m_source)
        logTraffic(m_source, TrafficKind::Sent, *m_framing, m_request, m_request);
}

void ReplyCollector::startWindow()
{
    // However long bytes keep coming, the window ends by this tick.
    m_deadline = m_line.tick() + 2 * m_firstTicks + 4;
    m_line.ArmTimer(m_timer, quint32(m_firstTicks), true);
}

bool ReplyCollector::armWithin(int ticks)
{
    const qint64 left = m_deadline - m_line.tick();
    if (left <= 0)
        return false;
    m_line.ArmTimer(m_timer, quint32(std::min<qint64>(ticks, left)), true);
    return true;
}

void ReplyCollector::listen(const QByteArray &request, const Framing &framing, int ticks)
{
    m_framing = &framing;
    m_ticks = ticks + m_line.replyMarginTicks();
    m_firstTicks = m_ticks;
    m_received.clear();
    m_echo.clear();
    m_echoHeld.clear();
    m_checkEcho = false;
    m_mayEcho = false;
    m_deferred = false;
    m_request = request;
    startWindow();
    m_waiting = true;
}

void ReplyCollector::cancel()
{
    if (m_waiting && m_line.isOpen())
        disarm();
    if (m_waiting && !m_deferred)
        m_endedMs = m_line.msecs();
    m_waiting = false;
    m_deferred = false;
}

void ReplyCollector::endWindow()
{
    if (m_waiting && !m_deferred && m_source) {
        if (!m_received.isEmpty())
            logTraffic(m_source, TrafficKind::Received, *m_framing, m_received, m_request);
        else if (m_framing->unwrap(m_request).address != 0)
            logTraffic(m_source, TrafficKind::TimedOut, *m_framing, {}, m_request);
    }
    cancel();
}

void ReplyCollector::keepStray(const QByteArray &frame)
{
    // Nobody may take them: the oldest make room.
    constexpr qsizetype Kept = 8;
    if (m_strays.size() >= Kept)
        m_strays.removeFirst();
    m_strays.append(frame);
}

void ReplyCollector::disarm()
{
    m_line.ArmTimer(m_timer, 0, false);
}

void ReplyCollector::accept(char byte, bool &completed, QByteArray &stray)
{
    if (m_received.size() >= m_capacity)
        return;
    // A start mark begins the frame afresh (what came before was a
    // glitch); bytes before the first one are not the reply.
    const int mark = m_framing->startMark();
    if (mark >= 0 && byte == char(mark)) {
        stray.append(m_received);
        m_received.clear();
    } else if (mark >= 0 && m_received.isEmpty()) {
        stray.append(byte);
        return;
    }
    m_received.append(byte);
    completed = m_framing->complete(m_received);
}

void ReplyCollector::echoComplete(bool &completed, QByteArray &stray)
{
    m_checkEcho = false;
    const bool certain = m_line.lineSettings().talk.echo == EchoRemoval::On || m_line.echoHeard() ||
        !repliedByItself(m_framing->unwrap(m_request).function);
    if (!certain) {
        // As much the reply as the echo, on a line not known to echo.
        for (const char c : std::exchange(m_echoHeld, {}))
            accept(c, completed, stray);
        return;
    }
    m_echo = std::exchange(m_echoHeld, {});
    if (m_line.noteEcho() && m_source)
        logTraffic(m_source, TrafficKind::Echo, *m_framing, m_echo, m_request);
    // The reply follows the echo: its window starts now.
    startWindow();
}

ReplyCollector::Event ReplyCollector::ended(Event event)
{
    m_waiting = false;
    m_endedMs = m_line.msecs();
    if (!m_source)
        return event;
    if (event == Event::Reply)
        logTraffic(m_source, TrafficKind::Received, *m_framing, m_received, m_request);
    else if (m_framing->unwrap(m_request).address != 0) // a broadcast expects no reply
        logTraffic(m_source, TrafficKind::TimedOut, *m_framing, {}, m_request);
    return event;
}

ReplyCollector::Event ReplyCollector::endByTimer()
{
    if (m_received.isEmpty() && !m_echoHeld.isEmpty())
        m_received = std::exchange(m_echoHeld, {}); // a cut-short echo, or a reply
    if (m_framing->silenceEndsFrame() && !m_received.isEmpty())
        return ended(Event::Reply);
    return ended(Event::TimedOut);
}

ReplyCollector::Event ReplyCollector::take(quint16 msg, quint16 triggerHandle, quint16 data)
{
    if (msg == Line::DataAvailable) {
        // Every announced byte is read, so that nothing is announced again
        // later as the start of the next reply. Once the reply is complete,
        // what follows in the same burst is dropped.
        // What comes with no reply awaited, or after a complete one, is
        // logged as such: a late reply, another talker, noise.
        bool completed = false;
        QByteArray unexpected;
        for (int i = 0; i < data; ++i) {
            const char byte = char(m_line.ReadByte());
            if (!m_waiting || m_deferred || completed) {
                if (unexpected.size() < m_capacity)
                    unexpected.append(byte);
                continue;
            }
            if (m_checkEcho) {
                const int mark = m_framing->startMark();
                if (m_echoHeld.isEmpty() && mark >= 0 && byte != char(mark)) {
                    unexpected.append(byte); // a stray byte before the frame
                    continue;
                }
                if (byte == m_request.at(m_echoHeld.size())) {
                    m_echoHeld.append(byte);
                    if (m_echoHeld.size() == m_request.size())
                        echoComplete(completed, unexpected);
                    continue;
                }
                // Not the request coming back: what was held begins the reply.
                m_checkEcho = false;
                for (const char c : std::exchange(m_echoHeld, {}))
                    accept(c, completed, unexpected);
                if (completed)
                    continue;
            }
            accept(byte, completed, unexpected);
        }
        // A whole frame on its own is a late reply: one that came while none
        // was awaited, or one followed in the same window by another whole
        // frame, which is the reply to this request.
        const bool lateFrame = !unexpected.isEmpty() && m_framing->complete(unexpected) &&
            m_framing->unwrap(unexpected).checksumOk;
        if (completed && lateFrame) {
            if (m_source)
                logTraffic(m_source, TrafficKind::Late, *m_framing, m_received, m_request);
            keepStray(m_received);
            m_received = unexpected;
            unexpected.clear();
        }
        if (lateFrame && !unexpected.isEmpty())
            keepStray(unexpected);
        const auto logUnexpected = [&] {
            if (m_source && !unexpected.isEmpty())
                logTraffic(m_source, lateFrame ? TrafficKind::Late : TrafficKind::Unexpected,
                           *m_framing, unexpected, m_request);
        };
        if (!m_waiting || m_deferred) {
            logUnexpected();
            return Event::Bytes;
        }
        // A good reply to a request that cannot be its own reply, with no
        // echo before it: the line does not echo. Were it still believed to,
        // every write's one copy, its genuine reply, would be removed.
        if (completed && m_mayEcho && m_echo.isEmpty() && m_line.echoHeard() &&
            m_line.lineSettings().talk.echo == EchoRemoval::Automatic &&
            !repliedByItself(m_framing->unwrap(m_request).function) &&
            m_framing->unwrap(m_received).checksumOk)
            m_line.forgetEcho();
        if (completed) {
            disarm();
            const Event e = ended(Event::Reply);
            logUnexpected();
            return e;
        }
        logUnexpected();
        if (m_timing == Timing::FromLastByte && data > 0) {
            const bool first = m_received.isEmpty() && m_echoHeld.isEmpty();
            if (!armWithin(first ? m_firstTicks : m_ticks)) {
                disarm();
                return endByTimer();
            }
        }
        return Event::Bytes;
    }
    if (msg != Line::TimerExpired || triggerHandle != m_timer || !m_waiting)
        return Event::None;
    if (m_deferred) {
        if (m_line.connecting()) {
            m_line.ArmTimer(m_timer, 1, true);
            return Event::None;
        }
        // The line's pause has passed, or its connection is made (or has
        // failed: the request is lost and its window says so): it goes out.
        m_deferred = false;
        m_waiting = false;
        transmit();
        m_waiting = true;
        return Event::None;
    }
    // A binary reply whose length is not reached yet paused inside (an
    // adapter's packets): it is waited for, within the total limit.
    const QByteArray &sofar = m_received.isEmpty() ? m_echoHeld : m_received;
    if (m_timing == Timing::FromLastByte && m_framing->silenceEndsFrame() && !sofar.isEmpty() &&
        m_framing->expectedLength(sofar) > sofar.size() && armWithin(m_ticks))
        return Event::Bytes;
    return endByTimer();
}
