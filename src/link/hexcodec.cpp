#include "link/hexcodec.h"

QByteArray ByteToHex(int v)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray text;
    for (int i = 0; i < 2; ++i) {
        text.prepend(digits[v & 0x0F]);
        v >>= 4;
    }
    return text;
}

static int hexDigitValue(char c)
{
    const int b = static_cast<unsigned char>(c);
    return b <= '9' ? b - 48 : b - 55;
}

int HexPairToByte(char high, char low)
{
    const int value = hexDigitValue(high) * 16 + hexDigitValue(low);
    return (value < 0 || value > 255) ? 0 : value;
}

int HexPairAt(const QByteArray &text, qsizetype i)
{
    const char high = (i >= 0 && i < text.size()) ? text.at(i) : '\0';
    const char low = (i + 1 >= 0 && i + 1 < text.size()) ? text.at(i + 1) : '\0';
    return HexPairToByte(high, low);
}

QByteArray ModbusLrc(const QByteArray &asciiFrame)
{
    const qsizetype pairs = (asciiFrame.size() - 1) / 2;
    int sum = 0;
    for (qsizetype i = 0; i < pairs; ++i)
        sum += HexPairAt(asciiFrame, 1 + 2 * i);
    return ByteToHex(256 - (sum % 256));
}

quint16 ModbusCrc16Value(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 1)
                crc = (crc >> 1) ^ 0xA001;
            else
                crc >>= 1;
        }
    }
    return crc;
}

QByteArray ModbusCrc16(const QByteArray &bytes)
{
    const quint16 crc = ModbusCrc16Value(bytes);
    QByteArray out(2, '\0');
    out[0] = static_cast<char>(crc & 0xFF);
    out[1] = static_cast<char>(crc >> 8);
    return out;
}

QByteArray AsciiFrameToRtu(const QByteArray &asciiFrame)
{
    const qsizetype n = asciiFrame.size() >= 5 ? (asciiFrame.size() - 5) / 2 : 0;
    QByteArray bytes;
    bytes.reserve(n + 2);
    for (qsizetype i = 0; i < n; ++i)
        bytes.append(static_cast<char>(HexPairAt(asciiFrame, 1 + 2 * i)));
    return bytes + ModbusCrc16(bytes);
}
