#pragma once

#include "program/rampsoakprogram.h"

#include <QByteArray>
#include <QString>

// The program file: the 153 values of the ramp/soak program as signed
// decimal text in 20 lines, each ended by CR LF. Line 1 holds the start
// pattern alone; line 2 the last steps, line 3 the additional cycles, line 4
// the next patterns of patterns 0..7; lines 5 to 12 the set values of
// pattern 0 to 7 (steps 0..7, in tenths), lines 13 to 20 their times in
// minutes. On lines 2 to 20 every value is followed by two blanks.
namespace ProgramFile {

inline const QString Extension = QStringLiteral("txt");
// Both spellings: Linux names are case-sensitive.
inline const QString Filter = QStringLiteral("Text files (*.txt *.TXT)");

// The messages of the program window about the file, all titled "Message".
inline const QString MessageTitle = QStringLiteral("Message");
inline const QString ReadDone = QStringLiteral("Read parameters data successed");
inline const QString DataLengthError = QStringLiteral("Data length error !");
inline const QString WriteDone = QStringLiteral("Write parameters to file successed");
inline const QString MissingFile = QStringLiteral("File not exist, can not open file !");
QString BadTokenMessage(const QString &token); // "'<token>' is not a valid integer value"
QString OutOfRangeMessage(const QString &token); // "'<token>' is out of range"

QByteArray encode(const RampSoakProgram &program);

// What a file's bytes hold. Blanks, CRs and LFs separate the values; any
// other character, a tab too, belongs to a value, and a value ends only at a
// separator, so a last value without one after it is not taken. A file is
// taken whole or not at all: it must hold exactly 153 values, each an
// optional sign and decimal digits that the value's register can hold (set
// values -32768..32767, every other value 0..65535). The first value in file
// order that is not an integer (BadToken) or does not fit (OutOfRange) is
// named in `token`; otherwise any other count is DataLength. The program is
// filled only when Ok.
struct ParseResult
{
    enum class Kind { Ok, DataLength, BadToken, OutOfRange };
    Kind kind = Kind::Ok;
    RampSoakProgram program;
    QString token;
};
ParseResult parse(const QByteArray &bytes);

// What reading a file gave: Missing and Unreadable (with the system's
// reason), then the kinds of parse(). A file larger than any program file
// can reasonably be (1 MiB) is not read and counts as DataLength.
struct ReadResult
{
    enum class Kind { Ok, Missing, Unreadable, DataLength, BadToken, OutOfRange };
    Kind kind = Kind::Ok;
    RampSoakProgram program; // when Ok
    QString token; // when BadToken or OutOfRange
    QString reason; // when Unreadable
};
ReadResult read(const QString &path);
// Replaces the file at `path` with the program, or leaves it as it was; the
// empty string on success, else the system's reason.
QString write(const QString &path, const RampSoakProgram &program);

} // namespace ProgramFile
