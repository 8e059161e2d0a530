#include "link/replies.h"

namespace {

Reply ofKind(ReplyKind kind, int function = -1, TransactionResult result = {})
{
    Reply r;
    r.kind = kind;
    r.function = function;
    r.result = result;
    return r;
}

} // namespace

Reply DecodeReply(const Framing &framing, const QByteArray &reply, const QByteArray &request,
                  int address)
{
    if (reply.isEmpty())
        return ofKind(ReplyKind::NoReply);
    const UnwrappedFrame frame = framing.unwrap(reply);
    if (frame.address != address)
        return ofKind(ReplyKind::Ignored);
    const int function = frame.function;

    // A write is answered by its own frame; any difference, in the check
    // field too, is a mismatch.
    if (function == FnWriteRegister)
        return reply == request
            ? ofKind(ReplyKind::WriteEcho, function)
            : ofKind(ReplyKind::Failure, function, TransactionResult::mismatch());
    if (!frame.checksumOk)
        return ofKind(ReplyKind::BadChecksum, function);

    const QByteArray &data = frame.data;
    if (function == (FnWriteRegister | FnExceptionFlag) ||
        function == (FnReadRegisters | FnExceptionFlag)) {
        if (data.size() != 1)
            return ofKind(ReplyKind::BadChecksum, function);
        const TransactionResult result = function == (FnWriteRegister | FnExceptionFlag)
            ? TransactionResult::writeRefused()
            : TransactionResult::exception(static_cast<unsigned char>(data.at(0)));
        return ofKind(ReplyKind::Failure, function, result);
    }
    if (function != FnReadRegisters)
        return ofKind(ReplyKind::OtherFunction, function);

    // Byte count, then exactly that many data bytes in whole words.
    if (data.isEmpty())
        return ofKind(ReplyKind::BadChecksum, function);
    const int count = static_cast<unsigned char>(data.at(0));
    if (count % 2 != 0 || data.size() != count + 1)
        return ofKind(ReplyKind::BadChecksum, function);
    Reply r = ofKind(ReplyKind::Words, function);
    r.words.reserve(count / 2);
    for (int i = 1; i + 1 <= count; i += 2)
        r.words.append(static_cast<quint16>(static_cast<unsigned char>(data.at(i)) * 256 +
                                            static_cast<unsigned char>(data.at(i + 1))));
    return r;
}
