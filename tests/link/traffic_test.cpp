// The traffic log as the reply collector feeds it, its readings, its ring,
// saving it; and the link health figures on the test's clock.
#include "fakeline.h"
#include "link/linkhealth.h"
#include "link/replycollector.h"
#include "link/trafficlog.h"
#include "scripteddialogs.h"
#include "tempworkdir.h"
#include "ui/trafficform.h"

#include <QFile>
#include <QPushButton>
#include <QSpinBox>
#include <gtest/gtest.h>

namespace {

struct Logged
{
    FakeLine line;
    ReplyCollector collector {line, ReplyCollector::Timing::FromSend};
    qint64 first = 0;

    Logged()
    {
        line.setTriggerHandler(
            [this](quint16 msg, quint16 h, quint16 data) { collector.take(msg, h, data); });
        line.openWith(LineSettings());
        collector.attach();
        collector.setTrafficSource("Console");
        first = TrafficLog::shared().newest() + 1;
    }
    void exchange(ModbusMode mode, const QByteArray &request, const QByteArray &reply)
    {
        collector.send(request, Framing::of(mode), 18);
        if (!reply.isEmpty())
            line.receive(reply);
        line.advance(1100); // the window ends (a time-out, or the end of an RTU reply)
    }
    // The decodings logged since the start, "> ..." for a request.
    QStringList readings()
    {
        QStringList out;
        const TrafficLog &log = TrafficLog::shared();
        for (qint64 s = first; s <= log.newest(); ++s) {
            const TrafficEntry *e = log.at(s);
            const char *dir = e->kind == TrafficKind::Sent ? "> " : "< ";
            out << QLatin1String(dir) + TrafficDecoding(*e);
        }
        return out;
    }
};

TEST(TrafficLog, EveryFrameWithItsReadingInAscii)
{
    Logged l;
    l.exchange(ModbusMode::Ascii, ":010347000001B4\r\n", ":01030200FA00\r\n");
    l.exchange(ModbusMode::Ascii, ":0106470D000C99\r\n", ":0106470D000C99\r\n");
    l.exchange(ModbusMode::Ascii, ":010347000001B4\r\n", ":0183027A\r\n");
    l.exchange(ModbusMode::Ascii, ":010347000001B4\r\n", ":01030200FA01\r\n");
    l.exchange(ModbusMode::Ascii, ":010347000001B4\r\n", {});
    l.exchange(ModbusMode::Ascii, ":0006470D000C9A\r\n", {});
    EXPECT_EQ(
        l.readings(),
        (QStringList {
            "> address 1, read 4700, 1 register", "< address 1, read: 4700=00FA (250)",
            "> address 1, write 470D=000C (12)", "< address 1, write echoed: 470D=000C (12)",
            "> address 1, read 4700, 1 register", "< address 1, exception 02: illegal address",
            "> address 1, read 4700, 1 register", "< bad checksum",
            "> address 1, read 4700, 1 register", "< time-out",
            "> broadcast, write 470D=000C (12) \u2013 no reply expected (broadcast)"}));
    const TrafficEntry *e = TrafficLog::shared().at(l.first);
    EXPECT_TRUE(
        TrafficLine(*e).endsWith("  Console  >  :010347000001B4  address 1, read 4700, 1 register"))
        << TrafficLine(*e).toStdString();
}

TEST(TrafficLog, BytesNobodyAskedForAreLoggedWithTheirTime)
{
    Logged l;
    // A reply after its time-out, then bytes trailing a complete reply.
    l.exchange(ModbusMode::Ascii, ":010347000001B4\r\n", {});
    l.line.receive(":01030200FA00\r\n");
    l.collector.send(":010347000001B4\r\n", Framing::of(ModbusMode::Ascii), 18);
    l.line.receive(QByteArray(":01030200FA00\r\n\x00\xFF", 17));
    EXPECT_EQ(
        l.readings(),
        (QStringList {"> address 1, read 4700, 1 register", "< time-out",
                      "< late reply to an earlier request", "> address 1, read 4700, 1 register",
                      "< address 1, read: 4700=00FA (250)", "< unexpected bytes"}));
    const TrafficEntry *late = TrafficLog::shared().at(l.first + 2);
    EXPECT_EQ(late->bytes, ":01030200FA00\r\n");
    EXPECT_TRUE(TrafficLine(*late).contains(
        "  Console  ?  :01030200FA00  late reply to an earlier request"))
        << TrafficLine(*late).toStdString();
    EXPECT_EQ(TrafficAddress(*late), 1); // the address filter finds it
    EXPECT_EQ(TrafficLog::shared().at(l.first + 5)->bytes, QByteArray("\x00\xFF", 2));
}

TEST(TrafficLog, EveryFrameWithItsReadingInRtu)
{
    Logged l;
    l.exchange(ModbusMode::Rtu, QByteArray::fromHex("01034700000190BE"),
               QByteArray::fromHex("01030200FA3807"));
    l.exchange(ModbusMode::Rtu, QByteArray::fromHex("01034700000190BE"),
               QByteArray::fromHex("018302C0F1"));
    l.exchange(ModbusMode::Rtu, QByteArray::fromHex("01034700000190BE"),
               QByteArray::fromHex("01030200FA3808"));
    l.exchange(ModbusMode::Rtu, QByteArray::fromHex("01034700000190BE"), {});
    EXPECT_EQ(
        l.readings(),
        (QStringList {"> address 1, read 4700, 1 register", "< address 1, read: 4700=00FA (250)",
                      "> address 1, read 4700, 1 register",
                      "< address 1, exception 02: illegal address",
                      "> address 1, read 4700, 1 register", "< bad checksum",
                      "> address 1, read 4700, 1 register", "< time-out"}));
    const TrafficEntry *e = TrafficLog::shared().at(l.first + 1);
    EXPECT_TRUE(
        TrafficLine(*e).contains("  Console  <  01030200FA3807  address 1, read: 4700=00FA (250)"))
        << TrafficLine(*e).toStdString();
}

TEST(TrafficLog, KeepsTheLastTenThousandAndSavesThem)
{
    TrafficLog &log = TrafficLog::shared();
    log.clear();
    const qint64 base = log.newest();
    for (int i = 0; i < TrafficLog::Capacity + 5; ++i)
        log.add(TrafficKind::Sent, ModbusMode::Ascii,
                i % 2 ? ":010347000001B4\r\n" : ":0203474400046C\r\n", {}, "Recorder", 0);
    EXPECT_EQ(log.oldest(), base + 6);
    EXPECT_EQ(log.at(base + 5), nullptr);
    ASSERT_NE(log.at(base + 6), nullptr);
    EXPECT_EQ(TrafficLines(log, 0, -1).size(), TrafficLog::Capacity);
    EXPECT_EQ(TrafficLines(log, 0, 2).size(), TrafficLog::Capacity / 2);

    TemporaryWorkDir work;
    ScriptedDialogs dialogs;
    TrafficForm form(nullptr);
    dialogs.fileAnswers << "traffic.txt";
    form.AddrFilter->setValue(2);
    form.SaveBtClick();
    QFile f("traffic.txt");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    EXPECT_EQ(lines.size(), TrafficLog::Capacity / 2 + 1); // and the last line's end
    EXPECT_TRUE(
        lines.first().endsWith("Recorder  >  :0203474400046C  address 2, read 4744, 4 registers"));
    log.clear();
    EXPECT_TRUE(TrafficLines(log, 0, -1).isEmpty());
}

TEST(LinkHealth, FiguresOnTheLinesClock)
{
    LinkHealth h;
    // Ten reads of one register at ASCII 9600 (17 + 15 characters of
    // 1.0417 ms), one a second, replies after 40 ms; the fifth times out,
    // the seventh has a bad checksum, the ninth is an exception.
    const double characterMs = 10.0 / 9.6;
    for (int i = 0; i < 10; ++i) {
        h.sent(i * 1000, 17);
        if (i == 4)
            h.ended(i * 1000 + 1000, LinkHealth::Outcome::TimedOut, 0);
        else
            h.ended(i * 1000 + 40 + i,
                    i == 6       ? LinkHealth::Outcome::BadChecksum
                        : i == 8 ? LinkHealth::Outcome::Exception
                                 : LinkHealth::Outcome::Reply,
                    i == 8 ? 11 : 15);
    }
    const LinkHealth::Figures f = h.figures(10000, characterMs);
    EXPECT_DOUBLE_EQ(f.requestsPerSecond, 1.0);
    EXPECT_EQ(f.medianMs, 45); // of 40..49 without the time-out
    EXPECT_EQ(f.worstMs, 49);
    EXPECT_EQ(f.timeouts, 1);
    EXPECT_EQ(f.badChecksums, 1);
    EXPECT_EQ(f.exceptions, 1);
    // 170 + 8 x 15 + 11 = 301 characters of 1.0417 ms in 10 s: 3.1 %.
    EXPECT_NEAR(f.lineShare, 0.031354, 1e-6);
    EXPECT_EQ(LinkHealth::Text(f),
              "1.0 req/s, reply 45 ms (worst 49), line 3 %\n"
              "1 time-outs, 1 bad checksums, 1 exceptions");
    // Ten seconds later nothing is left of the window but the counts.
    const LinkHealth::Figures later = h.figures(30000, characterMs);
    EXPECT_EQ(later.requestsPerSecond, 0);
    EXPECT_EQ(later.medianMs, -1);
    EXPECT_EQ(later.timeouts, 1);
}

} // namespace
