#pragma once

#include <QByteArray>

// Byte and checksum primitives of the Modbus frames. Pure functions.

// The two upper-case hex digits of the low 8 bits of v.
QByteArray ByteToHex(int v);

// The value of two hex digits, high digit first. Digits are converted without
// validation ('0'..'9' minus 48, anything above '9' minus 55); a result
// outside 0..255 gives 0.
int HexPairToByte(char high, char low);

// HexPairToByte of the pair at index i of text (0-based). Missing characters
// count as NUL, which keeps the routine inside the text.
int HexPairAt(const QByteArray &text, qsizetype i);

// LRC of an ASCII frame that starts with ':' and has no LRC yet: two hex digits.
QByteArray ModbusLrc(const QByteArray &asciiFrame);

// CRC-16/MODBUS of the bytes, computed bit by bit; the value as a number.
quint16 ModbusCrc16Value(const QByteArray &bytes);

// CRC-16/MODBUS as it travels: two bytes, low byte first.
QByteArray ModbusCrc16(const QByteArray &bytes);

// Converts a finished ASCII frame (":" ... LRC CR LF) into the RTU frame:
// the bytes of the hex pairs between ':' and the LRC, then their CRC.
QByteArray AsciiFrameToRtu(const QByteArray &asciiFrame);
