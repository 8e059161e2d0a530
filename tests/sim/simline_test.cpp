// The simulated line in-process: a test master on the pseudo-terminal's
// slave side, the simulator in this thread's event loop.
#include "link/framing.h"
#include "link/hexcodec.h"
#include "sim/simcommands.h"
#include "sim/simline.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Generous: only a broken simulator takes this long.
constexpr int DeadlineMs = 3000;

class Master
{
public:
    explicit Master(const QString &path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio {};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~Master()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isOpen() const { return m_fd >= 0; }

    // The bit rate the master sets on its side of the terminal.
    void setSpeed(speed_t speed)
    {
        termios tio {};
        ASSERT_EQ(::tcgetattr(m_fd, &tio), 0);
        ::cfsetspeed(&tio, speed);
        ASSERT_EQ(::tcsetattr(m_fd, TCSANOW, &tio), 0);
    }

    void send(const QByteArray &bytes)
    {
        ASSERT_EQ(::write(m_fd, bytes.constData(), bytes.size()), bytes.size());
    }

    // Collects bytes while the event loop runs, until `done` says the reply
    // is complete or the deadline passes. Notes when each chunk arrived.
    QByteArray receive(const std::function<bool(const QByteArray &)> &done,
                       int deadlineMs = DeadlineMs)
    {
        QByteArray got;
        arrivals.clear();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < deadlineMs && !done(got)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            char buffer[512];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, n);
                arrivals.append(clock.nsecsElapsed());
            } else {
                QThread::usleep(200);
            }
        }
        return got;
    }
    QByteArray receiveAscii()
    {
        return receive([](const QByteArray &b) { return b.endsWith('\n'); });
    }
    QByteArray receiveBytes(int n)
    {
        return receive([n](const QByteArray &b) { return b.size() >= n; });
    }
    // Runs the event loop for a while and returns whatever came.
    QByteArray drain(int ms)
    {
        return receive([](const QByteArray &) { return false; }, ms);
    }

    QList<qint64> arrivals;

private:
    int m_fd = -1;
};

QByteArray ascii(const QByteArray &body)
{
    return body + ModbusLrc(body) + "\r\n";
}

QByteArray rtu(const QByteArray &hexBody)
{
    const QByteArray bytes = QByteArray::fromHex(hexBody);
    return bytes + ModbusCrc16(bytes);
}

struct LineFixture
{
    explicit LineFixture(ModbusMode mode, bool pace = false,
                         const QList<QPair<int, int>> &controllers = {{1, 0x4848}, {2, 0x9696}})
    {
        SimLineSettings s;
        s.mode = mode;
        if (mode == ModbusMode::Rtu) {
            s.parity = Parity::None;
            s.dataBits = 8;
        }
        line = std::make_unique<SimLine>(s);
        for (const auto &[address, model] : controllers)
            line->addController(address, model);
        line->setPacing(pace, 2);
        QObject::connect(line.get(), &SimLine::requestLogged,
                         [this](const QString &l) { log.append(l); });
        QString error;
        opened = line->open(&error);
        EXPECT_TRUE(opened) << qPrintable(error);
        master = std::make_unique<Master>(line->ptyPath());
        EXPECT_TRUE(master->isOpen());
    }
    std::unique_ptr<SimLine> line;
    std::unique_ptr<Master> master;
    QStringList log;
    bool opened = false;
};

} // namespace

TEST(SimLine, AsciiReadWriteAndException)
{
    LineFixture f(ModbusMode::Ascii);
    f.master->send(ascii(":010347440004"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":0103082013445648480001"));
    f.master->send(ascii(":0206474401F4"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":028604")); // identification is read-only
    f.master->send(ascii(":0106470101F4"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":0106470101F4"));
    f.master->send(ascii(":010347010009"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":018303"));
    f.master->send(ascii(":010447000001"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":018401"));
    ASSERT_EQ(f.log.size(), 5);
    EXPECT_TRUE(f.log[0].endsWith("addr 01 fn 03 reg 4744 count 4 -> 2013 4456 4848 0001"))
        << qPrintable(f.log[0]);
    EXPECT_TRUE(f.log[1].contains("addr 02 fn 06 reg 4744 value 01F4 -> exception 04"))
        << qPrintable(f.log[1]);
    EXPECT_TRUE(f.log[2].endsWith("addr 01 fn 06 reg 4701 value 01F4 -> echo"))
        << qPrintable(f.log[2]);
}

