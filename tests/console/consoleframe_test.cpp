#include "consoleframe.h"
#include "duvaerror.h"

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

TEST(ConsoleFrame, ExamplesInBothModes)
{
    struct Case
    {
        ConsoleFields f;
        ModbusMode mode;
        const char *check;
        const char *send;
        QByteArray wire;
    };
    ConsoleFields multi = fields("01", ConsoleCommand::WriteMultiWords, "1000", "2");
    multi.dataWords[0] = "0064";
    multi.dataWords[1] = "00C8";
    const Case cases[] = {
        {fields("1", ConsoleCommand::ReadRegister, "1000", "2"), ModbusMode::Ascii, "EA",
         ":010310000002EA", ":010310000002EA\r\n"},
        {fields("1", ConsoleCommand::ReadRegister, "1000", "2"), ModbusMode::Rtu, "C0CB",
         "010310000002C0CB", bytes({0x01, 0x03, 0x10, 0x00, 0x00, 0x02, 0xC0, 0xCB})},
        {fields("1", ConsoleCommand::WriteBit, "0800", "1"), ModbusMode::Ascii, "F3",
         ":01050800FF00F3", ":01050800FF00F3\r\n"},
        {multi, ModbusMode::Ascii, "AD", ":01101000000204006400C8AD",
         ":01101000000204006400C8AD\r\n"},
    };
    for (const Case &c : cases) {
        const auto frame = BuildConsoleFrame(c.f, c.mode);
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->checkField, QString::fromLatin1(c.check));
        EXPECT_EQ(frame->sendText, QString::fromLatin1(c.send));
        EXPECT_EQ(ConsoleRequestBytes(frame->sendText, c.mode), c.wire);
    }
}

TEST(ConsoleFrame, WriteBitContent)
{
    for (const char *content : {"0", "1", "5", "00", "X"}) {
        const auto frame = BuildConsoleFrame(fields("1", ConsoleCommand::WriteBit, "0800", content),
                                             ModbusMode::Ascii);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->sendText.mid(9, 4),
                  QString::fromLatin1(QByteArray(content) == "0" ? "0000" : "FF00"))
            << content;
    }
}

TEST(ConsoleFrame, CommandFunctionCodes)
{
    const struct
    {
        ConsoleCommand command;
        const char *function;
    } cases[] = {
        {ConsoleCommand::ReadRegister, "03"},
        {ConsoleCommand::WriteOneWord, "06"},
        {ConsoleCommand::ReadBits, "02"},
        {ConsoleCommand::WriteBit, "05"},
    };
    for (const auto &c : cases) {
        const auto frame =
            BuildConsoleFrame(fields("11", c.command, "4700", "1"), ModbusMode::Ascii);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->sendText.mid(3, 2), QString::fromLatin1(c.function));
    }
    ConsoleFields user = fields("11", ConsoleCommand::UserDefine, "4700", "1234");
    user.userCmd = "4";
    EXPECT_EQ(BuildConsoleFrame(user, ModbusMode::Ascii)->sendText.left(13), ":110447001234");
    user.userCmd = "4x";
    EXPECT_EQ(BuildConsoleFrame(user, ModbusMode::Ascii)->sendText.left(11), ":1147001234");
}

TEST(ConsoleFrame, MissingFieldsBuildNothing)
{
    EXPECT_FALSE(BuildConsoleFrame(fields("", ConsoleCommand::ReadRegister, "1000", "2"),
                                   ModbusMode::Ascii));
    EXPECT_FALSE(
        BuildConsoleFrame(fields("1", ConsoleCommand::None, "1000", "2"), ModbusMode::Ascii));
    EXPECT_FALSE(
        BuildConsoleFrame(fields("1", ConsoleCommand::ReadRegister, "", "2"), ModbusMode::Ascii));
    EXPECT_FALSE(BuildConsoleFrame(fields("1", ConsoleCommand::ReadRegister, "1000", ""),
                                   ModbusMode::Ascii));
}

TEST(ConsoleFrame, NonHexFieldContributesNothing)
{
    const auto frame = BuildConsoleFrame(fields("1", ConsoleCommand::ReadRegister, "10G0", "2"),
                                         ModbusMode::Ascii);
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->sendText.startsWith(":01030002"));
    EXPECT_EQ(frame->sendText.size(), 11);
}

TEST(ConsoleFrame, WriteMultiWordsCounts)
{
    ConsoleFields f = fields("1", ConsoleCommand::WriteMultiWords, "1000", "9");
    for (int i = 0; i < 8; ++i)
        f.dataWords[size_t(i)] = QStringLiteral("000%1").arg(i + 1);
    const auto nine = BuildConsoleFrame(f, ModbusMode::Ascii);
    ASSERT_TRUE(nine);
    // Quantity 0009, byte count 10 hex, then the eight words only.
    EXPECT_EQ(nine->sendText.left(15), ":01101000000910");
    EXPECT_EQ(nine->sendText.size(), 15 + 32 + 2);

    f.dataLen = "3";
    f.dataWords[1].clear(); // an empty word adds nothing
    const auto three = BuildConsoleFrame(f, ModbusMode::Ascii);
    EXPECT_EQ(three->sendText.left(23), ":0110100000030600010003");

    f.dataLen = "A";
    try {
        BuildConsoleFrame(f, ModbusMode::Ascii);
        ADD_FAILURE() << "a count that is not decimal was accepted";
    } catch (const DuvaError &e) {
        EXPECT_EQ(e.text(), "'A' is not a valid integer value");
    }
}

TEST(ConsoleFrame, RtuSendIgnoresTheEditedCheckField)
{
    const QByteArray expected = bytes({0x01, 0x03, 0x10, 0x00, 0x00, 0x02, 0xC0, 0xCB});
    EXPECT_EQ(ConsoleRequestBytes("010310000002C0CB", ModbusMode::Rtu), expected);
    EXPECT_EQ(ConsoleRequestBytes("0103100000020000", ModbusMode::Rtu), expected);
    // Editing the body changes the bytes and their CRC.
    const QByteArray edited = ConsoleRequestBytes("0103100000030000", ModbusMode::Rtu);
    EXPECT_EQ(edited.left(6), bytes({0x01, 0x03, 0x10, 0x00, 0x00, 0x03}));
    EXPECT_NE(edited.mid(6), expected.mid(6));
    // In ASCII the check field goes out as typed.
    EXPECT_EQ(ConsoleRequestBytes(":01031000000200", ModbusMode::Ascii), ":01031000000200\r\n");
}

TEST(ConsoleFrame, DataEditsFeedTheirWords)
{
    const int expected[9] = {-1, 0, 1, 2, 3, 6, 4, 5, 7};
    for (int edit = 0; edit <= 8; ++edit)
        EXPECT_EQ(DataWordIndexOfEdit(edit), expected[edit]) << edit;
}

} // namespace
