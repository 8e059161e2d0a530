#pragma once

#include "link/framing.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

// The commands of the console's command list, by list position.
enum class ConsoleCommand {
    None = -1,
    ReadRegister,
    WriteOneWord,
    WriteMultiWords,
    ReadBits,
    WriteBit,
    UserDefine,
};

struct ConsoleCommandInfo
{
    const char *name; // the list entry
    const char *function; // two hex digits; empty for "User Define"
    const char *dataLenCaption; // caption of the field's label
    int dataLenMaxLength;
};

constexpr int ConsoleCommandCount = 6;
const ConsoleCommandInfo &CommandInfo(ConsoleCommand command);

// `text` padded with leading "0" to `width` characters when it is all
// upper-case hex digits (a longer text is kept whole, an empty one gives
// `width` zeros); the empty string otherwise.
QString PadHex(const QString &text, int width);

// What the user typed into the console's fields.
struct ConsoleFields
{
    QString address; // SCOMAddr
    ConsoleCommand command = ConsoleCommand::None; // SCmdBox
    QString userCmd = QStringLiteral("03"); // UserCmd
    QString func; // SFunc
    QString dataLen; // SDataLen
    // DATA1 .. DATA8 as typed; nothing for a word never entered.
    std::array<std::optional<QString>, 8> dataWords;
};

struct ConsoleFrame
{
    QString checkField; // SChkSum: LRC (2 digits) or CRC (4 digits, low byte first)
    QString sendText; // SendEdit: the frame without CR LF (ASCII) or in hex (RTU)
    // Set when a field cannot be encoded: no frame, and sendText says which
    // field is wrong.
    bool invalid = false;
};

// Builds the frame shown in SendEdit. Nothing (nullopt) while the address,
// the command, the register or the data field is missing. A field that is
// not upper-case hex, or a data word of "Write Multi-Words" that its count
// claims and that is not four hex digits, gives an invalid frame naming the
// field. A "Write Multi-Words" count that is not a decimal number throws
// DuvaError with "'<text>' is not a valid integer value".
std::optional<ConsoleFrame> BuildConsoleFrame(const ConsoleFields &fields, const Framing &framing);

// The data word a data edit feeds: Edit1..Edit4 are DATA1..DATA4, Edit6,
// Edit7, Edit5, Edit8 are DATA5..DATA8. Returns the word's index 0..7.
int DataWordIndexOfEdit(int editNumber);
