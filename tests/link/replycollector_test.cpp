// The reply collector on a line played by the test, with the test's clock.
#include "fakeline.h"
#include "link/replycollector.h"
#include "link/trafficlog.h"

#include <gtest/gtest.h>

namespace {

using Event = ReplyCollector::Event;

struct Collecting
{
    FakeLine line;
    QList<Event> events;
    ReplyCollector collector;

    explicit Collecting(ReplyCollector::Timing timing, int capacity = 512)
        : collector(line, timing, capacity)
    {
        line.setTriggerHandler([this](quint16 msg, quint16 h, quint16 data) {
            events << collector.take(msg, h, data);
        });
        line.openWith(LineSettings());
        collector.attach();
    }
};

const Framing &ascii = Framing::of(ModbusMode::Ascii);
const Framing &rtu = Framing::of(ModbusMode::Rtu);

TEST(ReplyCollector, WindowFromTheLastByteIsReArmedByEveryBurstWithinItsTotal)
{
    Collecting c(ReplyCollector::Timing::FromLastByte);
    c.collector.send(":010347000001B4\r\n", ascii, 36);
    EXPECT_EQ(c.line.sent, QList<QByteArray> {":010347000001B4\r\n"});
    // A burst a second keeps the reply alive beyond its 36 ticks...
    c.line.advance(1900);
    c.line.receive(":01030200");
    c.line.advance(1900);
    EXPECT_TRUE(c.collector.waiting());
    c.line.receive("10EA\r\n");
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), ":0103020010EA\r\n");
    EXPECT_FALSE(c.line.anyTimerArmed());
    // A late timer event of that exchange is not another result.
    c.line.advance(5000);
    EXPECT_EQ(c.events.size(), 2);

    // ... but noise that never ends a line ends the window at 2 x 36 + 4
    // ticks (4180 ms), however long it lasts.
    c.collector.send(":010347000001B4\r\n", ascii, 36);
    const qint64 sent = c.line.now();
    while (c.collector.waiting() && c.line.now() - sent < 20000) {
        c.line.advance(100);
        c.line.receive("\x7F");
    }
    EXPECT_EQ(c.events.last(), Event::TimedOut);
    EXPECT_LE(c.line.now() - sent, 4200);
    EXPECT_GE(c.line.now() - sent, 4100);
}

TEST(ReplyCollector, EchoIsRemovedAndTheAsciiFrameFoundAgainAtItsColon)
{
    TrafficLog::shared().clear();
    const qint64 before = TrafficLog::shared().newest();
    Collecting c(ReplyCollector::Timing::FromLastByte);
    c.collector.setTrafficSource("Test");
    const QByteArray request = ":010347000001B4\r\n";
    // The echo, a turn-on glitch and the reply, as a two-wire adapter
    // hands them over.
    c.collector.send(request, ascii, 36);
    c.line.receive(request.left(9));
    c.line.receive(request.mid(9) + "\xFF:0103020010EA\r\n");
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), ":0103020010EA\r\n");
    EXPECT_EQ(c.collector.echo(), request);
    EXPECT_TRUE(c.line.echoHeard());
    // Said once: the second echo is removed without a word.
    c.collector.send(request, ascii, 36);
    c.line.receive(request + ":01:0103020011E9\r\n");
    EXPECT_EQ(c.collector.received(), ":0103020011E9\r\n");
    int echoes = 0;
    for (qint64 s = before + 1; s <= TrafficLog::shared().newest(); ++s)
        echoes += TrafficLog::shared().at(s)->kind == TrafficKind::Echo;
    EXPECT_EQ(echoes, 1);

    // A write's echo is its reply too: on a line known to echo, the second
    // copy is the controller's.
    const QByteArray write = ":0106475F03E848\r\n";
    c.collector.send(write, ascii, 36);
    c.line.receive(write);
    EXPECT_TRUE(c.collector.waiting());
    c.line.receive(write);
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), write);

    // A read answered with no echo before it: the line does not echo (the
    // copy learnt from was a stray frame), and a write's one copy is its
    // reply again.
    c.collector.send(request, ascii, 36);
    c.line.receive(":0103020012E8\r\n");
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_FALSE(c.line.echoHeard());
    c.collector.send(write, ascii, 36);
    c.line.receive(write);
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), write);

    // Off: nothing is taken away.
    LineSettings off;
    off.talk.echo = EchoRemoval::Off;
    c.line.openWith(off);
    c.collector.attach();
    c.collector.send(request, ascii, 36);
    c.line.receive(request);
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), request);
}

