#include "console/consoleframe.h"

#include "link/duvaerror.h"
#include "link/hexcodec.h"

#include <algorithm>

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

namespace {
// The data boxes of Write Multi-Words.
constexpr int MaxConsoleWords = 8;
} // namespace

std::optional<ConsoleFrame> BuildConsoleFrame(const ConsoleFields &f, const Framing &framing)
{
    if (f.address.isEmpty() || f.command == ConsoleCommand::None || f.func.isEmpty() ||
        f.dataLen.isEmpty())
        return std::nullopt;

    const ConsoleCommandInfo &info = CommandInfo(f.command);
    auto invalid = [](const QString &field, const char *what) {
        ConsoleFrame frame;
        frame.invalid = true;
        frame.sendText = field + QLatin1String(what);
        return frame;
    };
    auto notHex = [&invalid](const QString &field) { return invalid(field, " is not hex"); };

    // The fields as hex text: each must be upper-case hex, padded to its width.
    const QString address = PadHex(f.address, 2);
    if (address.isEmpty() || address.size() > 2)
        return notHex(QStringLiteral("ADDRESS"));
    const QString function = f.command == ConsoleCommand::UserDefine
        ? PadHex(f.userCmd, 2)
        : QString::fromLatin1(info.function);
    if (function.isEmpty() || function.size() > 2)
        return notHex(QStringLiteral("COMMAND"));
    const QString reg = PadHex(f.func, 4);
    if (reg.isEmpty() || reg.size() > 4)
        return notHex(QStringLiteral("FUNC ADDR"));
    QString tail;
    if (f.command == ConsoleCommand::WriteBit)
        tail = f.dataLen == QLatin1String("0") ? QStringLiteral("0000") : QStringLiteral("FF00");
    else
        tail = PadHex(f.dataLen, 4);
    if (tail.isEmpty() || tail.size() > 4)
        return notHex(QString::fromLatin1(info.dataLenCaption));

    QString data = reg + tail;
    if (f.command == ConsoleCommand::WriteMultiWords) {
        bool ok = false;
        const int n = f.dataLen.toInt(&ok, 10);
        if (!ok)
            throw DuvaError(QStringLiteral("'%1' is not a valid integer value").arg(f.dataLen));
        // The data boxes carry one to eight words; quantity, byte count and
        // words all come from this one number.
        if (n < 1 || n > MaxConsoleWords)
            return invalid(QString::fromLatin1(info.dataLenCaption),
                           " is not 1 to 8 (the data boxes hold eight words)");
        data = reg + QString::fromLatin1(ByteToHex(0)) + QString::fromLatin1(ByteToHex(n)) +
            QString::fromLatin1(ByteToHex(2 * n));
        // Every word the count claims goes out; none is silently left out.
        for (int i = 0; i < n; ++i) {
            const QString name = QStringLiteral("DATA%1").arg(i + 1);
            if (!f.dataWords[size_t(i)])
                return invalid(name, " is empty");
            const QString word = PadHex(*f.dataWords[size_t(i)], 4);
            if (word.size() != 4)
                return notHex(name);
            data += word;
        }
    }

    ModbusRequest request;
    request.address = HexPairAt(address.toLatin1(), 0);
    request.function = HexPairAt(function.toLatin1(), 0);
    request.data = QByteArray::fromHex(data.toLatin1());
    const QByteArray bytes = framing.wrap(request);
    ConsoleFrame frame;
    frame.checkField = framing.checkFieldText(bytes);
    frame.sendText = framing.frameText(bytes);
    return frame;
}

int DataWordIndexOfEdit(int editNumber)
{
    static const int index[9] = {-1, 0, 1, 2, 3, 6, 4, 5, 7};
    return (editNumber >= 1 && editNumber <= 8) ? index[editNumber] : -1;
}
