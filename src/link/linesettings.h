#pragma once

#include "link/modbusmode.h"

#include <QtGlobal>

#include <QString>

// Parity generated on send (never checked on receive).
enum class LineParity { None, Even, Odd };

// What the line is: a serial port, or a TCP connection to a device in the
// cabinet that carries the line's own bytes (a serial device server in
// transparent mode) or Modbus TCP frames it passes on as RTU (a gateway).
enum class LineKind { Serial, DeviceServer, Gateway };

// The network side of a line: the device's host and port, and the margin
// added to every reply window for the network's own delays.
struct NetworkTarget
{
    static constexpr quint16 GatewayPort = 502;
    static constexpr int DefaultMarginMs = 300;
    static constexpr int MaximumMarginMs = 5000;

    QString host;
    quint16 port = 0;
    int marginMs = DefaultMarginMs;

    // "host:port", as messages name it.
    QString text() const { return host + QLatin1Char(':') + QString::number(port); }
    bool operator==(const NetworkTarget &) const = default;
};

// Whether the line's echo of the program's own request is removed before the
// reply: when it is heard (automatic), always, or never.
enum class EchoRemoval { Automatic, On, Off };

// How every window talks on a line: the echo, the reply window (0: each
// window's own), the attempts after a failed one (-1: each window's own) and
// the pause between the end of one exchange and the next request.
struct LineTalk
{
    static constexpr int MaximumReplyTimeoutMs = 60000;
    static constexpr int MaximumRetries = 20;
    static constexpr int MaximumPauseMs = 10000;

    EchoRemoval echo = EchoRemoval::Automatic;
    int replyTimeoutMs = 0;
    int retries = -1;
    int pauseMs = 0;

    // `own` attempts after a failure unless the line says otherwise.
    int retriesOr(int own) const { return retries >= 0 ? retries : own; }
    bool operator==(const LineTalk &) const = default;
};

// The settings a talking window applies to its line before it opens it, and
// the framing it uses for every frame. Always complete: the settings dialog's
// selections are turned into this value in one place.
struct LineSettings
{
    int comNumber = 1; // COMn; 0 lets the user choose at opening
    quint32 baud = 9600;
    LineParity parity = LineParity::Even;
    int dataBits = 7;
    int stopBits = 1;
    ModbusMode framing = ModbusMode::Ascii;
    // A network line ignores the port number and the serial settings (they
    // are set on the device); a gateway always carries RTU.
    LineKind kind = LineKind::Serial;
    NetworkTarget network;
    LineTalk talk;

    bool isNetwork() const { return kind != LineKind::Serial; }
    bool operator==(const LineSettings &) const = default;
};

// The time one character takes on the line, in ms: start bit, data bits,
// parity bit, stop bits.
inline double CharacterMs(const LineSettings &s)
{
    const int bits = 1 + s.dataBits + (s.parity == LineParity::None ? 0 : 1) + s.stopBits;
    return 1000.0 * bits / double(qMax<quint32>(1, s.baud));
}