TEST(ReplyCollector, RtuReplyPausedInsideIsAssembledByItsLength)
{
    // An adapter's 16 ms packets and a slow second packet: longer than the
    // silence, yet the length says more is coming.
    Collecting c(ReplyCollector::Timing::FromLastByte);
    const QByteArray request = QByteArray::fromHex("01034700000190BE");
    c.collector.send(request, rtu, 1);
    c.line.advance(16);
    c.line.receive(request + QByteArray::fromHex("010302"));
    c.line.advance(150);
    EXPECT_TRUE(c.collector.waiting());
    c.line.receive(QByteArray::fromHex("0010B988"));
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), QByteArray::fromHex("0103020010B988"));
}

TEST(ReplyCollector, TextWithoutItsLineFeedTimesOut)
{
    Collecting c(ReplyCollector::Timing::FromLastByte);
    c.collector.send("x", ascii, 36);
    c.line.receive(":0103020010EA\r");
    c.line.advance(55 * 38);
    EXPECT_EQ(c.events.last(), Event::TimedOut);
    EXPECT_FALSE(c.collector.waiting());
}

TEST(ReplyCollector, RtuFrameEndsAtItsLengthOrInTheSilence)
{
    Collecting c(ReplyCollector::Timing::FromLastByte);
    c.collector.send("x", rtu, 1);
    // Complete at the expected length; what follows in the burst is dropped.
    c.line.receive(QByteArray::fromHex("018302C0F1FFFF"));
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), QByteArray::fromHex("018302C0F1"));

    // Cut short: the silence hands over what arrived, for the checks to judge.
    c.collector.send("x", rtu, 1);
    c.line.receive(QByteArray::fromHex("0103"));
    c.line.advance(500); // the window's total: 2 x (1 + 1) + 4 ticks
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), QByteArray::fromHex("0103"));

    // Nothing at all is a time-out (the adapter's latency allowed for).
    c.collector.send("x", rtu, 1);
    c.line.advance(170);
    EXPECT_EQ(c.events.last(), Event::TimedOut);
}

TEST(ReplyCollector, TheLinesTimeOutAndPauseApplyToEveryWindow)
{
    Collecting c(ReplyCollector::Timing::FromLastByte);
    LineSettings slow;
    slow.talk.replyTimeoutMs = 3000; // a radio link
    slow.talk.pauseMs = 200;
    c.line.openWith(slow);
    c.collector.attach();
    c.collector.send(":010347000001B4\r\n", ascii, 36);
    c.line.advance(2900);
    EXPECT_TRUE(c.collector.waiting()); // 36 ticks would have ended by now
    c.line.receive(":0103020010EA\r\n");
    EXPECT_EQ(c.events.last(), Event::Reply);
    // The next request waits for the pause, then goes out with its window.
    c.collector.send(":010347000001B4\r\n", ascii, 36);
    EXPECT_EQ(c.line.sent.size(), 1);
    c.line.advance(150);
    EXPECT_EQ(c.line.sent.size(), 1);
    c.line.advance(150);
    EXPECT_EQ(c.line.sent.size(), 2);
    c.line.advance(3200);
    EXPECT_EQ(c.events.last(), Event::TimedOut);
}

TEST(ReplyCollector, BytesWhileIdleAreReadAndNoResult)
{
    Collecting c(ReplyCollector::Timing::FromSend, 8);
    c.line.receive(":0103020010EA\r\n");
    EXPECT_EQ(c.events, QList<Event> {Event::Bytes});
    EXPECT_FALSE(c.collector.waiting());
    // They are no reply: not kept as one (the traffic log has them).
    EXPECT_TRUE(c.collector.received().isEmpty());
    c.collector.send("x", ascii, 18);
    EXPECT_TRUE(c.collector.received().isEmpty());
    c.collector.cancel();
    c.line.advance(2000);
    EXPECT_EQ(c.events.size(), 1);
}

} // namespace
