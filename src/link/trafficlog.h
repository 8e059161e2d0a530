#pragma once

#include "link/modbusmode.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// What a traffic entry records.
enum class TrafficKind {
    Sent, // a request went out
    Received, // the reply to it (or what came instead) was taken
    TimedOut, // its reply window ended without a reply
    Unexpected, // bytes that came while no reply was awaited, or after one
    Late, // a whole frame that answers an earlier request: a late reply
    Echo, // the request came back before its reply (said once per line)
};

struct TrafficEntry
{
    qint64 serial = 0; // 1, 2, ... in the order entries were added
    qint64 timeMs = 0; // wall clock, ms since the epoch
    TrafficKind kind = TrafficKind::Sent;
    ModbusMode mode = ModbusMode::Ascii;
    QByteArray bytes; // the frame sent or received; empty for a time-out
    QByteArray request; // the request a reply or time-out belongs to
    const char *source = ""; // the window: "Console", "Configuration", ...
};

// Every frame the talking windows send and receive, the last 10,000 kept in
// a ring. Adding an entry only stores it (the frames' bytes are shared, not
// copied); the decoding is made when someone looks.
class TrafficLog
{
public:
    static constexpr int Capacity = 10000;

    // The program's one log, which every talking window's reply collector
    // feeds.
    static TrafficLog &shared();

    void add(TrafficKind kind, ModbusMode mode, const QByteArray &bytes, const QByteArray &request,
             const char *source, qint64 timeMs);
    // The serial of the newest entry (0 when none was ever added) and of the
    // oldest one kept.
    qint64 newest() const { return m_added; }
    qint64 oldest() const;
    // The entry with `serial`, or nullptr when it has left the ring.
    const TrafficEntry *at(qint64 serial) const;
    void clear();

private:
    std::vector<TrafficEntry> m_ring;
    qint64 m_added = 0;
    qint64 m_clearedAt = 0;
};

// The address a request went to (0 for a broadcast), -1 when unreadable.
int TrafficAddress(const TrafficEntry &entry);
// A one-line reading: the request's address, function and registers or
// value; the reply's words, echo, exception text or "bad checksum";
// "time-out"; a broadcast's "no reply expected (broadcast)".
QString TrafficDecoding(const TrafficEntry &entry);
// "14:03:27.512  Configuration  >  :010347000001B4  address 1, read 4700, 1 register"
QString TrafficLine(const TrafficEntry &entry);
// The lines of the entries kept from serial `from` on (the oldest kept when
// it has left the ring), of the address `address` only unless it is -1.
QStringList TrafficLines(const TrafficLog &log, qint64 from, int address);
