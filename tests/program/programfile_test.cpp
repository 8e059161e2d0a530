// The program text file: its layout byte for byte, and the files it refuses.
#include "program/programfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using P = RampSoakProgram;
using Kind = ProgramFile::ParseResult::Kind;

// Start pattern 2; last steps 7 and 3 (patterns 0, 7); 99 cycles for
// pattern 1; pattern 0 goes on to 1, pattern 7 ends the program; set values
// -12.5 (pattern 0 step 0) and 25.3 (pattern 7 step 7); times 01:35
// (pattern 0 step 1) and 15:00 (pattern 7 step 7).
P SmallProgram()
{
    P program;
    program.StartPattern = 2;
    program.LastStep[0] = 7;
    program.LastStep[7] = 3;
    program.AdditionalCycles[1] = 99;
    program.NextPattern[0] = 1;
    program.NextPattern[7] = P::ProgramEnd;
    program.SetValue[size_t(P::index(0, 0))] = -125;
    program.SetValue[size_t(P::index(7, 7))] = 253;
    program.StepTime[size_t(P::index(0, 1))] = 95;
    program.StepTime[size_t(P::index(7, 7))] = 900;
    return program;
}

const QByteArray SmallFile = "2\r\n"
                             "7  0  0  0  0  0  0  3  \r\n"
                             "0  99  0  0  0  0  0  0  \r\n"
                             "1  0  0  0  0  0  0  8  \r\n"
                             "-125  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  253  \r\n"
                             "0  95  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  0  \r\n"
                             "0  0  0  0  0  0  0  900  \r\n";

// The small file with its first `before` replaced by `after`.
QByteArray Edited(const char *before, const char *after)
{
    QByteArray bytes = SmallFile;
    const qsizetype at = bytes.indexOf(before);
    EXPECT_GE(at, 0) << before;
    return bytes.replace(at, qsizetype(qstrlen(before)), after);
}

TEST(ProgramFile, WritesTwentyLinesAndReadsThemBack)
{
    EXPECT_EQ(ProgramFile::encode(SmallProgram()), SmallFile);
    const ProgramFile::ParseResult parsed = ProgramFile::parse(SmallFile);
    ASSERT_EQ(parsed.kind, Kind::Ok);
    EXPECT_EQ(parsed.program, SmallProgram());

    QTemporaryDir dir;
    const QString path = dir.filePath("program.txt");
    ASSERT_EQ(ProgramFile::write(path, SmallProgram()), QString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), SmallFile);
    const ProgramFile::ReadResult back = ProgramFile::read(path);
    ASSERT_EQ(back.kind, ProgramFile::ReadResult::Kind::Ok);
    EXPECT_EQ(back.program, SmallProgram());

    EXPECT_EQ(ProgramFile::read(dir.filePath("none.txt")).kind,
              ProgramFile::ReadResult::Kind::Missing);
    EXPECT_NE(ProgramFile::write(dir.filePath("no/such/folder.txt"), SmallProgram()), QString());
}

TEST(ProgramFile, TakesWhatTheRegistersHoldAsItIs)
{
    // Beyond what the editor offers, within the registers: kept unchanged.
    P program = SmallProgram();
    program.StartPattern = 7;
    program.AdditionalCycles[3] = 65535;
    program.SetValue[5] = -32768;
    program.SetValue[60] = 32767;
    program.StepTime[10] = 1000;
    program.StepTime[63] = 65535;
    const ProgramFile::ParseResult parsed = ProgramFile::parse(ProgramFile::encode(program));
    ASSERT_EQ(parsed.kind, Kind::Ok);
    EXPECT_EQ(parsed.program, program);

    // Signs, and a last line whose blanks end its last value without CR LF.
    const ProgramFile::ParseResult other =
        ProgramFile::parse(Edited("0  99", "-0  +99").chopped(2));
    ASSERT_EQ(other.kind, Kind::Ok);
    EXPECT_EQ(other.program, SmallProgram());
}

TEST(ProgramFile, RefusesAWholeFileForItsFirstFaultAndNamesTheValue)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        Kind kind;
        const char *token;
    } cases[] = {
        // The last value has no separator after it: 152 values.
        {"no line end", SmallFile.chopped(4), Kind::DataLength, ""},
        {"152 values", Edited("0  900  ", "900  "), Kind::DataLength, ""},
        {"154 values", SmallFile + "0\r\n", Kind::DataLength, ""},
        {"letter", Edited("99", "1a"), Kind::BadToken, "1a"},
        {"decimals", Edited("253", "25.3"), Kind::BadToken, "25.3"},
        // A tab belongs to the value.
        {"tab", Edited("7  0", "7\t0"), Kind::BadToken, "7\t0"},
        {"before a short file", Edited("99", "x").chopped(2), Kind::BadToken, "x"},
        {"set value 70000", Edited("-125", "70000"), Kind::OutOfRange, "70000"},
        {"set value 32768", Edited("253", "32768"), Kind::OutOfRange, "32768"},
        {"last step -1", Edited("7  0", "-1  0"), Kind::OutOfRange, "-1"},
        {"time 65536", Edited("900", "65536"), Kind::OutOfRange, "65536"},
    };
    for (const auto &c : cases) {
        const ProgramFile::ParseResult r = ProgramFile::parse(c.bytes);
        EXPECT_EQ(r.kind, c.kind) << c.name;
        EXPECT_EQ(r.token, QString::fromUtf8(c.token)) << c.name;
        EXPECT_EQ(r.program, P()) << c.name;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("bad.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Edited("99", "1a"));
    file.close();
    const ProgramFile::ReadResult r = ProgramFile::read(path);
    EXPECT_EQ(r.kind, ProgramFile::ReadResult::Kind::BadToken);
    EXPECT_EQ(ProgramFile::BadTokenMessage(r.token), "'1a' is not a valid integer value");
}

} // namespace
