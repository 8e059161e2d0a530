#pragma once

// The framing of Modbus messages on the line: hexadecimal text with LRC and
// CR LF, or binary bytes with CRC-16.
enum class ModbusMode { Ascii, Rtu };
