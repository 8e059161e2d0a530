#include "link/replycollector.h"

#include "link/trafficlog.h"

#include <QDateTime>

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
    m_timer = m_line.AddTimer();
    m_line.ArmTimer(m_timer, 0, false);
}

void ReplyCollector::send(const QByteArray &frame, const Framing &framing, int ticks)
{
    m_framing = &framing;
    m_ticks = ticks + m_line.replyMarginTicks();
    m_received.clear();
    m_line.SendText(frame);
    m_line.ArmTimer(m_timer, quint32(m_ticks), true);
    m_waiting = true;
    if (m_source) {
        m_request = frame;
        logTraffic(m_source, TrafficKind::Sent, framing, frame, frame);
    }
}

void ReplyCollector::listen(const QByteArray &request, const Framing &framing, int ticks)
{
    m_framing = &framing;
    m_ticks = ticks + m_line.replyMarginTicks();
    m_received.clear();
    m_request = request;
    m_line.ArmTimer(m_timer, quint32(m_ticks), true);
    m_waiting = true;
}

void ReplyCollector::cancel()
{
    if (m_waiting && m_line.isOpen())
        disarm();
    m_waiting = false;
}

void ReplyCollector::endWindow()
{
    if (m_waiting && m_source) {
        if (!m_received.isEmpty())
            logTraffic(m_source, TrafficKind::Received, *m_framing, m_received, m_request);
        else if (m_framing->unwrap(m_request).address != 0)
            logTraffic(m_source, TrafficKind::TimedOut, *m_framing, {}, m_request);
    }
    cancel();
}

void ReplyCollector::disarm()
{
    m_line.ArmTimer(m_timer, 0, false);
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
            if (!m_waiting || completed) {
                if (unexpected.size() < m_capacity)
                    unexpected.append(byte);
                continue;
            }
            if (m_received.size() >= m_capacity)
                continue;
            m_received.append(byte);
            completed = m_framing->complete(m_received);
        }
        // A whole frame on its own is a late reply: one that came while none
        // was awaited, or one followed in the same window by another whole
        // frame, which is the reply to this request.
        const bool lateFrame = !unexpected.isEmpty() && m_framing->complete(unexpected) &&
            m_framing->unwrap(unexpected).checksumOk;
        if (completed && lateFrame) {
            if (m_source)
                logTraffic(m_source, TrafficKind::Late, *m_framing, m_received, m_request);
            m_received = unexpected;
            unexpected.clear();
        }
        const auto logUnexpected = [&] {
            if (m_source && !unexpected.isEmpty())
                logTraffic(m_source, lateFrame ? TrafficKind::Late : TrafficKind::Unexpected,
                           *m_framing, unexpected, m_request);
        };
        if (!m_waiting) {
            logUnexpected();
            return Event::Bytes;
        }
        if (completed) {
            m_waiting = false;
            disarm();
            if (m_source)
                logTraffic(m_source, TrafficKind::Received, *m_framing, m_received, m_request);
            logUnexpected();
            return Event::Reply;
        }
        if (m_timing == Timing::FromLastByte && data > 0)
            m_line.ArmTimer(m_timer, quint32(m_ticks), true);
        return Event::Bytes;
    }
    if (msg != Line::TimerExpired || triggerHandle != m_timer || !m_waiting)
        return Event::None;
    m_waiting = false;
    if (m_framing->silenceEndsFrame() && !m_received.isEmpty()) {
        if (m_source)
            logTraffic(m_source, TrafficKind::Received, *m_framing, m_received, m_request);
        return Event::Reply;
    }
    // A broadcast expects no reply: its silence is no time-out.
    if (m_source && m_framing->unwrap(m_request).address != 0)
        logTraffic(m_source, TrafficKind::TimedOut, *m_framing, {}, m_request);
    return Event::TimedOut;
}
