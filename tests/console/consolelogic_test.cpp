// The console against a controller played by the test on a pseudo-terminal.
#include "comsettings.h"
#include "consolelogic.h"
#include "hexcodec.h"
#include "ptypeer.h"
#include "requests.h"
#include "scripteddialogs.h"
#include "serialchannel.h"
#include "tempworkdir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ConsoleLine : public ::testing::Test
{
protected:
    TemporaryWorkDir work;
    PtyPeer peer;
    ComSettings settings;
    SerialChannel channel;
    ScriptedDialogs dialogs;
    ConsoleLogic console {channel, settings};

    void SetUp() override
    {
        ASSERT_TRUE(peer.isValid());
        ASSERT_TRUE(peer.linkAs("COM1"));
        channel.OnTrigger = [this](SerialChannel &, quint16 msg, quint16 h, quint16 data) {
            console.ApdComPort1Trigger(msg, h, data);
        };
    }
    void TearDown() override { channel.setOpen(false); }

    void useRtu() { settings.select(ComSettings::ModBus, 1); }

    void enterReadRegister()
    {
        console.setAddress("1");
        console.SCmdBoxSelect(int(ConsoleCommand::ReadRegister));
        console.setFunc("1000");
        console.setDataLen("2");
    }

    bool waitFor(const std::function<bool()> &done, int ms = 3000)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QTest::qWait(5);
        return done();
    }
};

TEST_F(ConsoleLine, AsciiExchangeShowsTheReplyWithoutItsLineEnd)
{
    console.open();
    ASSERT_TRUE(channel.Open());
    EXPECT_EQ(console.view().checkSumCaption, "LRC");
    enterReadRegister();
    EXPECT_EQ(console.view().checkSum, "EA");
    EXPECT_EQ(console.view().sendText, ":010310000002EA");

    console.SendBtClick(false);
    EXPECT_EQ(peer.read(17), ":010310000002EA\r\n");
    EXPECT_TRUE(console.waitingReply());
    // A second click while waiting sends nothing.
    console.SendBtClick(false);
    EXPECT_TRUE(peer.readFor(100).isEmpty());

    // The reply in two pieces: shown growing, ended by the line feed.
    ASSERT_TRUE(peer.write(":01030400"));
    ASSERT_TRUE(waitFor([&] { return console.view().received == ":01030400"; }));
    ASSERT_TRUE(peer.write("0100020F\r\n"));
    ASSERT_TRUE(waitFor([&] { return !console.waitingReply(); }));
    EXPECT_EQ(console.view().received, ":010304000100020F");
    // The window has ended: no "Time out" follows.
    QTest::qWait(1300);
    EXPECT_EQ(console.view().received, ":010304000100020F");
}

TEST_F(ConsoleLine, AsciiSilenceEndsInTimeOutAfterAboutASecond)
{
    console.open();
    enterReadRegister();
    QElapsedTimer t;
    t.start();
    console.SendBtClick(false);
    ASSERT_TRUE(waitFor([&] { return console.view().received == "Time out"; }, 4000));
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_FALSE(console.waitingReply());
}

TEST_F(ConsoleLine, AsciiCheckFieldEditedByHandGoesOutAsEdited)
{
    console.open();
    enterReadRegister();
    console.setSendText(":01031000000200");
    console.SendBtClick(false);
    EXPECT_EQ(peer.read(17), ":01031000000200\r\n");
}

TEST_F(ConsoleLine, RtuExchangeShowsHexAndRecomputesTheCrc)
{
    useRtu();
    console.open();
    EXPECT_EQ(console.view().checkSumCaption, "CRC");
    enterReadRegister();
    EXPECT_EQ(console.view().sendText, "010310000002C0CB");
    console.setSendText("0103100000020000"); // a hand-edited check field
    console.SendBtClick(false);
    const QByteArray wire = peer.read(8);
    EXPECT_EQ(wire.toHex().toUpper(), "010310000002C0CB");

    QByteArray reply = QByteArray::fromHex("010304000A0014");
    reply += ModbusCrc16(reply);
    ASSERT_TRUE(peer.write(reply));
    const QString hex = QString::fromLatin1(reply.toHex().toUpper());
    ASSERT_TRUE(waitFor([&] { return console.view().received == hex; }));
    // The reply window ends the exchange and keeps what arrived.
    ASSERT_TRUE(waitFor([&] { return !console.waitingReply(); }, 3000));
    EXPECT_EQ(console.view().received, hex);
}

TEST_F(ConsoleLine, RtuSilenceShowsTimeOut)
{
    useRtu();
    console.open();
    enterReadRegister();
    console.SendBtClick(false);
    ASSERT_TRUE(waitFor([&] { return !console.waitingReply(); }, 4000));
    EXPECT_EQ(console.view().received, "Time out");
}

