// The engine's reply rules on a line played by the test, with the test's
// clock: time-outs, bad checks and what follows them, in milliseconds.
#include "app/comsettings.h"
#include "monitor/monitorengine.h"

#include "fakeline.h"
#include "scripteddialogs.h"

#include <gtest/gtest.h>

namespace {

// The identification read of controller 1, the first request of a slot.
const QByteArray IdentAscii = ":0103474400046D\r\n";
const QByteArray IdentRtu = QByteArray::fromHex("01034744000410A8");

class EngineRules : public ::testing::Test
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    FakeLine line;
    MonitorEngine engine {line, [this] { return settings.lineSettings(); }};

    void connectSlot1()
    {
        engine.setComAddr(1, 1);
        engine.FormShow();
        ASSERT_TRUE(line.isOpen());
        engine.ConnectSlot(1);
    }
};

TEST_F(EngineRules, FiveTimeOutsInARowDisconnectTheController)
{
    connectSlot1();
    ASSERT_EQ(line.sent, QList<QByteArray> {IdentAscii});
    // The time-out counts from the last byte: a reply that trickles in byte
    // by byte is waited for.
    for (int i = 0; i < 3; ++i) {
        line.advance(1900);
        line.receive(":");
    }
    EXPECT_EQ(line.sent.size(), 1);
    EXPECT_TRUE(engine.view().errText.isEmpty());

    line.advance(55 * 38);
    EXPECT_EQ(engine.view().errText, "Time out");
    EXPECT_TRUE(engine.view().at(1).lost);
    for (int i = 0; i < 4; ++i)
        line.advance(55 * 38);
    // The same request each time, and then no more.
    EXPECT_EQ(line.sent, QList<QByteArray>(5, IdentAscii));
    EXPECT_FALSE(engine.state().at(1).DeviceRequested);
    EXPECT_EQ(engine.view().at(1).runCaption, "Connect");
    line.advance(5000);
    engine.Timer1Timer();
    EXPECT_EQ(line.sent.size(), 5);
}

TEST_F(EngineRules, RtuSilenceEndsTheFrameAndAShortFrameIsAskedAgain)
{
    settings.select(ComSettings::ModBus, 1);
    connectSlot1();
    ASSERT_EQ(line.sent, QList<QByteArray> {IdentRtu});
    // At 9600 bit/s one tick of silence ends a frame: this one is cut short.
    line.receive(QByteArray::fromHex("0103080000"));
    line.advance(110);
    ASSERT_EQ(line.sent.size(), 2);
    EXPECT_EQ(line.sent.at(1), IdentRtu);
    EXPECT_TRUE(engine.view().errText.isEmpty()) << "a bad frame is not an error";
    // Nothing at all is a time-out.
    line.advance(110);
    EXPECT_EQ(engine.view().errText, "Time out");
    EXPECT_EQ(line.sent.size(), 3);
}

TEST_F(EngineRules, DamagedRepliesAreAskedAgainAtOnce)
{
    connectSlot1();
    const QByteArray damaged[] = {
        // Taken for words, these would fail the identification and drop the
        // controller.
        ":010302FA00\r\n", // the LRC is missing: CR LF are no check digits
        ":010302000GEA\r\n", // not hex
        ":018302FF\r\n", // an exception with a wrong LRC is no exception
    };
    for (const QByteArray &reply : damaged) {
        const qsizetype before = line.sent.size();
        line.receive(reply);
        ASSERT_EQ(line.sent.size(), before + 1) << reply.constData();
        EXPECT_EQ(line.sent.last(), IdentAscii);
    }
    EXPECT_TRUE(engine.view().errText.isEmpty());
    EXPECT_TRUE(engine.state().at(1).DeviceRequested);

    // The exception with its right LRC is reported.
    line.receive(":0183027A\r\n");
    EXPECT_EQ(engine.view().errText, "illegal address ");
}

} // namespace
