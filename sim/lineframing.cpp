#include "sim/lineframing.h"

#include "link/hexcodec.h"

#include <algorithm>

int SimLineSettings::bitsPerCharacter() const
{
    return 1 + dataBits + (parity == Parity::None ? 0 : 1) + stopBits;
}

qint64 SimLineSettings::characterNs() const
{
    return qint64(bitsPerCharacter()) * 1'000'000'000LL / std::max(1, baud);
}

qint64 SimLineSettings::frameGapNs() const
{
    return std::max<qint64>(characterNs() * 7 / 2, 2'000'000);
}

QString SimLineSettings::describe() const
{
    const char p = parity == Parity::None ? 'N' : (parity == Parity::Even ? 'E' : 'O');
    return QStringLiteral("%1 %2 %3%4%5")
        .arg(mode == ModbusMode::Ascii ? QStringLiteral("ASCII") : QStringLiteral("RTU"))
        .arg(baud)
        .arg(dataBits)
        .arg(QChar::fromLatin1(p))
        .arg(stopBits);
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

ParsedFrame ParseAsciiFrame(const QByteArray &frame)
{
    ParsedFrame result;
    if (frame.size() < 3 || frame.at(0) != ':' || !frame.endsWith('\n')) {
        result.error = FrameError::TooShort;
        return result;
    }
    QByteArray digits = frame.mid(1);
    while (!digits.isEmpty() && (digits.endsWith('\n') || digits.endsWith('\r')))
        digits.chop(1);
    if (digits.size() % 2 != 0) {
        result.error = FrameError::BadCharacters;
        return result;
    }
    QByteArray bytes;
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int high = hexValue(digits.at(i));
        const int low = hexValue(digits.at(i + 1));
        if (high < 0 || low < 0) {
            result.error = FrameError::BadCharacters;
            return result;
        }
        bytes.append(char(high * 16 + low));
    }
    // Address, function and LRC at least.
    if (bytes.size() < 3) {
        result.error = FrameError::TooShort;
        return result;
    }
    int sum = 0;
    for (char b : bytes)
        sum += static_cast<unsigned char>(b);
    if ((sum & 0xFF) != 0) {
        result.error = FrameError::BadChecksum;
        return result;
    }
    result.pdu.address = static_cast<unsigned char>(bytes.at(0));
    result.pdu.function = static_cast<unsigned char>(bytes.at(1));
    result.pdu.data = bytes.mid(2, bytes.size() - 3);
    return result;
}

ParsedFrame ParseRtuFrame(const QByteArray &frame)
{
    ParsedFrame result;
    if (frame.size() < 4) {
        result.error = FrameError::TooShort;
        return result;
    }
    const QByteArray body = frame.left(frame.size() - 2);
    if (ModbusCrc16(body) != frame.right(2)) {
        result.error = FrameError::BadChecksum;
        return result;
    }
    result.pdu.address = static_cast<unsigned char>(body.at(0));
    result.pdu.function = static_cast<unsigned char>(body.at(1));
    result.pdu.data = body.mid(2);
    return result;
}

QByteArray BuildFrame(const ModbusPdu &pdu, ModbusMode mode, bool corruptChecksum)
{
    QByteArray body;
    body.append(char(pdu.address & 0xFF));
    body.append(char(pdu.function & 0xFF));
    body.append(pdu.data);
    if (mode == ModbusMode::Rtu) {
        QByteArray crc = ModbusCrc16(body);
        if (corruptChecksum)
            crc[0] = char(crc.at(0) ^ 0x5A);
        return body + crc;
    }
    QByteArray text(":");
    for (char b : body)
        text += ByteToHex(static_cast<unsigned char>(b));
    QByteArray lrc = ModbusLrc(text);
    if (corruptChecksum)
        lrc = ByteToHex(HexPairAt(lrc, 0) + 1);
    return text + lrc + "\r\n";
}

bool RtuRequestComplete(const QByteArray &bytes)
{
    if (bytes.size() < 8)
        return false;
    const int function = static_cast<unsigned char>(bytes.at(1));
    if (function != 0x03 && function != 0x06)
        return false;
    return ModbusCrc16(bytes.left(6)) == bytes.mid(6, 2);
}

QString FrameErrorText(FrameError error)
{
    switch (error) {
    case FrameError::None:
        return QString();
    case FrameError::BadCharacters:
        return QStringLiteral("not hexadecimal");
    case FrameError::TooShort:
        return QStringLiteral("too short");
    case FrameError::BadChecksum:
        return QStringLiteral("bad checksum");
    }
    return QString();
}
