// The console's rules on a line played by the test, with the test's clock.
#include "app/comsettings.h"
#include "console/consolelogic.h"
#include "fakeline.h"
#include "link/duvaerror.h"
#include "scripteddialogs.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

class Console : public ::testing::Test
{
protected:
    ComSettings settings;
    FakeLine line;
    ScriptedDialogs dialogs;
    ConsoleLogic console {line, [this] { return settings.lineSettings(); }};

    void useRtu() { settings.select(ComSettings::ModBus, 1); }

    void enterReadRegister()
    {
        console.setAddress("1");
        console.SCmdBoxSelect(int(ConsoleCommand::ReadRegister));
        console.setFunc("1000");
        console.setDataLen("2");
    }
};

TEST_F(Console, AsciiReplyGrowsAndEndsAtItsLineFeed)
{
    console.open();
    EXPECT_EQ(console.view().checkSumCaption, "LRC");
    enterReadRegister();
    console.SendBtClick(false);
    ASSERT_EQ(line.sent, QList<QByteArray> {":010310000002EA\r\n"});
    // Send while a reply is awaited sends nothing.
    console.SendBtClick(false);
    EXPECT_EQ(line.sent.size(), 1);

    line.advance(300);
    line.receive(":01030400");
    EXPECT_EQ(console.view().received, ":01030400");
    EXPECT_TRUE(console.waitingReply());
    line.receive("0100020F\r\n");
    EXPECT_FALSE(console.waitingReply());
    EXPECT_EQ(console.view().received, ":010304000100020F");
    // The window has ended: no "Time out" follows.
    line.advance(3000);
    EXPECT_EQ(console.view().received, ":010304000100020F");
}

TEST_F(Console, ReplyWindowCountsFromTheSend)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(false);
    // A reply cut short: its bytes do not extend the window of 18 ticks.
    line.advance(900);
    line.receive(":0103");
    line.advance(55 * 19 - 900 - 1);
    EXPECT_TRUE(console.waitingReply());
    line.advance(56);
    EXPECT_FALSE(console.waitingReply());
    EXPECT_EQ(console.view().received, "Time out");
    // Send works again at once.
    console.SendBtClick(false);
    EXPECT_EQ(line.sent.size(), 2);
}

TEST_F(Console, RtuReplyEndsAtItsLengthOrWithTheWindow)
{
    useRtu();
    console.open();
    EXPECT_EQ(console.view().checkSumCaption, "CRC");
    enterReadRegister();
    EXPECT_EQ(console.view().sendText, "010310000002C0CB");
    console.setSendText("0103100000020000"); // a hand-edited check field
    console.SendBtClick(false);
    ASSERT_EQ(line.sent.size(), 1);
    EXPECT_EQ(line.sent.at(0).toHex().toUpper(), "010310000002C0CB");

    // 01 03 04 000A 0014 + CRC: complete at nine bytes.
    line.receive(QByteArray::fromHex("010304000A"));
    EXPECT_TRUE(console.waitingReply());
    line.receive(QByteArray::fromHex("0014DA3E"));
    EXPECT_FALSE(console.waitingReply());
    EXPECT_EQ(console.view().received, "010304000A0014DA3E");

    // A reply that never completes is shown as it stands when the window ends.
    console.SendBtClick(false);
    line.receive(QByteArray::fromHex("0103"));
    line.advance(55 * 20);
    EXPECT_FALSE(console.waitingReply());
    EXPECT_EQ(console.view().received, "0103");
    // Silence is a time-out.
    console.SendBtClick(false);
    line.advance(55 * 20);
    EXPECT_EQ(console.view().received, "Time out");
}

TEST_F(Console, RepeatNeverSendsWhileAReplyIsAwaited)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(true);
    EXPECT_EQ(console.view().repeatCaption, "Stop");
    EXPECT_TRUE(console.timer1().isActive());
    ASSERT_EQ(line.sent.size(), 1);
    // Later edits reach the line only with the next click.
    console.setAddress("2");
    console.Timer1Timer(); // a tick while waiting is skipped
    EXPECT_EQ(line.sent.size(), 1);
    line.receive(":010304000100020F\r\n");
    console.Timer1Timer();
    ASSERT_EQ(line.sent.size(), 2);
    EXPECT_EQ(line.sent.at(1), ":010310000002EA\r\n");

    // The Stop click stops the repetition and sends once more when idle.
    line.advance(55 * 20);
    console.SendBtClick(true);
    EXPECT_FALSE(console.repeating());
    EXPECT_FALSE(console.timer1().isActive());
    EXPECT_EQ(console.view().repeatCaption, "Repeat");
    EXPECT_EQ(line.sent.size(), 3);
    EXPECT_EQ(line.sent.at(2), ":020310000002E9\r\n");
}

TEST_F(Console, AFrameThatCannotBeBuiltIsNeverSent)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(false);
    line.receive(":010304000100020F\r\n");
    ASSERT_EQ(line.sent.size(), 1);

    console.setAddress("G1");
    EXPECT_EQ(console.view().sendText, "ADDRESS is not hex");
    console.SendBtClick(false);
    EXPECT_EQ(line.sent.size(), 1) << "neither this frame nor the previous one";

    // The user's own frame text goes out again.
    console.setSendText(":01031000000200");
    console.SendBtClick(false);
    ASSERT_EQ(line.sent.size(), 2);
    EXPECT_EQ(line.sent.at(1), ":01031000000200\r\n");
}