TEST(SimLine, RtuReadAndEcho)
{
    LineFixture f(ModbusMode::Rtu);
    f.master->send(rtu("010347440004"));
    EXPECT_EQ(f.master->receiveBytes(13), rtu("0103082013445648480001"));
    f.master->send(rtu("0206101D0064"));
    EXPECT_EQ(f.master->receiveBytes(8), rtu("0206101D0064"));
    EXPECT_EQ(f.line->controller(2)->value(0x475F), 0x64);
    // Another function, ended by the silence after it.
    f.master->send(rtu("011047010001020001"));
    EXPECT_EQ(f.master->receiveBytes(5), rtu("019001"));
}

// Requests that get no reply leave nothing on the line: the next reply that
// arrives is the one to the next request.
TEST(SimLine, OtherAddressesAndBroadcastGetNothing)
{
    LineFixture f(ModbusMode::Ascii);
    f.master->send(ascii(":050347000001")); // nobody at 5
    f.master->send(ascii(":000647010123")); // broadcast SV 29.1
    f.master->send(ascii(":000347000001")); // broadcast read: ignored
    f.master->send(ascii(":020347010001"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":0203020123"));
    EXPECT_EQ(f.line->controller(1)->value(0x4701), 0x0123);
    EXPECT_EQ(f.line->controller(2)->value(0x4701), 0x0123);
    EXPECT_TRUE(f.log[0].endsWith("-> no reply (no controller)"));
    EXPECT_TRUE(f.log[1].endsWith("-> applied, no reply (broadcast)"));
}

TEST(SimLine, NoiseAndBrokenFramesAreSkipped)
{
    for (ModbusMode mode : {ModbusMode::Ascii, ModbusMode::Rtu}) {
        LineFixture f(mode);
        QRandomGenerator random(42);
        for (int round = 0; round < 20; ++round) {
            QByteArray noise(200, '\0');
            for (char &c : noise)
                c = char(random.bounded(256));
            f.master->send(noise);
        }
        // Partial and damaged frames.
        if (mode == ModbusMode::Ascii) {
            f.master->send(":0103\r\n:01034700000\r\n:01034744000402\r\n:0103ZZ\r\n:0103");
            f.master->send(QByteArray(700, '7'));
            f.master->send("\r\n");
        } else {
            f.master->send(QByteArray::fromHex("0103474400"));
        }
        f.master->drain(50); // let the silence end whatever is pending
        const QByteArray request =
            mode == ModbusMode::Ascii ? ascii(":010347450001") : rtu("010347450001");
        const QByteArray reply =
            mode == ModbusMode::Ascii ? ascii(":0103024456") : rtu("0103024456");
        f.master->send(request);
        const QByteArray got =
            f.master->receive([&](const QByteArray &b) { return b.endsWith(reply); });
        EXPECT_TRUE(got.endsWith(reply)) << (mode == ModbusMode::Ascii ? "ASCII" : "RTU");
    }
}

TEST(SimLine, Faults)
{
    LineFixture f(ModbusMode::Ascii);
    const QByteArray request = ascii(":010347450001");
    const QByteArray good = ascii(":0103024456");

    f.line->setFault(1, {SimFault::Kind::BadChecksum, 0});
    f.master->send(request);
    QByteArray got = f.master->receiveAscii();
    EXPECT_EQ(got.left(got.size() - 4), good.left(good.size() - 4));
    EXPECT_NE(got, good);

    f.line->setFault(1, {SimFault::Kind::WrongAddress, 0});
    f.master->send(request);
    EXPECT_EQ(f.master->receiveAscii(), ascii(":0203024456"));

    f.line->setFault(1, {SimFault::Kind::Exception, 0x0B});
    f.master->send(ascii(":0106470101F4"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":01860B"));
    EXPECT_NE(f.line->controller(1)->value(0x4701), 0x01F4); // not applied

    f.line->setFault(1, {SimFault::Kind::Silent, 0});
    f.master->send(ascii(":0106470101F5"));
    EXPECT_EQ(f.master->drain(30), QByteArray());
    f.line->setFault(1, {SimFault::Kind::None, 0});
    f.master->send(request);
    EXPECT_EQ(f.master->receiveAscii(), good);
    EXPECT_NE(f.line->controller(1)->value(0x4701), 0x01F5);

    // Other controllers are not affected.
    f.line->setFault(1, {SimFault::Kind::Silent, 0});
    f.master->send(ascii(":020347450001"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":0203024456"));
    f.line->setFault(1, {SimFault::Kind::None, 0});
}

