#pragma once

#include "modbusmode.h"

#include <QByteArray>

// Building requests and recognising complete replies. Pure functions.

// Function codes the program uses, and the flag of an exception reply.
constexpr int FnReadRegisters = 0x03;
constexpr int FnWriteRegister = 0x06;
constexpr int FnExceptionFlag = 0x80;

// The key written to the unlock register before a protected write.
constexpr int UnlockRegister = 0x472A;
constexpr int UnlockKey = 0x5AC3;

// Appends the LRC and CR LF to ":" + fields.
QByteArray FinishAsciiFrame(const QByteArray &body);

// ":" + address + "03" + register + quantity + LRC + CR LF.
QByteArray AsciiReadRequest(int address, int reg, int count);

// ":" + address + "06" + register + value + LRC + CR LF.
QByteArray AsciiWriteRequest(int address, int reg, int value);

// A finished ASCII frame as it goes on the line in the given mode.
QByteArray FrameForMode(const QByteArray &asciiFrame, ModbusMode mode);

QByteArray BuildReadRequest(int address, int reg, int count, ModbusMode mode);
QByteArray BuildWriteRequest(int address, int reg, int value, ModbusMode mode);

// The RTU completion rule: the length a reply will have, judged from the
// bytes received so far. 0 before the first byte, 250 (larger than any
// reply) until the function code and the third byte are in; then byte count
// + 5 for a read, 8 for a write echo, 5 for an exception.
constexpr int RtuPlaceholderLength = 250;
int RtuExpectedLength(const QByteArray &received);

// True when the bytes received form a complete reply: a line feed last in
// ASCII, exactly the expected length in RTU.
bool ReplyComplete(const QByteArray &received, ModbusMode mode);
