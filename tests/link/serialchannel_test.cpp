// The serial channel over pseudo-terminal pairs the tests make: what the
// windows rely on when they send requests, collect replies and time out.
#include "link/comports.h"
#include "link/serialchannel.h"
#include "ptypeer.h"
#include "tempworkdir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <sys/resource.h>

namespace {

// What a handler saw.
struct Event
{
    quint16 msg = 0;
    quint16 handle = 0;
    quint16 data = 0;
    QByteArray bytes; // read inside the handler
    qint64 atMs = 0; // since the recorder was attached
};

// An OnTrigger handler that records every event and reads up to `readLimit`
// of the announced bytes; `during` runs inside the handler after reading.
struct Recorder
{
    QList<Event> events;
    int readLimit = INT_MAX;
    std::function<void(SerialChannel &, const Event &)> during;
    int depth = 0;
    int maxDepth = 0;
    QElapsedTimer clock;

    void attach(SerialChannel &channel)
    {
        clock.start();
        channel.OnTrigger = [this](SerialChannel &cp, quint16 msg, quint16 handle, quint16 data) {
            maxDepth = std::max(maxDepth, ++depth);
            Event event {msg, handle, data, {}, clock.elapsed()};
            if (msg == SerialChannel::DataAvailable)
                for (int i = 0; i < data && i < readLimit; ++i)
                    event.bytes.append(char(cp.ReadByte()));
            events.append(event);
            if (during)
                during(cp, event);
            --depth;
        };
    }
    QList<Event> of(quint16 msg) const
    {
        QList<Event> out;
        for (const Event &e : events)
            if (e.msg == msg)
                out.append(e);
        return out;
    }
    QByteArray received() const
    {
        QByteArray all;
        for (const Event &e : events)
            all += e.bytes;
        return all;
    }
};

// The code of the ChannelError `action` throws (0 when it throws none),
// and its text.
int errorOf(const std::function<void()> &action, QString *text = nullptr)
{
    try {
        action();
    } catch (const ChannelError &e) {
        if (text)
            *text = e.text();
        return e.code();
    }
    return 0;
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

// Every test runs in a fresh working directory holding only the COMn links
// it makes, so that no test reaches a port it did not create. Most talk to
// one pty through one channel with a recording handler.
class ChannelTest : public ::testing::Test
{
protected:
    // Links the pty as COMn and sets the channel to it (8N1: a pty takes
    // no other data bits or parity).
    void useLine(quint16 number = 1)
    {
        ASSERT_TRUE(peer.isValid());
        ASSERT_TRUE(peer.linkAs(QStringLiteral("COM%1").arg(number)));
        channel.setComNumber(number);
        channel.setParity(TParity::pNone);
        channel.setDataBits(8);
    }
    // The same, with the recorder attached and the channel open.
    void openLine(quint16 number = 1)
    {
        useLine(number);
        rec.attach(channel);
        channel.setOpen(true);
        ASSERT_TRUE(channel.Open());
    }

    TemporaryWorkDir m_workDir;
    PtyPeer peer;
    SerialChannel channel;
    Recorder rec;
};

// --- Data ----------------------------------------------------------------

TEST_F(ChannelTest, CarriesAllByteValuesBothWays)
{
    openLine();
    ASSERT_TRUE(channel.Open());
    EXPECT_EQ(channel.deviceName(), peer.device());

    const QByteArray all = allByteValues();
    ASSERT_TRUE(peer.write(all));
    EXPECT_TRUE(QTest::qWaitFor([&] { return rec.received().size() >= all.size(); }, 3000));
    EXPECT_EQ(rec.received(), all);

    channel.SendText(all);
    EXPECT_EQ(peer.read(all.size()), all);
}

TEST_F(ChannelTest, ReplyInTwoBurstsGivesTwoEvents)
{
    openLine();

    const QByteArray reply = QByteArrayLiteral(":01030200FAF7\r\n\x01\x02"); // 17 bytes
    ASSERT_TRUE(peer.write(reply.left(10)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    ASSERT_TRUE(peer.write(reply.mid(10)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 3000));
    QTest::qWait(120); // more than two passes: no further event
    ASSERT_EQ(rec.events.size(), 2);

    EXPECT_EQ(rec.events[0].msg, SerialChannel::DataAvailable);
    EXPECT_EQ(rec.events[0].handle, 10);
    EXPECT_EQ(rec.events[0].data, 10);
    EXPECT_EQ(rec.events[0].bytes, reply.left(10));
    EXPECT_EQ(rec.events[1].data, 7);
    EXPECT_EQ(rec.events[1].bytes, reply.mid(10));
}

TEST_F(ChannelTest, UnreadBytesAreAnnouncedAgainWithNewerOnes)
{
    rec.readLimit = 3;
    openLine();

    ASSERT_TRUE(peer.write("ABCDEFGHIJ"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    QTest::qWait(150); // nothing new arrived: the rest is not announced again yet
    ASSERT_EQ(rec.events.size(), 1);
    EXPECT_EQ(rec.events[0].bytes, "ABC");

    rec.readLimit = INT_MAX;
    ASSERT_TRUE(peer.write("xyz"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 3000));
    EXPECT_EQ(rec.events[1].data, 10);
    EXPECT_EQ(rec.events[1].bytes, "DEFGHIJxyz");
}

TEST_F(ChannelTest, ReadByteOutsideAHandlerConsumesAtOnce)
{
    rec.readLimit = 0;
    openLine();

    ASSERT_TRUE(peer.write("1234"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    EXPECT_EQ(channel.ReadByte(), '1');
    EXPECT_EQ(channel.ReadByte(), '2');
    EXPECT_EQ(channel.ReadByte(), '3');
    EXPECT_EQ(channel.ReadByte(), '4');
    QString text;
    EXPECT_EQ(errorOf([&] { channel.ReadByte(); }, &text), ChannelError::BufferEmpty);
    EXPECT_EQ(text, "Buffer is empty");

    ASSERT_TRUE(peer.write("5"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 3000));
    EXPECT_EQ(rec.events[1].data, 1); // the bytes read outside are gone
}

TEST_F(ChannelTest, DiscardInputThrowsAwayWaitingBytesOutsideAHandler)
{
    rec.readLimit = 0;
    openLine();
    ASSERT_TRUE(peer.write("late reply"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    EXPECT_EQ(channel.discardInput(), 10);
    EXPECT_EQ(errorOf([&] { channel.ReadByte(); }), ChannelError::BufferEmpty);
    EXPECT_EQ(channel.discardInput(), 0);
    // Only what comes afterwards is announced.
    ASSERT_TRUE(peer.write("ok"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 3000));
    EXPECT_EQ(rec.events[1].data, 2);
    channel.setOpen(false);
    EXPECT_EQ(errorOf([&] { channel.discardInput(); }), ChannelError::NotOpen);
}

TEST_F(ChannelTest, RingHoldsAtMost8192BytesAndNothingIsLost)
{
    QByteArray sent;
    for (int i = 0; i < 20000; ++i)
        sent.append(char((i * 7) % 251));

    // The first handler keeps the event loop busy while everything arrives
    // and reads nothing; later ones read 3000 bytes each.
    channel.setInSize(16384); // the port takes what arrives while the ring is full
    rec.readLimit = 0;
    rec.during = [&](SerialChannel &, const Event &e) {
        if (rec.events.size() == 1) {
            QTest::qWait(300);
            rec.readLimit = 3000;
        }
        EXPECT_LE(e.data, SerialChannel::InputRingSize);
    };
    openLine();
    ASSERT_TRUE(peer.write(sent));

    // Done when the bytes read plus those left unread make up the whole.
    const auto settled = [&] {
        if (rec.events.isEmpty())
            return false;
        const Event &last = rec.events.last();
        return rec.received().size() + (last.data - last.bytes.size()) == sent.size();
    };
    ASSERT_TRUE(QTest::qWaitFor(settled, 5000));
    QByteArray all = rec.received();
    while (all.size() < sent.size())
        all.append(char(channel.ReadByte()));
    EXPECT_EQ(all, sent);

    int largest = 0;
    for (const Event &e : rec.events)
        largest = std::max<int>(largest, e.data);
    EXPECT_EQ(largest, SerialChannel::InputRingSize);
    EXPECT_EQ(rec.maxDepth, 1);
}

TEST_F(ChannelTest, EventsDueDuringAHandlerWaitUntilItReturns)
{
    openLine();
    const quint16 first = channel.AddTimer();
    const quint16 second = channel.AddTimer();
    rec.during = [&](SerialChannel &cp, const Event &) {
        if (rec.events.size() != 1)
            return;
        // Both timers expire and more bytes arrive while this handler runs
        // its own event loop; nothing is delivered inside it.
        cp.ArmTimer(second, 1, true);
        cp.ArmTimer(first, 1, true);
        peer.write("more");
        QTest::qWait(300);
        EXPECT_EQ(rec.events.size(), 1);
    };

    ASSERT_TRUE(peer.write("data"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 4; }, 3000));
    EXPECT_EQ(rec.maxDepth, 1);
    // The pass that delivered the data goes on with the timers, in the order
    // they were added; the bytes that came meanwhile follow in the next pass.
    EXPECT_EQ(rec.events[1].msg, SerialChannel::TimerExpired);
    EXPECT_EQ(rec.events[1].handle, first);
    EXPECT_EQ(rec.events[1].data, 0);
    EXPECT_EQ(rec.events[2].msg, SerialChannel::TimerExpired);
    EXPECT_EQ(rec.events[2].handle, second);
    EXPECT_EQ(rec.events[3].msg, SerialChannel::DataAvailable);
    EXPECT_EQ(rec.events[3].bytes, "more");
}

TEST_F(ChannelTest, SendTextQueuesWholeAndInOrder)
{
    useLine();
    channel.setOpen(true);
    channel.SendText(":0103");
    channel.SendText(QByteArray());
    channel.SendText("4744");
    channel.SendText(QByteArray("\x00\xff\r\n", 4));
    EXPECT_EQ(peer.read(13), QByteArray(":01034744\x00\xff\r\n", 13));
}

TEST_F(ChannelTest, OutputBeyondOutSizeIsRefusedWhole)
{
    useLine();
    channel.setOutSize(8);
    channel.setOpen(true);
    channel.SendText("12345");
    QString text;
    // Nothing is written before control returns to the event loop.
    EXPECT_EQ(errorOf([&] { channel.SendText("6789"); }, &text), ChannelError::OutputFull);
    EXPECT_EQ(text, "Output buffer too small for block");
    EXPECT_EQ(errorOf([&] { channel.SendText("678"); }), 0);
    EXPECT_EQ(peer.readFor(300), "12345678");
}

// --- Timers ----------------------------------------------------------------

TEST_F(ChannelTest, TimersFireOnceRestartWhenRearmedAndStopWhenDisarmed)
{
    openLine();
    const quint16 once = channel.AddTimer();
    const quint16 rearmed = channel.AddTimer();
    const quint16 disarmed = channel.AddTimer();
    EXPECT_EQ(once, 8);
    EXPECT_EQ(rearmed, 16);
    EXPECT_EQ(disarmed, 24);

    channel.ArmTimer(once, 18, true);
    channel.ArmTimer(rearmed, 18, true);
    channel.ArmTimer(disarmed, 18, true);
    QTest::qWait(500);
    channel.ArmTimer(rearmed, 18, true); // starts again from now
    channel.ArmTimer(disarmed, 99, false);
    EXPECT_TRUE(rec.events.isEmpty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 4000));
    QTest::qWait(700);
    const QList<Event> events = rec.of(SerialChannel::TimerExpired);
    ASSERT_EQ(events.size(), 2); // each once; the disarmed one never
    EXPECT_EQ(events[0].handle, once);
    EXPECT_GE(events[0].atMs, 950);
    EXPECT_LE(events[0].atMs, 2500);
    EXPECT_EQ(events[1].handle, rearmed);
    EXPECT_GE(events[1].atMs, 1450);
    EXPECT_LE(events[1].atMs, 3000);
    EXPECT_EQ(events[0].data, 0);
}

TEST_F(ChannelTest, ArmingWithZeroTicksKeepsTheLengthAndLengthsAreCapped)
{
    openLine();
    const quint16 timer = channel.AddTimer();

    channel.ArmTimer(timer, 4, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    QElapsedTimer since;
    since.start();
    channel.ArmTimer(timer, 0, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 3000));
    EXPECT_GE(since.elapsed(), 4 * 55 - 5); // not at once: the length is still 4 ticks

    channel.ArmTimer(timer, 0xFFFFFFFFu, true);
    const ChannelTimer t = channel.timers().constFirst();
    EXPECT_EQ(t.length, SerialChannel::MaxTimerTicks);
    EXPECT_EQ(t.expiryTick, t.startTick + SerialChannel::MaxTimerTicks);
    EXPECT_TRUE(t.armed);
    channel.ArmTimer(timer, 0, false);
    EXPECT_FALSE(channel.timers().constFirst().armed);
}

TEST_F(ChannelTest, HandlesAreCountedAfreshAndRestoredTimersKeepTheirs)
{
    openLine();
    ASSERT_EQ(channel.AddTimer(), 8);
    ASSERT_EQ(channel.AddTimer(), 16);
    channel.ArmTimer(8, 4, true);
    channel.setOpen(false);

    channel.setOpen(true);
    // The window's new timer shares the handle of the first restored one,
    // and arming by that handle addresses the restored timer.
    EXPECT_EQ(channel.AddTimer(), 8);
    const QList<ChannelTimer> timers = channel.timers();
    ASSERT_EQ(timers.size(), 3);
    EXPECT_EQ(timers[0].handle, 8);
    EXPECT_EQ(timers[1].handle, 16);
    EXPECT_EQ(timers[2].handle, 8);
    EXPECT_TRUE(timers[0].armed); // the arming survived the closing
    EXPECT_EQ(errorOf([&] { channel.ArmTimer(16, 1, false); }), 0);
    QString text;
    EXPECT_EQ(errorOf([&] { channel.ArmTimer(24, 1, true); }, &text),
              ChannelError::BadTriggerHandle);
    EXPECT_EQ(text, "Bad trigger handle");

    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    EXPECT_EQ(rec.events[0].handle, 8);
    channel.ArmTimer(8, 0, true);
    EXPECT_TRUE(channel.timers()[0].armed);
    EXPECT_EQ(channel.timers()[0].length, 4u);
    EXPECT_FALSE(channel.timers()[2].armed);
}

// --- Errors -------------------------------------------------------------

TEST_F(ChannelTest, OperationsOnAClosedChannelFailWith2007)
{
    const std::pair<const char *, std::function<void()>> cases[] = {
        {"SendText", [&] { channel.SendText("x"); }},
        {"ReadByte", [&] { channel.ReadByte(); }},
        {"AddTimer", [&] { channel.AddTimer(); }},
        {"ArmTimer", [&] { channel.ArmTimer(8, 1, true); }},
    };
    for (const auto &[name, action] : cases) {
        QString text;
        EXPECT_EQ(errorOf(action, &text), ChannelError::NotOpen) << name;
        EXPECT_EQ(text, "ie_NOpen - device not open") << name;
    }
}

TEST_F(ChannelTest, AutoOpenOpensOnFirstUse)
{
    useLine();
    channel.setAutoOpen(true);
    channel.SendText("hi");
    EXPECT_TRUE(channel.Open());
    EXPECT_EQ(peer.read(2), "hi");
}

TEST_F(ChannelTest, FailedOpeningsLeaveTheChannelClosed)
{
    ASSERT_TRUE(peer.isValid());
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/duva-port"), QStringLiteral("COM7")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), QStringLiteral("COM5")));
    ASSERT_TRUE(peer.linkAs(QStringLiteral("COM2")));
    SerialChannel holder;
    holder.setComNumber(2);
    holder.setOpen(true);

    struct Case
    {
        quint16 number;
        int code;
    };
    const Case cases[] = {
        {7, ChannelError::PortNotFound}, // a link that leads nowhere
        {2, ChannelError::PortInUse}, // held by the other channel
        {5, -ENOTTY}, // not a serial device: the system's code, negated
    };
    for (const Case &c : cases) {
        SerialChannel failing;
        failing.setComNumber(c.number);
        EXPECT_EQ(errorOf([&] { failing.setOpen(true); }), c.code) << "COM" << c.number;
        EXPECT_FALSE(failing.Open()) << "COM" << c.number;
        EXPECT_EQ(errorOf([&] { failing.SendText("x"); }), ChannelError::NotOpen);
    }

    // The next attempt starts afresh.
    channel.setComNumber(7);
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), ChannelError::PortNotFound);
    holder.setOpen(false);
    ASSERT_TRUE(QFile::remove(QStringLiteral("COM7")));
    ASSERT_TRUE(peer.linkAs(QStringLiteral("COM7")));
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), 0);
    EXPECT_TRUE(channel.Open());
}

TEST_F(ChannelTest, PortNumberZeroAsksForAPort)
{
    ASSERT_TRUE(peer.isValid());
    ASSERT_TRUE(peer.linkAs(QStringLiteral("COM3")));
    const QStringList entries = comPortEntries();
    ASSERT_TRUE(entries.contains("COM3"));
    channel.setComNumber(0);
    // Without a chooser there is nobody to ask.
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), ChannelError::NoPortChosen);

    QList<int> answers;
    QStringList offered;
    channel.setPortChooser([&](const QStringList &e) {
        offered = e;
        return answers.takeFirst();
    });
    answers << -1; // Cancel
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), ChannelError::NoPortChosen);
    EXPECT_FALSE(channel.Open());
    EXPECT_EQ(offered, entries);
    EXPECT_EQ(channel.ComNumber(), 0);

