#pragma once

#include <QString>
#include <deque>

// How healthy one controller's link is, from its exchanges: the request
// rate, reply times and the share of the line's capacity over the last ten
// seconds, and the time-outs, bad checksums and exceptions since it was
// connected. Times are the line's clock in milliseconds.
class LinkHealth
{
public:
    static constexpr qint64 WindowMs = 10000;

    enum class Outcome { Reply, BadChecksum, Exception, TimedOut };

    struct Figures
    {
        double requestsPerSecond = 0;
        int medianMs = -1; // -1: no reply in the window
        int worstMs = -1;
        int timeouts = 0;
        int badChecksums = 0;
        int exceptions = 0;
        double lineShare = 0; // 0..1: the time the exchanges' characters take on the line
        bool echoes = false; // the line echoes every request (removed)
    };

    // A request of `characters` went out at `ms`.
    void sent(qint64 ms, int characters);
    // The exchange in flight ended at `ms` with `characters` received.
    void ended(qint64 ms, Outcome outcome, int characters);
    void clear();

    Figures figures(qint64 nowMs, double characterMs) const;
    // "8.0 req/s, reply 21 ms (worst 34), line 43 %\n0 time-outs, 0 bad checksums, 0 exceptions"
    // and, on a line that echoes, ", echo removed" at its end.
    static QString Text(const Figures &f);

private:
    struct Exchange
    {
        qint64 sentMs = 0;
        qint64 endMs = -1; // -1: in flight
        int characters = 0;
        Outcome outcome = Outcome::Reply;
    };
    std::deque<Exchange> m_recent;
    qint64 m_firstMs = -1;
    int m_timeouts = 0;
    int m_badChecksums = 0;
    int m_exceptions = 0;
};
