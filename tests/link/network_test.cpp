// The channel over a network line, against a peer played by the test on
// the loopback address: the bytes on the connection, replies cut into
// segments or joined, a gateway's transaction identifiers and exceptions,
// and the connection's failures and return.
#include "link/framing.h"
#include "link/replycollector.h"
#include "link/serialchannel.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A peer that accepts one connection and lets the test read and write it.
class Peer
{
public:
    explicit Peer(quint16 port = 0)
    {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost, port));
        QObject::connect(&server, &QTcpServer::newConnection,
                         [this] { socket.reset(server.nextPendingConnection()); });
    }
    quint16 port() const { return server.serverPort(); }
    bool connected()
    {
        return QTest::qWaitFor([this] { return socket != nullptr; }, 3000);
    }
    // What the program sent, once `size` bytes are in.
    QByteArray take(int size)
    {
        QByteArray got;
        (void)QTest::qWaitFor(
            [&] {
                if (socket)
                    got += socket->readAll();
                return got.size() >= size;
            },
            3000);
        return got;
    }
    void send(const QByteArray &bytes)
    {
        socket->write(bytes);
        socket->flush();
    }

    QTcpServer server;
    std::unique_ptr<QTcpSocket> socket;
};

class NetworkLine : public ::testing::Test
{
protected:
    SerialChannel channel;
    ReplyCollector collector {channel, ReplyCollector::Timing::FromSend};
    QList<ReplyCollector::Event> events;
    LineSettings settings;

    void open(LineKind kind, quint16 port, ModbusMode framing)
    {
        LineSettings &s = settings;
        s.kind = kind;
        s.framing = framing;
        s.network.host = QStringLiteral("127.0.0.1");
        s.network.port = port;
        s.network.marginMs = 300;
        channel.openWith(s);
        collector.attach();
        channel.setTriggerHandler([this](quint16 msg, quint16 handle, quint16 data) {
            const auto e = collector.take(msg, handle, data);
            if (e == ReplyCollector::Event::Reply || e == ReplyCollector::Event::TimedOut)
                events << e;
        });
    }
    void send(const QByteArray &frame, ModbusMode framing)
    {
        events.clear();
        collector.send(frame, Framing::of(framing), 2);
    }
    bool ended()
    {
        return QTest::qWaitFor([this] { return !events.isEmpty(); }, 5000);
    }
};

TEST_F(NetworkLine, GatewayCarriesModbusTcpAndHandsBackTheControllersFrame)
{
    Peer peer;
    open(LineKind::Gateway, peer.port(), ModbusMode::Rtu);
    EXPECT_FALSE(channel.carriesBroadcast());
    // 300 ms of margin on top of the RTU window: six ticks.
    EXPECT_EQ(channel.replyMarginTicks(), 6);

    send(hex("01034744000410A8"), ModbusMode::Rtu);
    ASSERT_TRUE(peer.connected());
    // Transaction 1, protocol 0, length 6, unit 1, the PDU; no CRC.
    EXPECT_EQ(peer.take(12), hex("000100000006010347440004"));
    // A late reply to an earlier transaction is not this one's.
    peer.send(hex("00000000000b0103089999999999999999"));
    peer.send(hex("00010000000b0103082013445648480001"));
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::Reply);
    // The controller's reply as on the gateway's line, with its CRC.
    EXPECT_EQ(collector.received(), hex("0103082013445648480001A430"));

    // The gateway's "target failed to respond" is the controller's silence.
    send(hex("01034744000410A8"), ModbusMode::Rtu);
    EXPECT_EQ(peer.take(12), hex("000200000006010347440004"));
    peer.send(hex("000200000003018302"));
    ASSERT_TRUE(ended());
    // Exception 02 is the controller's own.
    EXPECT_EQ(events.first(), ReplyCollector::Event::Reply);
    EXPECT_EQ(collector.received(), hex("018302C0F1"));
    send(hex("01034744000410A8"), ModbusMode::Rtu);
    EXPECT_EQ(peer.take(12), hex("000300000006010347440004"));
    peer.send(hex("00030000000301830B"));
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::TimedOut);
    EXPECT_FALSE(channel.deviceLost());
}