    channel.setPromptForPort(false);
    offered.clear();
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), ChannelError::NoPortChosen);
    EXPECT_TRUE(offered.isEmpty());

    channel.setPromptForPort(true);
    answers << int(entries.indexOf("COM3"));
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), 0);
    EXPECT_TRUE(channel.Open());
    EXPECT_EQ(channel.ComNumber(), 3);
    EXPECT_EQ(channel.deviceName(), peer.device());
}

// --- Opening, closing and the line ----------------------------------------

TEST_F(ChannelTest, CloseInsideAHandlerFinishesAfterItReturns)
{
    rec.readLimit = 2;
    QByteArray restRead;
    bool reopenedInside = false;
    rec.during = [&](SerialChannel &cp, const Event &e) {
        cp.setOpen(false);
        EXPECT_FALSE(cp.Open());
        // The announced bytes can still be read; the device is free already.
        for (int i = e.bytes.size(); i < e.data; ++i)
            restRead.append(char(cp.ReadByte()));
        EXPECT_EQ(errorOf([&] { cp.ReadByte(); }), ChannelError::BufferEmpty);
        EXPECT_EQ(errorOf([&] { cp.SendText("ignored"); }), 0);
        SerialChannel other;
        other.setComNumber(1);
        other.setOpen(true);
        reopenedInside = other.Open();
    };
    openLine();

    ASSERT_TRUE(peer.write("abcdef"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    EXPECT_EQ(rec.events[0].bytes, "ab");
    EXPECT_EQ(restRead, "cdef");
    EXPECT_TRUE(reopenedInside);
    EXPECT_FALSE(channel.Open());
    EXPECT_EQ(errorOf([&] { channel.ReadByte(); }), ChannelError::NotOpen);
    EXPECT_EQ(peer.readFor(100), QByteArray()); // the output was dropped

    ASSERT_TRUE(peer.write("late"));
    QTest::qWait(150);
    EXPECT_EQ(rec.events.size(), 1);
}

TEST_F(ChannelTest, ClosingDiscardsUnsentOutputAndUnreadInput)
{
    rec.readLimit = 1;
    openLine();
    ASSERT_TRUE(peer.write("old bytes"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));
    channel.SendText("never sent"); // written only once back in the event loop
    channel.setOpen(false);
    EXPECT_EQ(peer.readFor(100), QByteArray());

    channel.setOpen(true);
    rec.readLimit = INT_MAX;
    ASSERT_TRUE(peer.write("new"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 3000));
    EXPECT_EQ(rec.events[1].bytes, "new");
}

TEST_F(ChannelTest, ChangingComNumberWhileOpenReopensAndKeepsTimers)
{
    PtyPeer second;
    ASSERT_TRUE(second.linkAs("COM2"));
    openLine(1);
    const quint16 timer = channel.AddTimer();
    channel.ArmTimer(timer, 3, true);

    channel.setComNumber(2);
    EXPECT_TRUE(channel.Open());
    EXPECT_EQ(channel.deviceName(), second.device());
    ASSERT_TRUE(second.write("via COM2"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return rec.of(SerialChannel::DataAvailable).size() == 1; }, 3000));
    EXPECT_EQ(rec.received(), "via COM2");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return rec.of(SerialChannel::TimerExpired).size() == 1; }, 3000));
    EXPECT_EQ(rec.of(SerialChannel::TimerExpired)[0].handle, timer);

    SerialChannel other; // COM1 was let go
    other.setComNumber(1);
    EXPECT_EQ(errorOf([&] { other.setOpen(true); }), 0);

    // Nothing behind COM9: the reopening fails and leaves the channel closed.
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/duva-port"), QStringLiteral("COM9")));
    EXPECT_EQ(errorOf([&] { channel.setComNumber(9); }), ChannelError::PortNotFound);
    EXPECT_FALSE(channel.Open());
    EXPECT_EQ(errorOf([&] { channel.setComNumber(9); }), 0); // the same value does nothing
}