TEST_F(ConsoleLine, RepeatSendsOncePerSecondAndStopStops)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(true);
    EXPECT_TRUE(console.repeating());
    EXPECT_EQ(console.view().repeatCaption, "Stop");
    // The controller answers every request at once.
    int requests = 0;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 3500) {
        const QByteArray got = peer.read(17, 50);
        if (!got.isEmpty()) {
            requests += int(got.count('\n'));
            peer.write(":01030400010002F5\r\n");
        }
    }
    EXPECT_GE(requests, 3);
    EXPECT_LE(requests, 5);

    // A plain Send leaves the repetition running.
    console.SendBtClick(false);
    EXPECT_TRUE(console.repeating());
    EXPECT_TRUE(console.timer1().isActive());

    console.SendBtClick(true);
    EXPECT_FALSE(console.repeating());
    EXPECT_FALSE(console.timer1().isActive());
    EXPECT_EQ(console.view().repeatCaption, "Repeat");
    peer.readFor(1200);
    EXPECT_TRUE(peer.readFor(1500).isEmpty());
}

TEST_F(ConsoleLine, CloseWhileWaitingThenSendAtOnce)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(false);
    EXPECT_EQ(peer.read(17).size(), 17);
    console.SExitBtClick();
    EXPECT_FALSE(channel.Open());
    EXPECT_TRUE(console.view().received.isEmpty());

    console.open();
    ASSERT_TRUE(channel.Open());
    console.SendBtClick(false);
    EXPECT_EQ(peer.read(17), ":010310000002EA\r\n");
}

TEST_F(ConsoleLine, ReplyBufferIsCapped)
{
    console.open();
    enterReadRegister();
    console.SendBtClick(false);
    peer.read(17);
    ASSERT_TRUE(peer.write(QByteArray(10000, 'A')));
    ASSERT_TRUE(waitFor([&] { return console.view().received.size() == ConsoleLogic::MaxReply; }));
    QTest::qWait(100);
    EXPECT_EQ(console.view().received.size(), ConsoleLogic::MaxReply);
}

TEST_F(ConsoleLine, FailedOpeningWarnsAndSendingWarnsOnceAndStopsRepeating)
{
    // A COM1 entry that leads nowhere: the port does not exist (and no other
    // port of the machine is tried).
    QFile::remove("COM1");
    ASSERT_TRUE(QFile::link(QDir(work.path()).filePath("missing-device"), "COM1"));
    console.open();
    EXPECT_FALSE(channel.Open());
    ASSERT_TRUE(waitFor([&] { return dialogs.texts().size() == 1; }));
    EXPECT_EQ(dialogs.shown.last().title, "Warning");
    EXPECT_EQ(dialogs.shown.last().text, "Com port not exist\nCOM1 not found");

    enterReadRegister();
    console.SendBtClick(true);
    QTest::qWait(2500);
    EXPECT_EQ(dialogs.texts().size(), 2);
    EXPECT_FALSE(console.repeating());
    EXPECT_EQ(console.view().repeatCaption, "Repeat");
}

TEST_F(ConsoleLine, FieldsAdaptToTheCommand)
{
    console.SCmdBoxSelect(int(ConsoleCommand::WriteMultiWords));
    EXPECT_TRUE(console.view().multiWriteVisible);
    EXPECT_EQ(console.view().dataLenCaption, "WORD COUNT");
    EXPECT_EQ(console.view().dataLenMaxLength, 1);
    console.SCmdBoxSelect(int(ConsoleCommand::UserDefine));
    EXPECT_FALSE(console.view().multiWriteVisible);
    EXPECT_TRUE(console.view().userCmdVisible);
    EXPECT_EQ(console.view().dataLenCaption, "DATA");
    console.SCmdBoxSelect(int(ConsoleCommand::WriteBit));
    EXPECT_FALSE(console.view().userCmdVisible);
    EXPECT_EQ(console.view().dataLenCaption, "CONTENT");

    // Data words keep their values and feed the frame.
    console.setAddress("01");
    console.SCmdBoxSelect(int(ConsoleCommand::WriteMultiWords));
    console.setFunc("1000");
    console.Edit1Change(1, "64");
    console.Edit1Change(2, "C8");
    console.setDataLen("2");
    EXPECT_EQ(console.view().sendText, ":01101000000204006400C8AD");
    // A count that is not a number keeps the frame as it was.
    EXPECT_THROW(console.setDataLen("A"), DuvaError);
    EXPECT_EQ(console.view().sendText, ":01101000000204006400C8AD");
}

} // namespace
