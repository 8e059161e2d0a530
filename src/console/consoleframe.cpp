#include "consoleframe.h"

#include "duvaerror.h"
#include "hexcodec.h"
#include "requests.h"

namespace {

const ConsoleCommandInfo commands[ConsoleCommandCount] = {
    {"Read Register", "03", "WORD COUNT", 1},
    {"Write One Word", "06", "WRITE DATA", 4},
    {"Write Multi-Words", "10", "WORD COUNT", 1},
    {"Read Bits", "02", "BIT COUNT", 2},
    {"Write Bit", "05", "CONTENT", 1},
    {"User Define", "", "DATA", 4},
};

// Before any command is chosen the field is a write data field.
const ConsoleCommandInfo noCommand = {"", "", "WRITE DATA", 4};

bool isUpperHex(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
        (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

const ConsoleCommandInfo &CommandInfo(ConsoleCommand command)
{
    const int i = static_cast<int>(command);
    return (i >= 0 && i < ConsoleCommandCount) ? commands[i] : noCommand;
}

QString PadHex(const QString &text, int width)
{
    for (const QChar c : text) {
        if (!isUpperHex(c))
            return QString();
    }
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), QLatin1Char('0')) + text;
}

std::optional<ConsoleFrame> BuildConsoleFrame(const ConsoleFields &f, ModbusMode mode)
{
    if (f.address.isEmpty() || f.command == ConsoleCommand::None || f.func.isEmpty() ||
        f.dataLen.isEmpty())
        return std::nullopt;

    QString body = mode == ModbusMode::Ascii ? QStringLiteral(":") : QString();
    body += PadHex(f.address, 2);
    if (f.command == ConsoleCommand::UserDefine)
        body += PadHex(f.userCmd, 2);
    else
        body += QLatin1String(CommandInfo(f.command).function);
    body += PadHex(f.func, 4);
    if (f.command == ConsoleCommand::WriteBit)
        body += f.dataLen == QLatin1String("0") ? QStringLiteral("0000") : QStringLiteral("FF00");
    else
        body += PadHex(f.dataLen, 4);

    if (f.command == ConsoleCommand::WriteMultiWords) {
        bool ok = false;
        int n = f.dataLen.toInt(&ok, 10);
        if (!ok)
            throw DuvaError(QStringLiteral("'%1' is not a valid integer value").arg(f.dataLen));
        if (n > 8)
            n = 8;
        body += QString::fromLatin1(ByteToHex(2 * n));
        for (int i = 0; i < n; ++i)
            body += f.dataWords[size_t(i)];
    }

    ConsoleFrame frame;
    if (mode == ModbusMode::Ascii) {
        frame.checkField = QString::fromLatin1(ModbusLrc(body.toLatin1()));
    } else {
        const QByteArray rtu = AsciiFrameToRtu(":" + body.toLatin1() + "XXXX");
        frame.checkField =
            QString::fromLatin1(ByteToHex(static_cast<unsigned char>(rtu.at(rtu.size() - 2))) +
                                ByteToHex(static_cast<unsigned char>(rtu.back())));
    }
    frame.sendText = body + frame.checkField;
    return frame;
}

QByteArray ConsoleRequestBytes(const QString &sendText, ModbusMode mode)
{
    if (mode == ModbusMode::Ascii)
        return sendText.toLatin1() + "\r\n";
    return AsciiFrameToRtu(":" + sendText.toLatin1());
}

int DataWordIndexOfEdit(int editNumber)
{
    static const int index[9] = {-1, 0, 1, 2, 3, 6, 4, 5, 7};
    return (editNumber >= 1 && editNumber <= 8) ? index[editNumber] : -1;
}