TEST_F(ChannelTest, LineSettingsReachTheLine)
{
    // A pty keeps rate and stop bits (not data bits or parity): enough to see
    // that the settings are applied at opening and while open.
    useLine();
    struct Case
    {
        quint32 baud;
        quint16 stopBits;
        speed_t speed;
        bool twoStop;
    };
    const Case cases[] = {
        {2400, 1, B2400, false},
        {19200, 2, B19200, true},
        {38400, 0, B38400, false}, // 0 stop bits counts as 1
    };
    for (const Case &c : cases) {
        channel.setBaud(c.baud);
        channel.setStopBits(c.stopBits);
        channel.setOpen(true);
        termios tio {};
        ASSERT_EQ(tcgetattr(peer.slaveFd(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed) << c.baud;
        EXPECT_EQ(bool(tio.c_cflag & CSTOPB), c.twoStop) << c.baud;
        EXPECT_FALSE(tio.c_iflag & INPCK) << "parity is not checked on receive";
        EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF)) << "no XON/XOFF";
        EXPECT_FALSE(tio.c_cflag & CRTSCTS) << "no hardware handshake";
        channel.setOpen(false);
    }

    channel.setOpen(true);
    channel.setBaud(4800);
    channel.setStopBits(2);
    termios tio {};
    ASSERT_EQ(tcgetattr(peer.slaveFd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B4800));
    EXPECT_TRUE(tio.c_cflag & CSTOPB);
}

