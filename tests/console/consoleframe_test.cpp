#include "console/consoleframe.h"
#include "link/duvaerror.h"
#include "link/framing.h"

#include "bytes.h"

#include <gtest/gtest.h>

namespace {

ConsoleFields fields(const char *address, ConsoleCommand command, const char *func,
                     const char *dataLen)
{
    ConsoleFields f;
    f.address = QString::fromLatin1(address);
    f.command = command;
    f.func = QString::fromLatin1(func);
    f.dataLen = QString::fromLatin1(dataLen);
    return f;
}

TEST(ConsoleFrame, PadHex)
{
    const struct
    {
        const char *text;
        int width;
        const char *result;
    } cases[] = {
        {"1", 2, "01"}, {"", 4, "0000"}, {"ABC", 4, "0ABC"}, {"12345", 4, "12345"},
        {"1G", 2, ""},  {"1a", 2, ""},   {" 1", 2, ""},      {"FF", 2, "FF"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PadHex(QString::fromLatin1(c.text), c.width), QString::fromLatin1(c.result))
            << c.text;
}

const Framing &ascii = Framing::of(ModbusMode::Ascii);
const Framing &rtu = Framing::of(ModbusMode::Rtu);

TEST(ConsoleFrame, ExamplesInBothFramings)
{
    struct Case
    {
        ConsoleFields f;
        const Framing &framing;
        const char *check;
        const char *send;
        QByteArray wire;
    };
    ConsoleFields multi = fields("01", ConsoleCommand::WriteMultiWords, "1000", "2");
    multi.dataWords[0] = "64";
    multi.dataWords[1] = "C8";
    ConsoleFields user = fields("11", ConsoleCommand::UserDefine, "4700", "1234");
    user.userCmd = "4";
    const Case cases[] = {
        {fields("1", ConsoleCommand::ReadRegister, "1000", "2"), ascii, "EA", ":010310000002EA",
         ":010310000002EA\r\n"},
        {fields("1", ConsoleCommand::ReadRegister, "1000", "2"), rtu, "C0CB", "010310000002C0CB",
         bytes({0x01, 0x03, 0x10, 0x00, 0x00, 0x02, 0xC0, 0xCB})},
        {fields("1", ConsoleCommand::WriteBit, "0800", "1"), ascii, "F3", ":01050800FF00F3",
         ":01050800FF00F3\r\n"},
        {fields("1", ConsoleCommand::WriteBit, "0800", "0"), ascii, "F2", ":010508000000F2",
         ":010508000000F2\r\n"},
        {multi, ascii, "AD", ":01101000000204006400C8AD", ":01101000000204006400C8AD\r\n"},
        {user, ascii, "5E", ":1104470012345E", ":1104470012345E\r\n"},
    };
    for (const Case &c : cases) {
        const auto frame = BuildConsoleFrame(c.f, c.framing);
        ASSERT_TRUE(frame.has_value());
        EXPECT_FALSE(frame->invalid);
        EXPECT_EQ(frame->checkField, QString::fromLatin1(c.check));
        EXPECT_EQ(frame->sendText, QString::fromLatin1(c.send));
        EXPECT_EQ(c.framing.frameFromText(frame->sendText), c.wire);
    }
}

TEST(ConsoleFrame, MissingFieldsBuildNothing)
{
    EXPECT_FALSE(BuildConsoleFrame(fields("", ConsoleCommand::ReadRegister, "1000", "2"), ascii));
    EXPECT_FALSE(BuildConsoleFrame(fields("1", ConsoleCommand::None, "1000", "2"), ascii));
    EXPECT_FALSE(BuildConsoleFrame(fields("1", ConsoleCommand::ReadRegister, "", "2"), ascii));
    EXPECT_FALSE(BuildConsoleFrame(fields("1", ConsoleCommand::ReadRegister, "1000", ""), ascii));
}

TEST(ConsoleFrame, AFieldThatIsNotHexBuildsNoFrameAndSaysWhich)
{
    ConsoleFields user = fields("11", ConsoleCommand::UserDefine, "4700", "1234");
    user.userCmd = "4X";
    const struct
    {
        ConsoleFields f;
        const char *message;
    } cases[] = {
        // Left out, "G1" would send a request to address 3 with function 47.
        {fields("G1", ConsoleCommand::ReadRegister, "4700", "2"), "ADDRESS is not hex"},
        {fields("1", ConsoleCommand::ReadRegister, "10G0", "2"), "FUNC ADDR is not hex"},
        {fields("1", ConsoleCommand::WriteOneWord, "1000", "12Z4"), "WRITE DATA is not hex"},
        {user, "COMMAND is not hex"},
    };
    for (const auto &c : cases) {
        for (const Framing *framing : {&ascii, &rtu}) {
            const auto frame = BuildConsoleFrame(c.f, *framing);
            ASSERT_TRUE(frame) << c.message;
            EXPECT_TRUE(frame->invalid) << c.message;
            EXPECT_EQ(frame->sendText, QString::fromLatin1(c.message));
            EXPECT_TRUE(frame->checkField.isEmpty());
        }
    }
}

TEST(ConsoleFrame, WriteMultiWordsSendsEveryWordItsCountClaims)
{
    ConsoleFields f = fields("1", ConsoleCommand::WriteMultiWords, "1000", "9");
    for (int i = 0; i < 8; ++i)
        f.dataWords[size_t(i)] = QStringLiteral("%1").arg(i + 1);
    // More words than the data boxes hold: refused, naming the field, as
    // a frame whose quantity, byte count and words disagree must not go out.
    const auto nine = BuildConsoleFrame(f, ascii);
    ASSERT_TRUE(nine);
    EXPECT_TRUE(nine->invalid);
    EXPECT_EQ(nine->sendText, "WORD COUNT is not 1 to 8 (the data boxes hold eight words)");
    f.dataLen = "0012"; // left from Write One Word
    EXPECT_TRUE(BuildConsoleFrame(f, ascii)->invalid);
    f.dataLen = "0";
    EXPECT_TRUE(BuildConsoleFrame(f, ascii)->invalid);
    // Eight: quantity 0008, byte count 10 hex, the eight words.
    f.dataLen = "08";
    EXPECT_EQ(BuildConsoleFrame(f, ascii)->sendText,
              ":0110100000081000010002000300040005000600070008A3");

    // A word the count claims is never dropped: not hex, or never entered.
    f.dataLen = "3";
    f.dataWords[1] = "00G8";
    EXPECT_EQ(BuildConsoleFrame(f, ascii)->sendText, "DATA2 is not hex");
    f.dataWords[1].reset();
    EXPECT_EQ(BuildConsoleFrame(f, ascii)->sendText, "DATA2 is empty");
    // Words beyond the count do not matter.
    f.dataLen = "1";
    EXPECT_EQ(BuildConsoleFrame(f, ascii)->sendText, ":011010000001020001DB");

    f.dataLen = "A";
    try {
        BuildConsoleFrame(f, ascii);
        ADD_FAILURE() << "a count that is not decimal was accepted";
    } catch (const DuvaError &e) {
        EXPECT_EQ(e.text(), "'A' is not a valid integer value");
    }
}

TEST(ConsoleFrame, EditedFrameText)
{
    const QByteArray expected = bytes({0x01, 0x03, 0x10, 0x00, 0x00, 0x02, 0xC0, 0xCB});
    // RTU: the shown CRC is computed afresh; the body goes out as edited.
    EXPECT_EQ(rtu.frameFromText("0103100000020000"), expected);
    EXPECT_EQ(rtu.frameFromText("0103100000030000"),
              bytes({0x01, 0x03, 0x10, 0x00, 0x00, 0x03, 0x01, 0x0B}));
    // Blanks between the pairs are skipped.
    EXPECT_EQ(rtu.frameFromText("01 03 10 00 00 02 C0 CB"), expected);
    // A body that is not whole hex pairs is not sent at all, and says why.
    const struct
    {
        const char *text;
        const char *problem;
    } bad[] = {
        {"01031000000G0000", "'G' at position 12 is not a hex digit"},
        {"0103100000020a00", "'a' at position 14 is not a hex digit"},
        {"010310000000000", "an odd number of hex digits"},
        {"0A", "too short: address, function and CRC at least"},
    };
    for (const auto &b : bad) {
        QString problem;
        EXPECT_FALSE(rtu.frameFromText(QString::fromLatin1(b.text), &problem)) << b.text;
        EXPECT_EQ(problem, QString::fromLatin1(b.problem));
    }
    // ASCII: the text goes out as typed, check field included.
    EXPECT_EQ(ascii.frameFromText(":01031000000200"), ":01031000000200\r\n");
    EXPECT_FALSE(ascii.frameFromText(""));
}

TEST(ConsoleFrame, DataEditsFeedTheirWords)
{
    const int expected[9] = {-1, 0, 1, 2, 3, 6, 4, 5, 7};
    for (int edit = 0; edit <= 8; ++edit)
        EXPECT_EQ(DataWordIndexOfEdit(edit), expected[edit]) << edit;
}

} // namespace
