#pragma once

#include "link/modbusmode.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Line settings and the framing of the simulator's side of the line.

enum class Parity { None, Even, Odd };

struct SimLineSettings
{
    ModbusMode mode = ModbusMode::Ascii;
    int baud = 9600;
    Parity parity = Parity::Even;
    int dataBits = 7;
    int stopBits = 1;

    // Start, data, parity and stop bits of one character.
    int bitsPerCharacter() const;
    // The time one character takes on the line, in nanoseconds.
    qint64 characterNs() const;
    // The silence that ends an RTU frame: 3.5 character times, at least 2 ms
    // (a pseudo-terminal delivers in bursts that a shorter gap would split).
    qint64 frameGapNs() const;
    QString describe() const; // "ASCII 9600 E71"
};

// A request (or reply) as the controller sees it: the address, the function
// and the data between the function byte and the check sum.
struct ModbusPdu
{
    int address = 0;
    int function = 0;
    QByteArray data;
};

enum class FrameError {
    None,
    BadCharacters, // ASCII: not hexadecimal, or an odd number of digits
    TooShort,
    BadChecksum,
};

struct ParsedFrame
{
    FrameError error = FrameError::None;
    ModbusPdu pdu;
};

// An ASCII frame from ':' to LF inclusive. Upper- and lower-case digits are
// taken.
ParsedFrame ParseAsciiFrame(const QByteArray &frame);
// An RTU frame: address, function, data, CRC (low byte first).
ParsedFrame ParseRtuFrame(const QByteArray &frame);

// The frame on the line for address, function and data in the given mode.
// corruptChecksum spoils the LRC or CRC (a fault the simulator can inject).
QByteArray BuildFrame(const ModbusPdu &pdu, ModbusMode mode, bool corruptChecksum = false);

// True when the bytes begin with an RTU request of function 03 or 06 whose
// CRC is right (a complete request is in, whatever follows).
bool RtuRequestComplete(const QByteArray &bytes);

QString FrameErrorText(FrameError error);
