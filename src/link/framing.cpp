#include "link/framing.h"

#include "link/hexcodec.h"

namespace {

QByteArray registerPair(int reg, int word)
{
    QByteArray data;
    data.append(char((reg >> 8) & 0xFF));
    data.append(char(reg & 0xFF));
    data.append(char((word >> 8) & 0xFF));
    data.append(char(word & 0xFF));
    return data;
}

bool isUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool allUpperHex(const QByteArray &text, qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i)
        if (!isUpperHexDigit(text.at(i)))
            return false;
    return true;
}

QString hexText(const QByteArray &bytes)
{
    QByteArray hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes)
        hex += ByteToHex(static_cast<unsigned char>(c));
    return QString::fromLatin1(hex);
}

} // namespace

ModbusRequest ReadRequest(int address, int reg, int count)
{
    return {address, FnReadRegisters, registerPair(reg, count)};
}

ModbusRequest WriteRequest(int address, int reg, int value)
{
    return {address, FnWriteRegister, registerPair(reg, value)};
}

const Framing &Framing::of(ModbusMode mode)
{
    static const AsciiFraming ascii;
    static const RtuFraming rtu;
    return mode == ModbusMode::Rtu ? static_cast<const Framing &>(rtu) : ascii;
}

// --- ASCII ---------------------------------------------------------------------

QByteArray AsciiFraming::wrap(const ModbusRequest &request) const
{
    QByteArray body = ":" + ByteToHex(request.address) + ByteToHex(request.function);
    for (const char c : request.data)
        body += ByteToHex(static_cast<unsigned char>(c));
    return body + ModbusLrc(body) + "\r\n";
}

UnwrappedFrame AsciiFraming::unwrap(const QByteArray &frame) const
{
    UnwrappedFrame out;
    if (frame.size() < 3 || frame.at(0) != ':')
        return out;
    // The address as the address check reads it, whatever the rest holds.
    out.address = HexPairAt(frame, 1);
    if (frame.size() >= 5)
        out.function = HexPairAt(frame, 3);
    // Whole: ':' + address, function, at least the LRC as upper-case hex
    // pairs, then CR LF. Anything else (a missing check field, a stray
    // character, a lost line end) fails the check.
    const qsizetype hexLength = frame.size() - 3;
    if (hexLength < 6 || hexLength % 2 != 0 || !frame.endsWith("\r\n") ||
        !allUpperHex(frame, 1, frame.size() - 2))
        return out;
    int sum = 0;
    QByteArray bytes;
    bytes.reserve(hexLength / 2);
    for (qsizetype i = 1; i + 1 < frame.size() - 2; i += 2) {
        const int byte = HexPairAt(frame, i);
        bytes.append(char(byte));
        sum += byte;
    }
    out.data = bytes.mid(2, bytes.size() - 3);
    out.checksumOk = sum % 256 == 0;
    return out;
}

int AsciiFraming::expectedLength(const QByteArray &received) const
{
    return !received.isEmpty() && received.back() == '\n' ? int(received.size()) : LengthUnknown;
}

QString AsciiFraming::frameText(const QByteArray &frame) const
{
    QByteArray text = frame;
    if (text.endsWith("\r\n"))
        text.chop(2);
    return QString::fromLatin1(text);
}

QString AsciiFraming::checkFieldText(const QByteArray &frame) const
{
    return frame.size() >= 5 ? QString::fromLatin1(frame.mid(frame.size() - 4, 2)) : QString();
}

std::optional<QByteArray> AsciiFraming::frameFromText(const QString &text, QString *problem) const
{
    // The frame goes out as it stands, check field included, so that a
    // controller's error replies can be provoked; only printable text.
    auto refuse = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    if (text.isEmpty())
        return refuse(QStringLiteral("the frame is empty"));
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return refuse(QStringLiteral("the frame holds a character that cannot be sent"));
    return text.toLatin1() + "\r\n";
}

// --- RTU -----------------------------------------------------------------------

QByteArray RtuFraming::wrap(const ModbusRequest &request) const
{
    QByteArray bytes;
    bytes.reserve(request.data.size() + 4);
    bytes.append(char(request.address & 0xFF));
    bytes.append(char(request.function & 0xFF));
    bytes.append(request.data);
    return bytes + ModbusCrc16(bytes);
}

UnwrappedFrame RtuFraming::unwrap(const QByteArray &frame) const
{
    UnwrappedFrame out;
    if (frame.isEmpty())
        return out;
    out.address = static_cast<unsigned char>(frame.at(0));
    if (frame.size() >= 2)
        out.function = static_cast<unsigned char>(frame.at(1));
    if (frame.size() < 4)
        return out;
    const QByteArray body = frame.left(frame.size() - 2);
    out.data = body.mid(2);
    out.checksumOk = ModbusCrc16(body) == frame.right(2);
    return out;
}

int RtuFraming::expectedLength(const QByteArray &received) const
{
    if (received.isEmpty())
        return LengthUnknown;
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

QString RtuFraming::frameText(const QByteArray &frame) const
{
    return hexText(frame);
}

QString RtuFraming::checkFieldText(const QByteArray &frame) const
{
    return frame.size() >= 2 ? hexText(frame.right(2)) : QString();
}

std::optional<QByteArray> RtuFraming::frameFromText(const QString &text, QString *problem) const
{
    auto refuse = [problem](const QString &why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    // Hex digits only, blanks between them skipped; the last four digits are
    // the shown CRC, computed afresh.
    QByteArray digits;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(' '))
            continue;
        if (c.unicode() > 0x7F || !isUpperHexDigit(char(c.unicode())))
            return refuse(
                QStringLiteral("'%1' at position %2 is not a hex digit").arg(c).arg(i + 1));
        digits.append(char(c.unicode()));
    }
    if (digits.size() % 2 != 0)
        return refuse(QStringLiteral("an odd number of hex digits"));
    if (digits.size() < 8)
        return refuse(QStringLiteral("too short: address, function and CRC at least"));
    QByteArray bytes;
    for (qsizetype i = 0; i + 4 < digits.size(); i += 2)
        bytes.append(char(HexPairAt(digits, i)));
    return bytes + ModbusCrc16(bytes);
}