TEST_F(ChannelTest, RefusedLineSettingsLeaveTheChannelWorking)
{
    ASSERT_TRUE(peer.linkAs("COM1"));
    channel.setComNumber(1); // the design values 7E1: a pty opens anyway
    rec.attach(channel);
    channel.setOpen(true);
    ASSERT_TRUE(channel.Open());

    const TParity parities[] = {TParity::pOdd, TParity::pMark, TParity::pSpace, TParity::pNone};
    for (TParity parity : parities) {
        channel.setParity(parity);
        channel.setDataBits(parity == TParity::pNone ? 8 : 5);
    }
    channel.setBaud(38400);
    EXPECT_TRUE(channel.Open());
    EXPECT_FALSE(channel.deviceLost());

    channel.SendText("ping");
    EXPECT_EQ(peer.read(4), "ping");
    ASSERT_TRUE(peer.write("pong"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.received() == "pong"; }, 3000));
}

TEST_F(ChannelTest, LostDeviceGivesASilentLineWithoutBusyLoop)
{
    openLine();
    const quint16 timer = channel.AddTimer();
    ASSERT_TRUE(peer.write("hello"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 1; }, 3000));

    peer.closeMaster(); // both sides of the pty go away
    peer.closeSlave();
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel.deviceLost(); }, 3000));

    rusage before {};
    getrusage(RUSAGE_SELF, &before);
    QTest::qWait(2000);
    rusage after {};
    getrusage(RUSAGE_SELF, &after);
    const auto ms = [](const rusage &r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000 +
            (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000;
    };
    EXPECT_LT(ms(after) - ms(before), 500) << "CPU time spent while the line was gone";

    // The window goes on: it stays open, sends into the void and times out.
    EXPECT_TRUE(channel.Open());
    EXPECT_EQ(errorOf([&] { channel.SendText("request"); }), 0);
    channel.ArmTimer(timer, 1, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rec.events.size() == 2; }, 3000));
    EXPECT_EQ(rec.events[1].msg, SerialChannel::TimerExpired);

    // The next opening finds the device gone, or back. (The link is pointed
    // away from the old pty: its number may already serve another program.)
    channel.setOpen(false);
    ASSERT_TRUE(QFile::remove(QStringLiteral("COM1")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/duva-port"), QStringLiteral("COM1")));
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), ChannelError::PortNotFound);
    PtyPeer back;
    ASSERT_TRUE(back.linkAs("COM1"));
    EXPECT_EQ(errorOf([&] { channel.setOpen(true); }), 0);
    EXPECT_FALSE(channel.deviceLost());
    channel.SendText("again");
    EXPECT_EQ(back.read(5), "again");
}

TEST_F(ChannelTest, DestroyingAnOpenChannelReleasesThePort)
{
    {
        SerialChannel scoped;
        ASSERT_TRUE(peer.linkAs("COM1"));
        scoped.setComNumber(1);
        scoped.setOpen(true);
        ASSERT_TRUE(scoped.Open());
    }
    SerialChannel next;
    next.setComNumber(1);
    EXPECT_EQ(errorOf([&] { next.setOpen(true); }), 0);
}

} // namespace