TEST(SimLine, SplitAndDelayedReplies)
{
    LineFixture f(ModbusMode::Rtu);
    const QByteArray reply = rtu("0103082013445648480001");
    f.line->setFault(1, {SimFault::Kind::Split, 0});
    f.master->send(rtu("010347440004"));
    EXPECT_EQ(f.master->receiveBytes(reply.size()), reply);
    ASSERT_GE(f.master->arrivals.size(), 2);
    EXPECT_GE(f.master->arrivals.last() - f.master->arrivals.first(),
              qint64(SimLine::SplitGapMs - 2) * 1'000'000);

    f.line->setFault(1, {SimFault::Kind::Delay, 150});
    QElapsedTimer clock;
    clock.start();
    f.master->send(rtu("010347440004"));
    EXPECT_EQ(f.master->receiveBytes(reply.size()), reply);
    EXPECT_GE(clock.elapsed(), 150);
}

TEST(SimLine, UnpluggedLineHearsNothing)
{
    LineFixture f(ModbusMode::Ascii);
    f.line->setPlugged(false);
    f.master->send(ascii(":0106470101F6"));
    f.master->drain(20);
    f.line->setPlugged(true);
    f.master->send(ascii(":010347450001"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":0103024456"));
    EXPECT_NE(f.line->controller(1)->value(0x4701), 0x01F6);
    EXPECT_EQ(f.log.size(), 1);
}

// At 9600 bit/s, 8 data bits, no parity, one stop bit a character takes
// 1.04 ms: the 8-byte request and the 21-byte reply of eight registers take
// at least 30 ms with the turnaround, and the reply's bytes are spread over
// about 20 ms. Only loose lower bounds are checked: on a busy machine the
// transmitter catches up late bytes in bigger bursts.
TEST(SimLine, PacingTakesTheTimeOfARealLine)
{
    LineFixture f(ModbusMode::Rtu, true);
    EXPECT_EQ(f.line->settings().characterNs(), 1'041'666);
    QElapsedTimer clock;
    clock.start();
    f.master->send(rtu("010347000008"));
    const QByteArray got = f.master->receiveBytes(21);
    const qint64 elapsedNs = clock.nsecsElapsed();
    ASSERT_EQ(got.size(), 21);
    EXPECT_GE(elapsedNs, 30'000'000);
    ASSERT_GE(f.master->arrivals.size(), 2);
    EXPECT_GE(f.master->arrivals.last() - f.master->arrivals.first(), 10'000'000);
}

TEST(SimLine, LinkAndLogFile)
{
    QTemporaryDir dir;
    const QString link = dir.filePath("run/COM3");
    const QString logPath = dir.filePath("requests.log");
    {
        LineFixture f(ModbusMode::Ascii);
        ASSERT_TRUE(f.line->setLogFile(logPath));
        ASSERT_TRUE(f.line->makeLink(link));
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), f.line->ptyPath());
        f.master->send(ascii(":010347450001"));
        f.master->receiveAscii();
        QFile log(logPath);
        ASSERT_TRUE(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        EXPECT_TRUE(text.endsWith("addr 01 fn 03 reg 4745 count 1 -> 4456\n")) << text.constData();
    }
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    // A file that is not a link is never replaced.
    QFile plain(link);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    LineFixture f(ModbusMode::Ascii);
    QString error;
    EXPECT_FALSE(f.line->makeLink(link, &error));
    EXPECT_TRUE(QFileInfo(link).isFile());
}

