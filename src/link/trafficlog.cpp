#include "link/trafficlog.h"

#include "link/framing.h"
#include "link/replies.h"

#include <QDateTime>

TrafficLog &TrafficLog::shared()
{
    static TrafficLog log;
    return log;
}

void TrafficLog::add(TrafficKind kind, ModbusMode mode, const QByteArray &bytes,
                     const QByteArray &request, const char *source, qint64 timeMs)
{
    if (m_ring.empty())
        m_ring.resize(Capacity);
    TrafficEntry &e = m_ring[size_t(m_added % Capacity)];
    e.serial = ++m_added;
    e.timeMs = timeMs;
    e.kind = kind;
    e.mode = mode;
    e.bytes = bytes;
    e.request = request;
    e.source = source ? source : "";
}

qint64 TrafficLog::oldest() const
{
    return std::max({qint64(1), m_added - Capacity + 1, m_clearedAt + 1});
}

const TrafficEntry *TrafficLog::at(qint64 serial) const
{
    if (serial < oldest() || serial > m_added)
        return nullptr;
    return &m_ring[size_t((serial - 1) % Capacity)];
}

void TrafficLog::clear()
{
    m_clearedAt = m_added;
}

int TrafficAddress(const TrafficEntry &entry)
{
    const bool own = entry.kind == TrafficKind::Sent || entry.kind == TrafficKind::Unexpected ||
        entry.kind == TrafficKind::Late || entry.kind == TrafficKind::Echo;
    return Framing::of(entry.mode).unwrap(own ? entry.bytes : entry.request).address;
}

QString TrafficDecoding(const TrafficEntry &entry)
{
    const Framing &framing = Framing::of(entry.mode);
    switch (entry.kind) {
    case TrafficKind::Sent:
        return DescribeRequest(framing, entry.bytes);
    case TrafficKind::Received: {
        const Reply reply =
            DecodeReply(framing, entry.bytes, entry.request, framing.unwrap(entry.request).address);
        if (reply.kind == ReplyKind::Ignored)
            return QStringLiteral("not the reply asked for (wrong address or start)");
        if (reply.kind == ReplyKind::NotAsked)
            return QStringLiteral("not the reply asked for (another function or register count)");
        return DescribeReply(framing, entry.bytes, entry.request);
    }
    case TrafficKind::TimedOut:
        return QStringLiteral("time-out");
    case TrafficKind::Unexpected:
        return QStringLiteral("unexpected bytes");
    case TrafficKind::Late:
        return QStringLiteral("late reply to an earlier request");
    case TrafficKind::Echo:
        return QStringLiteral("echo of the request: the line echoes, echoes are removed");
    }
    return QString();
}

QStringList TrafficLines(const TrafficLog &log, qint64 from, int address)
{
    QStringList out;
    for (qint64 s = std::max(from, log.oldest()); s <= log.newest(); ++s) {
        const TrafficEntry *e = log.at(s);
        if (e && (address < 0 || TrafficAddress(*e) == address))
            out << TrafficLine(*e);
    }
    return out;
}

QString TrafficLine(const TrafficEntry &entry)
{
    const QString time =
        QDateTime::fromMSecsSinceEpoch(entry.timeMs).toString(QStringLiteral("HH:mm:ss.zzz"));
    const char *arrow = entry.kind == TrafficKind::Sent ? ">"
        : entry.kind == TrafficKind::Received           ? "<"
        : entry.kind == TrafficKind::Unexpected         ? "?"
        : entry.kind == TrafficKind::Late               ? "?"
        : entry.kind == TrafficKind::Echo               ? "="
                                                        : "!";
    const QString frame = entry.kind == TrafficKind::TimedOut
        ? QString()
        : Framing::of(entry.mode).frameText(entry.bytes);
    return QStringLiteral("%1  %2  %3  %4  %5")
        .arg(time, QString::fromLatin1(entry.source), QLatin1String(arrow), frame,
             TrafficDecoding(entry));
}