TEST_F(Console, AWordCountThatIsNotANumberRedrawsThePanelAndSendsNothing)
{
    console.open();
    console.setAddress("1");
    console.setFunc("1000");
    console.setDataLen("A");
    console.SCmdBoxSelect(int(ConsoleCommand::WriteMultiWords));
    // The panel shows the new command whole, and the error is told.
    EXPECT_TRUE(console.view().multiWriteVisible);
    EXPECT_EQ(console.view().dataLenCaption, "WORD COUNT");
    EXPECT_EQ(console.view().dataLenMaxLength, 1);
    QTest::qWait(10);
    EXPECT_EQ(dialogs.texts("error"), QStringList {"'A' is not a valid integer value"});
    console.SendBtClick(false);
    EXPECT_TRUE(line.sent.isEmpty());
}

TEST_F(Console, CloseWhileWaitingThenSendAtOnce)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(false);
    console.SExitBtClick();
    EXPECT_FALSE(line.isOpen());
    EXPECT_TRUE(console.view().received.isEmpty());

    console.open();
    console.SendBtClick(false);
    EXPECT_EQ(line.sent.size(), 2);
    EXPECT_EQ(line.opened, settings.lineSettings());
}

TEST_F(Console, ReplyBufferIsCapped)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(false);
    // (Bytes before the frame's ':' are not the reply.)
    line.receive(':' + QByteArray(9999, 'A'));
    EXPECT_EQ(console.view().received.size(), ConsoleLogic::MaxReply);
}

TEST_F(Console, FailedOpeningWarnsAndSendingWarnsOnceAndStopsRepeating)
{
    line.failOpening = true;
    console.open();
    EXPECT_FALSE(line.isOpen());
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_EQ(dialogs.shown.last().title, "Warning");
    EXPECT_EQ(dialogs.shown.last().text, "Com port not exist\nCOM1 not found");

    enterReadRegister();
    console.SendBtClick(true);
    QTest::qWait(10);
    EXPECT_EQ(dialogs.texts().size(), 2);
    EXPECT_FALSE(console.repeating());
    EXPECT_EQ(console.view().repeatCaption, "Repeat");
}

TEST_F(Console, AChangedModbusFormatRebuildsTheFrame)
{
    console.open();
    enterReadRegister();
    EXPECT_EQ(console.view().sendText, ":010310000002EA");
    console.SExitBtClick();
    useRtu(); // changed in PROTOCOL while the console was closed
    console.open();
    EXPECT_EQ(console.view().checkSumCaption, "CRC");
    EXPECT_EQ(console.view().sendText, "010310000002C0CB");
    console.SendBtClick(false);
    ASSERT_EQ(line.sent.size(), 1);
    EXPECT_EQ(line.sent.at(0).toHex().toUpper(), "010310000002C0CB");

    // A repetition in the old format is not sent on in the new one.
    line.receive(QByteArray::fromHex("010304000A0014DA3E"));
    console.SendBtClick(true);
    line.receive(QByteArray::fromHex("010304000A0014DA3E"));
    settings.select(ComSettings::ModBus, 0);
    console.Timer1Timer();
    EXPECT_EQ(line.sent.size(), 2);
    EXPECT_FALSE(console.repeating());
}

TEST_F(Console, AnRtuFrameWithAWrongCharacterIsNotSentAndSaysWhich)
{
    useRtu();
    console.open();
    console.setSendText("01 03 10 0G 00 02 C0 CB");
    console.SendBtClick(false);
    EXPECT_TRUE(line.sent.isEmpty());
    EXPECT_EQ(console.view().decoded, "Not sent: 'G' at position 11 is not a hex digit");
    console.setSendText("01 03 10 00 00 02 00 00");
    console.SendBtClick(false);
    ASSERT_EQ(line.sent.size(), 1);
    EXPECT_EQ(line.sent.at(0).toHex().toUpper(), "010310000002C0CB");
}

TEST_F(Console, ARemovedDeviceIsSaidOnceAndSendingResumesWhenItIsBack)
{
    console.open();
    enterReadRegister();
    line.lose();
    line.failOpening = true;
    console.SendBtClick(false);
    EXPECT_TRUE(line.sent.isEmpty());
    console.SendBtClick(false); // still gone: not said again
    QTest::qWait(10);
    EXPECT_EQ(dialogs.texts(), QStringList {"The serial device /dev/ttyUSB0 was removed"});

    line.failOpening = false;
    console.SendBtClick(false);
    ASSERT_EQ(line.sent.size(), 1);
    EXPECT_EQ(line.sent.at(0), ":010310000002EA\r\n");
    EXPECT_EQ(line.openings, 2);
}

TEST_F(Console, RepliesAreReadBeneath)
{
    console.open();
    enterReadRegister();
    const struct
    {
        QByteArray reply;
        const char *decoded;
    } cases[] = {
        {":01030400010002F5\r\n", "address 1, read: 1000=0001 (1), 1001=0002 (2)"},
        {":0183027A\r\n", "address 1, exception 02: illegal address"},
        {":010304000100020F\r\n", "bad checksum"},
    };
    for (const auto &c : cases) {
        console.SendBtClick(false);
        line.receive(c.reply);
        EXPECT_EQ(console.view().decoded, QString::fromLatin1(c.decoded));
    }
    console.setSendText(":0106472A5AC36B");
    console.SendBtClick(false);
    line.receive(":0106472A5AC36B\r\n");
    EXPECT_EQ(console.view().decoded, "address 1, write echoed: 472A=5AC3 (23235)");
}

} // namespace
