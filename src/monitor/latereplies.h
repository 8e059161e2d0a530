#pragma once

#include "link/framing.h"

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <map>

// The requests per address whose replies may still come late: each one that
// failed since the last answer that shows nothing late is left before it.
// A reply carries no register, so a late reply to a read of as many words,
// or a late exception to any write, reads as the answer to another request
// of that shape. A controller answers in order: the answer to a request of
// another shape shows that every earlier reply has come or is lost.
class LateReplies
{
public:
    // `frame` went out at `sentMs` and got no answer of its own (yet).
    void failed(int address, const QByteArray &frame, qint64 sentMs)
    {
        m_hushedUntil.erase(address); // a new doubt: no guard has heard it out
        QList<QByteArray> &frames = m_frames[address];
        if (!frames.contains(frame))
            frames.append(frame);
        qint64 &latest = m_latestSent[address];
        latest = std::max(latest, sentMs);
    }
    // A reply comes within `horizonMs` of its request or not at all: an
    // address whose every request in doubt is older is clear.
    void age(qint64 now, qint64 horizonMs)
    {
        for (auto it = m_latestSent.begin(); it != m_latestSent.end();) {
            if (it->second + horizonMs > now) {
                ++it;
                continue;
            }
            m_frames.erase(it->first);
            m_hushedUntil.erase(it->first);
            it = m_latestSent.erase(it);
        }
    }
    void answered(const Framing &framing, int address, const QByteArray &frame)
    {
        const auto it = m_frames.find(address);
        if (it == m_frames.end())
            return;
        for (const QByteArray &f : it->second)
            if (sameShape(framing, f, frame))
                return; // the answer may be a late one's: nothing is shown
        m_latestSent.erase(address);
        m_frames.erase(it);
    }
    // Whether the reply to `frame` could be taken for a late reply to
    // another request: the same request again is harmless.
    bool confusable(const Framing &framing, int address, const QByteArray &frame) const
    {
        const auto it = m_frames.find(address);
        if (it == m_frames.end())
            return false;
        for (const QByteArray &f : it->second)
            if (f != frame && sameShape(framing, f, frame))
                return true;
        return false;
    }
    // Whether `reply` (a whole frame from `address`) could be the late
    // answer to a request in doubt there: a read of as many words, the echo
    // of that very write, an exception to that function.
    bool couldAnswer(const Framing &framing, int address, const QByteArray &reply) const
    {
        const auto it = m_frames.find(address);
        if (it == m_frames.end())
            return false;
        const UnwrappedFrame r = framing.unwrap(reply);
        if (!r.checksumOk)
            return false;
        for (const QByteArray &f : it->second) {
            const UnwrappedFrame q = framing.unwrap(f);
            if (r.function == (q.function | FnExceptionFlag) ||
                (r.function == FnWriteRegister && q.function == FnWriteRegister &&
                 r.data == q.data) ||
                (r.function == FnReadRegisters && q.function == FnReadRegisters &&
                 q.data.size() == 4 && !r.data.isEmpty() &&
                 quint8(r.data.at(0)) == 2 * quint8(q.data.at(3))))
                return true;
        }
        return false;
    }
    // Whether anything may still come late from `address`.
    bool any(int address) const { return m_frames.count(address) > 0; }
    // Whether any request of the shape of `frame` may still be answered.
    bool inDoubt(const Framing &framing, int address, const QByteArray &frame) const
    {
        const auto it = m_frames.find(address);
        if (it == m_frames.end())
            return false;
        for (const QByteArray &f : it->second)
            if (sameShape(framing, f, frame))
                return true;
        return false;
    }
    // Every shape is in doubt there: the address is left alone until
    // `until`, and what may still come is forgotten then, heard or not.
    // A guard already running is not lengthened.
    void hush(int address, qint64 until) { m_hushedUntil.try_emplace(address, until); }
    void expire(int address, qint64 now)
    {
        const auto it = m_hushedUntil.find(address);
        if (it == m_hushedUntil.end() || it->second > now)
            return;
        m_hushedUntil.erase(it);
        m_frames.erase(address);
        m_latestSent.erase(address);
    }

private:
    static bool sameShape(const Framing &framing, const QByteArray &a, const QByteArray &b)
    {
        const UnwrappedFrame x = framing.unwrap(a);
        const UnwrappedFrame y = framing.unwrap(b);
        return x.function == y.function &&
            (x.function != FnReadRegisters || x.data.mid(2, 2) == y.data.mid(2, 2));
    }

    std::map<int, QList<QByteArray>> m_frames;
    std::map<int, qint64> m_hushedUntil;
    std::map<int, qint64> m_latestSent; // the newest request in doubt, by address
};