TEST(SimLine, TimeRunsFasterWithSpeed)
{
    LineFixture f(ModbusMode::Ascii);
    f.line->setSpeed(200);
    f.master->drain(500); // 100 simulated seconds or so
    EXPECT_GT(static_cast<qint16>(f.line->controller(1)->value(0x4700)), 900);
}

// A master at another bit rate, or in the other framing, is not heard: its
// request is neither answered nor applied. The rate is read as bytes come,
// so the master is heard again once it is back at the line's rate.
TEST(SimLine, OtherBitRateOrFramingIsNotHeard)
{
    LineFixture f(ModbusMode::Ascii);
    f.master->setSpeed(B19200);
    f.master->send(ascii(":0106470101F4"));
    EXPECT_EQ(f.master->drain(50), QByteArray());
    EXPECT_NE(f.line->controller(1)->value(0x4701), 0x01F4);
    ASSERT_EQ(f.log.size(), 1);
    EXPECT_TRUE(f.log[0].contains("noise: master at 19200, line at 9600")) << qPrintable(f.log[0]);
    f.master->setSpeed(B9600);
    f.master->send(ascii(":010347450001"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":0103024456"));

    f.master->send(rtu("010347450001"));
    EXPECT_EQ(f.master->drain(50), QByteArray());

    LineFixture r(ModbusMode::Rtu);
    r.master->send(ascii(":010347450001"));
    EXPECT_EQ(r.master->drain(50), QByteArray());
    r.master->send(rtu("010347450001"));
    EXPECT_EQ(r.master->receiveBytes(7), rtu("0103024456"));
}

TEST(SimLine, MoveGivesAControllerANewAddress)
{
    LineFixture f(ModbusMode::Ascii, false, {{3, 0x4848}});
    SimCommands commands(*f.line);
    EXPECT_EQ(commands.execute("move 3 17"), "ok");
    f.master->send(ascii(":030347450001"));
    f.master->send(ascii(":110347460001"));
    EXPECT_EQ(f.master->receiveAscii(), ascii(":1103024848"));
    ASSERT_EQ(f.log.size(), 2);
    EXPECT_TRUE(f.log[0].endsWith("-> no reply (no controller)")) << qPrintable(f.log[0]);
}

// Two controllers on one address both take the request and answer at once:
// the master gets one frame that fails its check, even when both replies
// are the same (the echo of a write, which both apply). A controller alone
// on its address still answers cleanly.
TEST(SimLine, TwoControllersOnOneAddressCollide)
{
    for (ModbusMode mode : {ModbusMode::Ascii, ModbusMode::Rtu}) {
        SCOPED_TRACE(mode == ModbusMode::Ascii ? "ASCII" : "RTU");
        const Framing &framing = Framing::of(mode);
        LineFixture f(mode, false, {{5, 0x4848}, {5, 0x4824}, {6, 0x4848}});
        auto exchange = [&](const ModbusRequest &request) {
            f.master->send(framing.wrap(request));
            return framing.unwrap(f.master->drain(100));
        };
        EXPECT_FALSE(exchange(ReadRequest(5, 0x4744, 4)).checksumOk);
        EXPECT_TRUE(f.log.last().contains("collision at address 5")) << qPrintable(f.log.last());
        EXPECT_FALSE(exchange(WriteRequest(5, 0x4701, 0x01F4)).checksumOk);

        const UnwrappedFrame alone = exchange(ReadRequest(6, 0x4744, 4));
        EXPECT_TRUE(alone.checksumOk);
        EXPECT_EQ(alone.data, QByteArray::fromHex("082013445648480001"));

        // Moved apart, both answer cleanly, each with the write applied.
        f.line->moveController(5, 7);
        const UnwrappedFrame at5 = exchange(ReadRequest(5, 0x4744, 4));
        const UnwrappedFrame at7 = exchange(ReadRequest(7, 0x4701, 1));
        EXPECT_TRUE(at5.checksumOk);
        EXPECT_EQ(at5.data, QByteArray::fromHex("082013445648240001"));
        EXPECT_TRUE(at7.checksumOk);
        EXPECT_EQ(at7.data, QByteArray::fromHex("0201F4"));
        EXPECT_EQ(f.line->controller(5)->value(0x4701), 0x01F4);
    }
}
