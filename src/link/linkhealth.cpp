#include "link/linkhealth.h"

#include <algorithm>
#include <vector>

void LinkHealth::sent(qint64 ms, int characters)
{
    if (m_firstMs < 0)
        m_firstMs = ms;
    // Older exchanges than the window are of no more use.
    while (!m_recent.empty() && m_recent.front().sentMs < ms - WindowMs)
        m_recent.pop_front();
    Exchange e;
    e.sentMs = ms;
    e.characters = characters;
    m_recent.push_back(e);
}

void LinkHealth::ended(qint64 ms, Outcome outcome, int characters)
{
    if (m_recent.empty() || m_recent.back().endMs >= 0)
        return; // nothing in flight
    Exchange &e = m_recent.back();
    e.endMs = ms;
    e.outcome = outcome;
    e.characters += characters;
    switch (outcome) {
    case Outcome::TimedOut:
        ++m_timeouts;
        break;
    case Outcome::BadChecksum:
        ++m_badChecksums;
        break;
    case Outcome::Exception:
        ++m_exceptions;
        break;
    case Outcome::Reply:
        break;
    }
}

void LinkHealth::clear()
{
    *this = LinkHealth();
}

LinkHealth::Figures LinkHealth::figures(qint64 nowMs, double characterMs) const
{
    Figures f;
    f.timeouts = m_timeouts;
    f.badChecksums = m_badChecksums;
    f.exceptions = m_exceptions;
    if (m_firstMs < 0)
        return f;
    const qint64 from = nowMs - WindowMs;
    const qint64 span = std::clamp<qint64>(nowMs - m_firstMs, 1, WindowMs);
    int requests = 0;
    qint64 characters = 0;
    std::vector<qint64> replies;
    for (const Exchange &e : m_recent) {
        if (e.sentMs < from)
            continue;
        ++requests;
        characters += e.characters;
        if (e.endMs >= 0 && e.outcome != Outcome::TimedOut)
            replies.push_back(e.endMs - e.sentMs);
    }
    f.requestsPerSecond = requests * 1000.0 / double(span);
    f.lineShare = std::min(1.0, double(characters) * characterMs / double(span));
    if (!replies.empty()) {
        std::sort(replies.begin(), replies.end());
        f.medianMs = int(replies[replies.size() / 2]);
        f.worstMs = int(replies.back());
    }
    return f;
}

QString LinkHealth::Text(const Figures &f)
{
    const QString reply = f.medianMs < 0
        ? QStringLiteral("no reply")
        : QStringLiteral("reply %1 ms (worst %2)").arg(f.medianMs).arg(f.worstMs);
    return QStringLiteral("%1 req/s, %2, line %3 %\n%4 time-outs, %5 bad checksums, %6 exceptions")
               .arg(f.requestsPerSecond, 0, 'f', 1)
               .arg(reply)
               .arg(qRound(f.lineShare * 100))
               .arg(f.timeouts)
               .arg(f.badChecksums)
               .arg(f.exceptions) +
        (f.echoes ? QStringLiteral(", echo removed") : QString());
}
