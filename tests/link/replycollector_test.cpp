// The reply collector on a line played by the test, with the test's clock.
#include "fakeline.h"
#include "link/replycollector.h"

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

TEST(ReplyCollector, WindowFromTheLastByteIsReArmedByEveryBurst)
{
    Collecting c(ReplyCollector::Timing::FromLastByte);
    c.collector.send(":010347000001B4\r\n", ascii, 36);
    EXPECT_EQ(c.line.sent, QList<QByteArray> {":010347000001B4\r\n"});
    // Bursts every second keep the reply alive far beyond 36 ticks.
    for (int i = 0; i < 4; ++i) {
        c.line.advance(1900);
        c.line.receive(":0");
    }
    EXPECT_TRUE(c.collector.waiting());
    c.line.receive("103020010EA\r\n");
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), ":0:0:0:0103020010EA\r\n");
    EXPECT_FALSE(c.line.anyTimerArmed());
    // A late timer event of that exchange is not another result.
    c.line.advance(5000);
    EXPECT_EQ(c.events.size(), 5);
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
    c.line.advance(110);
    EXPECT_EQ(c.events.last(), Event::Reply);
    EXPECT_EQ(c.collector.received(), QByteArray::fromHex("0103"));

    // Nothing at all is a time-out.
    c.collector.send("x", rtu, 1);
    c.line.advance(110);
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
