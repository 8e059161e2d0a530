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

    // What was asked, when the request is one of ours: its function and, for
    // a read, the number of registers.
    const UnwrappedFrame asked = request.isEmpty() ? UnwrappedFrame() : framing.unwrap(request);
    const bool known = asked.checksumOk && asked.data.size() == 4 &&
        (asked.function == FnReadRegisters || asked.function == FnWriteRegister);
    const int askedFunction = known ? asked.function : -1;

    // A write is answered by its own frame; any difference, in the check
    // field too, is a mismatch.
    if (function == FnWriteRegister && askedFunction != FnReadRegisters)
        return reply == request
            ? ofKind(ReplyKind::WriteEcho, function)
            : ofKind(ReplyKind::Failure, function, TransactionResult::mismatch());
    if (!frame.checksumOk)
        return ofKind(ReplyKind::BadChecksum, function);
    if (known && (function & ~FnExceptionFlag) != askedFunction)
        return ofKind(ReplyKind::NotAsked, function);

    const QByteArray &data = frame.data;
    if (function == (FnWriteRegister | FnExceptionFlag) ||
        function == (FnReadRegisters | FnExceptionFlag)) {
        if (data.size() != 1)
            return ofKind(ReplyKind::BadChecksum, function);
        const TransactionResult result = function == (FnWriteRegister | FnExceptionFlag)
            ? TransactionResult::writeRefused(static_cast<unsigned char>(data.at(0)))
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
    if (known) {
        const int askedCount = static_cast<unsigned char>(asked.data.at(2)) * 256 +
            static_cast<unsigned char>(asked.data.at(3));
        if (count != 2 * askedCount)
            return ofKind(ReplyKind::NotAsked, function);
    }
    Reply r = ofKind(ReplyKind::Words, function);
    r.words.reserve(count / 2);
    for (int i = 1; i + 1 <= count; i += 2)
        r.words.append(static_cast<quint16>(static_cast<unsigned char>(data.at(i)) * 256 +
                                            static_cast<unsigned char>(data.at(i + 1))));
    return r;
}

namespace {

QString hex4(int value)
{
    return QStringLiteral("%1").arg(value & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

int wordAt(const QByteArray &data, qsizetype i)
{
    return static_cast<unsigned char>(data.at(i)) * 256 +
        static_cast<unsigned char>(data.at(i + 1));
}

} // namespace

QString DescribeRequest(const Framing &framing, const QByteArray &request)
{
    const UnwrappedFrame f = framing.unwrap(request);
    if (f.address < 0)
        return QStringLiteral("not a frame");
    if (!f.checksumOk)
        return QStringLiteral("bad checksum");
    const QString head = f.address == 0 ? QStringLiteral("broadcast, ")
                                        : QStringLiteral("address %1, ").arg(f.address);
    QString what;
    if (f.function == FnReadRegisters && f.data.size() == 4) {
        const int count = wordAt(f.data, 2);
        what = QStringLiteral("read %1, %2 register%3")
                   .arg(hex4(wordAt(f.data, 0)))
                   .arg(count)
                   .arg(count == 1 ? QString() : QStringLiteral("s"));
    } else if (f.function == FnWriteRegister && f.data.size() == 4) {
        what = QStringLiteral("write %1=%2 (%3)")
                   .arg(hex4(wordAt(f.data, 0)), hex4(wordAt(f.data, 2)))
                   .arg(wordAt(f.data, 2));
    } else {
        what =
            QStringLiteral("function %1")
                .arg(QString::number(f.function, 16).toUpper().rightJustified(2, QLatin1Char('0')));
    }
    if (f.address == 0)
        what += QStringLiteral(" \u2013 no reply expected (broadcast)");
    return head + what;
}

QString DescribeReply(const Framing &framing, const QByteArray &reply, const QByteArray &request)
{
    if (reply.isEmpty())
        return QString();
    const UnwrappedFrame frame = framing.unwrap(reply);
    if (frame.address < 0)
        return QStringLiteral("not a frame");
    if (!frame.checksumOk)
        return QStringLiteral("bad checksum");
    const QString head = QStringLiteral("address %1, ").arg(frame.address);
    const QByteArray &data = frame.data;
    if (frame.function & FnExceptionFlag) {
        if (data.size() != 1)
            return head + QStringLiteral("malformed exception");
        const int code = static_cast<unsigned char>(data.at(0));
        const QString text = frame.function == (FnWriteRegister | FnExceptionFlag)
            ? MonitorErrorText(TransactionResult::writeRefused())
            : MonitorErrorText(TransactionResult::exception(code));
        const QString hexCode = QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
        return head + QStringLiteral("exception %1: %2").arg(hexCode, text.trimmed());
    }
    if (frame.function == FnReadRegisters) {
        if (data.isEmpty() || data.size() != static_cast<unsigned char>(data.at(0)) + 1 ||
            data.size() % 2 == 0)
            return head + QStringLiteral("malformed read reply");
        const UnwrappedFrame asked = framing.unwrap(request);
        const int start = asked.checksumOk && asked.data.size() >= 2 ? wordAt(asked.data, 0) : -1;
        QStringList words;
        for (qsizetype i = 1; i + 1 < data.size(); i += 2) {
            const int value = wordAt(data, i);
            const QString reg = start < 0 ? QString() : hex4(start + int(i / 2)) + QLatin1Char('=');
            words << QStringLiteral("%1%2 (%3)").arg(reg, hex4(value)).arg(value);
        }
        return head + QStringLiteral("read: ") + words.join(QStringLiteral(", "));
    }
    if (frame.function == FnWriteRegister && data.size() == 4) {
        const QString what = QStringLiteral("%1=%2 (%3)")
                                 .arg(hex4(wordAt(data, 0)), hex4(wordAt(data, 2)))
                                 .arg(wordAt(data, 2));
        return head +
            (reply == request ? QStringLiteral("write echoed: ")
                              : QStringLiteral("write echo differs: ")) +
            what;
    }
    return head +
        QStringLiteral("function %1, %2 data bytes")
            .arg(frame.function, 2, 16, QLatin1Char('0'))
            .arg(data.size());
}
