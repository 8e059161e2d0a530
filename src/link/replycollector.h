#pragma once

#include "link/framing.h"
#include "link/line.h"

#include <QByteArray>
#include <QList>

#include <utility>

// Collects the reply to the one request a window has outstanding. It sends
// the request, reads the bytes the line announces (at most `capacity` are
// kept), knows from the framing when the reply is complete, and runs the
// reply window on one line timer: counted from the send, or re-armed by every
// burst of bytes. When the window ends, a framing whose frames end in silence
// hands over what has arrived; otherwise, and when nothing arrived, it is a
// time-out. What a reply, a bad checksum or a time-out means is the window's
// to decide.
//
// Lines as they are in the field: the request coming back byte for byte at
// the start of the window is the line's echo and is removed (as the line's
// settings say); stray bytes before an ASCII ':' are dropped and a ':' starts
// the frame afresh; an RTU reply whose length is known is not cut by a pause
// inside it; the first byte may come an adapter's latency later; and every
// window ends within a total limit, however long bytes keep coming. The
// line's reply time-out and pause between requests apply to every window.
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
    // After Line::reopen(): keeps the timer where the line still knows it,
    // so that recoveries do not pile up timers.
    void reattach();
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
    // The echo of the request removed in the current exchange (empty when
    // none came back).
    const QByteArray &echo() const { return m_echo; }
    // Forgets the bytes received.
    void clear() { m_received.clear(); }
    // Whole frames with a good check that came outside their own exchange
    // (a late reply, another talker), oldest first, at most a few; taking
    // them forgets them.
    QList<QByteArray> takeStrayFrames() { return std::exchange(m_strays, {}); }
    quint16 timer() const { return m_timer; }
    int ticks() const { return m_ticks; }

    // A window's first byte may come this much later than its framing
    // says: a USB adapter holds bytes for its latency timer (16 ms by
    // default) before it hands them over.
    static constexpr int AdapterLatencyTicks = 1;

private:
    void disarm();
    void transmit();
    void startWindow();
    // `stray` gathers the bytes dropped as not the reply, for the log.
    void accept(char byte, bool &completed, QByteArray &stray);
    void echoComplete(bool &completed, QByteArray &stray);
    // The exchange ends with `event`, logged.
    Event ended(Event event);
    // Arms the timer for `ticks`, but never past the window's total limit.
    bool armWithin(int ticks);
    Event endByTimer();

    Line &m_line;
    Timing m_timing;
    int m_capacity;
    const Framing *m_framing = &Framing::of(ModbusMode::Ascii);
    QByteArray m_received;
    quint16 m_timer = 0;
    int m_ticks = 0;
    bool m_waiting = false;
    const char *m_source = nullptr;
    QList<QByteArray> m_strays; // whole frames not taken as a reply
    void keepStray(const QByteArray &frame);
    QByteArray m_request; // the last frame sent, for the log
    QByteArray m_echo; // the request's echo, removed
    QByteArray m_echoHeld; // bytes so far equal to the request's start
    bool m_checkEcho = false; // the start of the window may be the echo
    bool m_mayEcho = false; // the request went out here and could come back
    bool m_deferred = false; // the request waits for the line's pause
    int m_firstTicks = 0; // until the first byte
    qint64 m_deadline = 0; // the tick by which the window ends in any case
    qint64 m_endedMs = -1; // when the last exchange ended
};