TEST_F(NetworkLine, GatewayHandsOnOnlyTheFrameThatFitsTheRequestInFlight)
{
    Peer peer;
    open(LineKind::Gateway, peer.port(), ModbusMode::Rtu);
    send(hex("01034744000410A8"), ModbusMode::Rtu);
    ASSERT_TRUE(peer.connected());
    EXPECT_EQ(peer.take(12), hex("000100000006010347440004"));
    // Another function, a length field that disagrees with the byte count,
    // then the reply with a CRC appended and padding behind it.
    peer.send(hex("000100000006010647440004") + hex("00010000000c0103082013445648480001") +
              hex("00010000000b0103082013445648480001") + hex("A4300000"));
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::Reply);
    EXPECT_EQ(collector.received(), hex("0103082013445648480001A430"));
    // The leftovers spoil nothing: the next reply is found.
    send(hex("01034744000410A8"), ModbusMode::Rtu);
    EXPECT_EQ(peer.take(12), hex("000200000006010347440004"));
    peer.send(hex("00020000000b0103082013445648480002"));
    ASSERT_TRUE(ended());
    EXPECT_EQ(collector.received(), hex("0103082013445648480002E431"));
    // A reply when no request is in flight is nobody's.
    events.clear();
    peer.send(hex("00020000000b0103082013445648480002"));
    QTest::qWait(100);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(NetworkLine, PeerThatClosesAtAcceptIsAskedLessAndLessOften)
{
    QTcpServer closer;
    ASSERT_TRUE(closer.listen(QHostAddress::LocalHost));
    int accepted = 0;
    QObject::connect(&closer, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *s = closer.nextPendingConnection()) {
            ++accepted;
            s->close();
            s->deleteLater();
        }
    });
    open(LineKind::DeviceServer, closer.serverPort(), ModbusMode::Ascii);
    // Attempts at 0, 0.5, 1.5 and 3.5 s: the pause doubles.
    QTest::qWait(3200);
    EXPECT_GE(accepted, 2);
    EXPECT_LE(accepted, 3);
    EXPECT_TRUE(channel.deviceLost());
    EXPECT_TRUE(channel.lossText().startsWith(
        QStringLiteral("The connection to 127.0.0.1:%1 was lost: ").arg(closer.serverPort())))
        << qPrintable(channel.lossText());
}

TEST_F(NetworkLine, DeviceServerRepliesCompleteByLengthInAnySegments)
{
    Peer peer;
    open(LineKind::DeviceServer, peer.port(), ModbusMode::Ascii);
    EXPECT_TRUE(channel.carriesBroadcast());
    send(":0103474400046D\r\n", ModbusMode::Ascii);
    ASSERT_TRUE(peer.connected());
    EXPECT_EQ(peer.take(17), ":0103474400046D\r\n");
    // Byte by byte, each in its own segment, slower than the RTU window.
    for (const char c : QByteArray(":010308201344564848000196\r\n")) {
        peer.send(QByteArray(1, c));
        QTest::qWait(5);
    }
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::Reply);
    EXPECT_EQ(collector.received(), ":010308201344564848000196\r\n");

    // RTU: two replies in one segment; the first is the reply, whole.
    channel.close();
    Peer rtuPeer;
    open(LineKind::DeviceServer, rtuPeer.port(), ModbusMode::Rtu);
    send(hex("01034744000410A8"), ModbusMode::Rtu);
    ASSERT_TRUE(rtuPeer.connected());
    EXPECT_EQ(rtuPeer.take(8), hex("01034744000410A8"));
    rtuPeer.send(hex("0103082013445648480001A430"
                     "0103082013445648480001A430"));
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::Reply);
    EXPECT_EQ(collector.received(), hex("0103082013445648480001A430"));
}

TEST_F(NetworkLine, FailuresAreSaidInTheProgramsWordsAndTheLineComesBack)
{
    // Nobody listens: refused, said with the system's reason.
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    open(LineKind::DeviceServer, port, ModbusMode::Ascii);
    EXPECT_TRUE(channel.isOpen()); // connecting does not block
    ASSERT_TRUE(QTest::qWaitFor([this] { return channel.deviceLost(); }, 3000));
    EXPECT_EQ(channel.lossText(),
              QStringLiteral("Cannot reach 127.0.0.1:%1: connection refused").arg(port));
    // A window asking for the line back keeps the connection being retried.
    EXPECT_THROW(channel.reopen(settings), ChannelError);

    // The device comes up: the line reconnects by itself.
    Peer peer(port);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !channel.deviceLost(); }, 4000));
    ASSERT_TRUE(peer.connected());

    // A server that accepts and never answers: a time-out, not a lost line.
    send(":0103474400046D\r\n", ModbusMode::Ascii);
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::TimedOut);
    EXPECT_FALSE(channel.deviceLost());

    // Dropped in the middle of a reply.
    send(":0103474400046D\r\n", ModbusMode::Ascii);
    EXPECT_EQ(peer.take(34).right(17), ":0103474400046D\r\n");
    peer.send(":01030820134456");
    QTest::qWait(20);
    peer.socket->abort();
    ASSERT_TRUE(QTest::qWaitFor([this] { return channel.deviceLost(); }, 3000));
    EXPECT_TRUE(channel.lossText().startsWith(
        QStringLiteral("The connection to 127.0.0.1:%1 was lost: ").arg(port)))
        << qPrintable(channel.lossText());
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::TimedOut);

    // Back again after the pause, and an exchange goes through.
    peer.socket.reset();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !channel.deviceLost(); }, 4000));
    ASSERT_TRUE(peer.connected());
    send(":0103474400046D\r\n", ModbusMode::Ascii);
    EXPECT_EQ(peer.take(17), ":0103474400046D\r\n");
    peer.send(":010308201344564848000196\r\n");
    ASSERT_TRUE(ended());
    EXPECT_EQ(events.first(), ReplyCollector::Event::Reply);
}

} // namespace
