#include "program/programfile.h"

#include "ui/files.h"

#include <algorithm>
#include <optional>

namespace ProgramFile {

namespace {

using Program = RampSoakProgram;

constexpr qint64 MaxFileSize = 1 << 20;

// The file order of the values: where each group starts.
constexpr int FirstLastStep = 1;
constexpr int FirstCycles = FirstLastStep + Program::Patterns;
constexpr int FirstNext = FirstCycles + Program::Patterns;
constexpr int FirstSetValue = FirstNext + Program::Patterns; // 25
constexpr int FirstTime = FirstSetValue + Program::Steps; // 89
static_assert(FirstTime + Program::Steps == Program::Values);

qint32 &At(Program &program, int t)
{
    if (t >= FirstTime)
        return program.StepTime[size_t(t - FirstTime)];
    if (t >= FirstSetValue)
        return program.SetValue[size_t(t - FirstSetValue)];
    if (t >= FirstNext)
        return program.NextPattern[size_t(t - FirstNext)];
    if (t >= FirstCycles)
        return program.AdditionalCycles[size_t(t - FirstCycles)];
    if (t >= FirstLastStep)
        return program.LastStep[size_t(t - FirstLastStep)];
    return program.StartPattern;
}

bool IsSeparator(char c)
{
    return c == ' ' || c == '\r' || c == '\n';
}

// An optional sign and decimal digits; a magnitude beyond any register's
// range is held at 100000 so that long digit strings cannot overflow.
std::optional<qint64> Integer(QByteArrayView token)
{
    qsizetype i = 0;
    bool negative = false;
    if (token.startsWith('+') || token.startsWith('-')) {
        negative = token.front() == '-';
        ++i;
    }
    if (i == token.size())
        return std::nullopt;
    qint64 magnitude = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        magnitude = std::min<qint64>(magnitude * 10 + (c - '0'), 100000);
    }
    return negative ? -magnitude : magnitude;
}

bool Fits(int t, qint64 value)
{
    if (t >= FirstSetValue && t < FirstTime)
        return value >= -32768 && value <= 32767;
    return value >= 0 && value <= 0xFFFF;
}

void AppendLine(QByteArray &out, const qint32 *values)
{
    for (int n = 0; n < 8; ++n)
        out += QByteArray::number(values[n]) + "  ";
    out += "\r\n";
}

} // namespace

QString BadTokenMessage(const QString &token)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(token);
}

QString OutOfRangeMessage(const QString &token)
{
    return QStringLiteral("'%1' is out of range").arg(token);
}

QByteArray encode(const Program &program)
{
    QByteArray out = QByteArray::number(program.StartPattern) + "\r\n";
    AppendLine(out, program.LastStep.data());
    AppendLine(out, program.AdditionalCycles.data());
    AppendLine(out, program.NextPattern.data());
    for (int p = 0; p < Program::Patterns; ++p)
        AppendLine(out, program.SetValue.data() + Program::index(p, 0));
    for (int p = 0; p < Program::Patterns; ++p)
        AppendLine(out, program.StepTime.data() + Program::index(p, 0));
    return out;
}

ParseResult parse(const QByteArray &bytes)
{
    ParseResult r;
    Program program;
    int count = 0;
    qsizetype begin = -1; // where the value being read starts
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (!IsSeparator(bytes[i])) {
            if (begin < 0)
                begin = i;
            continue;
        }
        if (begin < 0)
            continue;
        const QByteArrayView token(bytes.constData() + begin, i - begin);
        begin = -1;
        const int t = count++;
        const std::optional<qint64> value = Integer(token);
        if (!value || (t < Program::Values && !Fits(t, *value))) {
            r.kind = value ? ParseResult::Kind::OutOfRange : ParseResult::Kind::BadToken;
            r.token = QString::fromUtf8(token);
            return r;
        }
        // Values after the 153rd only count.
        if (t < Program::Values)
            At(program, t) = qint32(*value);
    }
    if (count != Program::Values) {
        r.kind = ParseResult::Kind::DataLength;
        return r;
    }
    r.program = program;
    return r;
}

ReadResult read(const QString &path)
{
    ReadResult r;
    const FileBytes file = ReadFileBytes(path, MaxFileSize);
    if (file.kind != FileBytes::Kind::Ok) {
        r.kind = file.kind == FileBytes::Kind::Missing ? ReadResult::Kind::Missing
                                                       : ReadResult::Kind::Unreadable;
        r.reason = file.reason;
        return r;
    }
    const QByteArray &bytes = file.bytes;
    if (bytes.size() > MaxFileSize) {
        r.kind = ReadResult::Kind::DataLength;
        return r;
    }
    const ParseResult parsed = parse(bytes);
    switch (parsed.kind) {
    case ParseResult::Kind::Ok:
        r.program = parsed.program;
        break;
    case ParseResult::Kind::DataLength:
        r.kind = ReadResult::Kind::DataLength;
        break;
    case ParseResult::Kind::BadToken:
        r.kind = ReadResult::Kind::BadToken;
        r.token = parsed.token;
        break;
    case ParseResult::Kind::OutOfRange:
        r.kind = ReadResult::Kind::OutOfRange;
        r.token = parsed.token;
        break;
    }
    return r;
}

QString write(const QString &path, const Program &program)
{
    return WriteFileWhole(path, encode(program));
}

} // namespace ProgramFile
