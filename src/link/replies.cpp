#include "replies.h"

#include "errortexts.h"
#include "hexcodec.h"
#include "requests.h"

namespace {

Reply failure(int function, int code)
{
    Reply r;
    r.kind = ReplyKind::Failure;
    r.function = function;
    r.errorCode = code;
    return r;
}

Reply ofKind(ReplyKind kind, int function = -1)
{
    Reply r;
    r.kind = kind;
    r.function = function;
    return r;
}

// Shared by both framings once the function byte is known: write echoes,
// exception replies and functions the program does not use.
Reply decodeNonRead(int function, const QByteArray &reply, const QByteArray &request,
                    bool hasExceptionCode, int exceptionCode)
{
    if (function == FnWriteRegister) {
        if (reply == request)
            return ofKind(ReplyKind::WriteEcho, function);
        return failure(function, ErrEchoMismatch);
    }
    if (function == (FnWriteRegister | FnExceptionFlag))
        return failure(function, ErrWriteRefused);
    if (function == (FnReadRegisters | FnExceptionFlag)) {
        if (!hasExceptionCode)
            return ofKind(ReplyKind::BadChecksum, function);
        return failure(function, exceptionCode);
    }
    return ofKind(ReplyKind::OtherFunction, function);
}

Reply decodeAscii(const QByteArray &reply, const QByteArray &request, int address)
{
    if (reply.size() < 3 || reply.at(0) != ':' || HexPairAt(reply, 1) != address)
        return ofKind(ReplyKind::Ignored);
    if (reply.size() < 5)
        return ofKind(ReplyKind::BadChecksum);
    const int function = HexPairAt(reply, 3);
    if (function != FnReadRegisters)
        return decodeNonRead(function, reply, request, reply.size() >= 7, HexPairAt(reply, 5));

    // ":" AA FF BB data... LRC: the byte count at index 5, data byte j at
    // 5 + 2j, the LRC right after the last data byte.
    if (reply.size() < 7)
        return ofKind(ReplyKind::BadChecksum, function);
    const int count = HexPairAt(reply, 5);
    if (count % 2 != 0 || reply.size() < 9 + 2 * count)
        return ofKind(ReplyKind::BadChecksum, function);
    int sum = address + FnReadRegisters + count;
    QByteArray data;
    data.reserve(count);
    for (int j = 1; j <= count; ++j) {
        const int byte = HexPairAt(reply, 5 + 2 * j);
        data.append(static_cast<char>(byte));
        sum += byte;
    }
    sum += HexPairAt(reply, 7 + 2 * count);
    if (sum % 256 != 0)
        return ofKind(ReplyKind::BadChecksum, function);

    Reply r = ofKind(ReplyKind::Words, function);
    for (int i = 0; i + 1 < data.size(); i += 2)
        r.words.append(static_cast<quint16>(static_cast<unsigned char>(data.at(i)) * 256 +
                                            static_cast<unsigned char>(data.at(i + 1))));
    return r;
}

Reply decodeRtu(const QByteArray &reply, const QByteArray &request, int address)
{
    if (reply.isEmpty())
        return ofKind(ReplyKind::NoReply);
    if (static_cast<unsigned char>(reply.at(0)) != address)
        return ofKind(ReplyKind::Ignored);
    if (reply.size() < 2)
        return ofKind(ReplyKind::BadChecksum);
    const int function = static_cast<unsigned char>(reply.at(1));
    if (function != FnReadRegisters)
        return decodeNonRead(function, reply, request, reply.size() >= 3,
                             reply.size() >= 3 ? static_cast<unsigned char>(reply.at(2)) : 0);

    if (reply.size() < 3)
        return ofKind(ReplyKind::BadChecksum, function);
    const int count = static_cast<unsigned char>(reply.at(2));
    if (count % 2 != 0 || reply.size() < count + 5)
        return ofKind(ReplyKind::BadChecksum, function);
    if (ModbusCrc16(reply.left(count + 3)) != reply.mid(count + 3, 2))
        return ofKind(ReplyKind::BadChecksum, function);

    Reply r = ofKind(ReplyKind::Words, function);
    for (int i = 3; i + 1 < count + 3; i += 2)
        r.words.append(static_cast<quint16>(static_cast<unsigned char>(reply.at(i)) * 256 +
                                            static_cast<unsigned char>(reply.at(i + 1))));
    return r;
}

} // namespace

Reply DecodeReply(const QByteArray &reply, const QByteArray &request, int address, ModbusMode mode)
{
    return mode == ModbusMode::Ascii ? decodeAscii(reply, request, address)
                                     : decodeRtu(reply, request, address);
}
