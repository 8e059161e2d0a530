#pragma once

#include "link/modbusmode.h"

#include <QtGlobal>

// Parity generated on send (never checked on receive).
enum class LineParity { None, Even, Odd };

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

    bool operator==(const LineSettings &) const = default;
};

// The time one character takes on the line, in ms: start bit, data bits,
// parity bit, stop bits.
inline double CharacterMs(const LineSettings &s)
{
    const int bits = 1 + s.dataBits + (s.parity == LineParity::None ? 0 : 1) + s.stopBits;
    return 1000.0 * bits / double(qMax<quint32>(1, s.baud));
}
