#include "requests.h"

#include "hexcodec.h"

static QByteArray word(int value)
{
    return ByteToHex(value >> 8) + ByteToHex(value);
}

QByteArray FinishAsciiFrame(const QByteArray &body)
{
    return body + ModbusLrc(body) + "\r\n";
}

QByteArray AsciiReadRequest(int address, int reg, int count)
{
    return FinishAsciiFrame(":" + ByteToHex(address) + ByteToHex(FnReadRegisters) + word(reg) +
                            word(count));
}

QByteArray AsciiWriteRequest(int address, int reg, int value)
{
    return FinishAsciiFrame(":" + ByteToHex(address) + ByteToHex(FnWriteRegister) + word(reg) +
                            word(value));
}

QByteArray FrameForMode(const QByteArray &asciiFrame, ModbusMode mode)
{
    return mode == ModbusMode::Rtu ? AsciiFrameToRtu(asciiFrame) : asciiFrame;
}

QByteArray BuildReadRequest(int address, int reg, int count, ModbusMode mode)
{
    return FrameForMode(AsciiReadRequest(address, reg, count), mode);
}

QByteArray BuildWriteRequest(int address, int reg, int value, ModbusMode mode)
{
    return FrameForMode(AsciiWriteRequest(address, reg, value), mode);
}

int RtuExpectedLength(const QByteArray &received)
{
    if (received.isEmpty())
        return 0;
    if (received.size() < 3)
        return RtuPlaceholderLength;
    const int function = static_cast<unsigned char>(received.at(1));
    if (function == FnReadRegisters)
        return static_cast<unsigned char>(received.at(2)) + 5;
    if (function == FnWriteRegister)
        return 8;
    if (function & FnExceptionFlag)
        return 5;
    return RtuPlaceholderLength;
}

bool ReplyComplete(const QByteArray &received, ModbusMode mode)
{
    if (received.isEmpty())
        return false;
    if (mode == ModbusMode::Ascii)
        return received.back() == '\n';
    return received.size() == RtuExpectedLength(received);
}
