#pragma once

#include "link/framing.h"
#include "link/line.h"

#include <QByteArray>

// Collects the reply to the one request a window has outstanding. It sends
// the request, reads the bytes the line announces (at most `capacity` are
// kept), knows from the framing when the reply is complete, and runs the
// reply window on one line timer: counted from the send, or re-armed by every
// burst of bytes. When the window ends, a framing whose frames end in silence
// hands over what has arrived; otherwise, and when nothing arrived, it is a
// time-out. What a reply, a bad checksum or a time-out means is the window's
// to decide.
//
//     collector.attach();                         // after the line opened
//     collector.send(frame, framing, ticks);
//     ... in the window's trigger handler:
//     switch (collector.take(msg, handle, data)) {
//     case ReplyCollector::Event::Reply: use(collector.received()); break;
//     case ReplyCollector::Event::TimedOut: ...; break;
//     default: break;
//     }
class ReplyCollector
{
public:
    enum class Timing { FromSend, FromLastByte };
    enum class Event {
        None, // not for this collector (another timer, a late timer event)
        Bytes, // bytes arrived; the reply is not complete (or none is awaited)
        Reply, // the reply is complete, or ended by the silence after it
        TimedOut, // the reply window ended without a reply
    };

    ReplyCollector(Line &line, Timing timing, int capacity = 512);

    // Every request sent and every reply or time-out taken goes to the
    // program's traffic log under `source` (the window's name); none when
    // null.
    void setTrafficSource(const char *source) { m_source = source; }

    // Adds the collector's timer to the line, unarmed. Call after every
    // opening: the line counts its timer handles afresh.
    void attach();
    // Sends `frame` and starts the reply window of `ticks`, and the line's
    // margin on top (a network's delays). Bytes received before are
    // forgotten.
    void send(const QByteArray &frame, const Framing &framing, int ticks);
    // Waits for a reply without sending anything (a late reply to an
    // earlier request, `request` as it was sent).
    void listen(const QByteArray &request, const Framing &framing, int ticks);
    // Ends the wait without a result (the window stops or closes).
    void cancel();
    // Ends the wait because the window's own reply window ended: logged as
    // what arrived (a cut-short reply) or as a time-out.
    void endWindow();

    // Hands a line event to the collector; reads every announced byte.
    Event take(quint16 msg, quint16 triggerHandle, quint16 data);

    bool waiting() const { return m_waiting; }
    // The bytes received since the last send (the reply once complete).
    const QByteArray &received() const { return m_received; }
    // Forgets the bytes received.
    void clear() { m_received.clear(); }
    quint16 timer() const { return m_timer; }
    int ticks() const { return m_ticks; }

private:
    void disarm();

    Line &m_line;
    Timing m_timing;
    int m_capacity;
    const Framing *m_framing = &Framing::of(ModbusMode::Ascii);
    QByteArray m_received;
    quint16 m_timer = 0;
    int m_ticks = 0;
    bool m_waiting = false;
    const char *m_source = nullptr;
    QByteArray m_request; // the last frame sent, for the log
};
