#include "sim/simnetserver.h"

#include "sim/simline.h"

#include "sim/lineframing.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace {

constexpr int MbapHeaderSize = 7;
constexpr int MaxMbapLength = 254; // unit identifier and PDU
constexpr int TargetFailedToRespond = 0x0B;

quint16 wordAt(const QByteArray &bytes, int at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

void appendWord(QByteArray &bytes, quint16 word)
{
    bytes.append(char(word >> 8));
    bytes.append(char(word & 0xFF));
}

// The length of the RTU reply that `bytes` begin, once it can be told; 0
// before.
int rtuReplyLength(const QByteArray &bytes)
{
    if (bytes.size() < 2)
        return 0;
    const int function = quint8(bytes.at(1));
    if (function & 0x80)
        return 5; // address, function, exception code, CRC
    if (function == 0x03 || function == 0x04)
        return bytes.size() < 3 ? 0 : 5 + quint8(bytes.at(2));
    return 8; // a write's echo
}

QString peerText(const QTcpSocket &socket)
{
    return socket.peerAddress().toString() + QLatin1Char(':') + QString::number(socket.peerPort());
}

} // namespace

SimNetServer::SimNetServer(SimLine &line, bool gateway, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_gateway(gateway)
{
    m_server = new QTcpServer(this);
    // A client that has just left and its successor often arrive together:
    // the leaving is taken in first.
    connect(m_server, &QTcpServer::newConnection, this,
            [this] { QTimer::singleShot(ArrivalPauseMs, this, &SimNetServer::onNewConnection); });
    m_timeout.setSingleShot(true);
    m_timeout.setTimerType(Qt::PreciseTimer);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        // Nothing (good) came back: the gateway says the target is silent.
        if (!m_busy)
            return;
        if (m_current.unit == 0) {
            m_busy = false;
            startNext();
            return;
        }
        const int function = m_current.pdu.isEmpty() ? 0 : quint8(m_current.pdu.at(0));
        QByteArray exception;
        exception.append(char((function | 0x80) & 0xFF));
        exception.append(char(TargetFailedToRespond));
        finishRequest(exception);
    });
    m_line.setOutput([this](const QByteArray &bytes) { onLineOutput(bytes); });
}

SimNetServer::~SimNetServer()
{
    m_line.setOutput(nullptr);
}

bool SimNetServer::listen(const QHostAddress &host, quint16 port, QString *error)
{
    if (m_server->listen(host, port))
        return true;
    if (error)
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(host.toString())
                     .arg(port)
                     .arg(m_server->errorString());
    return false;
}

quint16 SimNetServer::port() const
{
    return m_server->serverPort();
}

void SimNetServer::dropClient()
{
    if (m_client)
        m_client->abort();
}

void SimNetServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_client && m_client->state() == QAbstractSocket::ConnectedState) {
            emit logged(QStringLiteral("refused client %1: one client at a time (%2 is served)")
                            .arg(peerText(*socket), peerText(*m_client)));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (m_client)
            m_client->deleteLater();
        m_client = socket;
        m_tcpIn.clear();
        m_queue.clear();
        m_busy = false;
        m_timeout.stop();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit logged(QStringLiteral("client %1 connected").arg(peerText(*socket)));
        connect(socket, &QTcpSocket::readyRead, this, &SimNetServer::onClientBytes);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            emit logged(QStringLiteral("client %1 left").arg(peerText(*socket)));
            socket->deleteLater();
        });
        // What it sent while it waited to be looked at.
        if (socket->bytesAvailable() > 0)
            onClientBytes();
    }
}

void SimNetServer::onClientBytes()
{
    if (!m_client)
        return;
    const QByteArray bytes = m_client->readAll();
    if (!m_gateway) {
        m_line.receive(bytes);
        return;
    }
    m_tcpIn.append(bytes);
    takeRequests();
}

void SimNetServer::takeRequests()
{
    while (m_tcpIn.size() >= MbapHeaderSize) {
        const quint16 protocol = wordAt(m_tcpIn, 2);
        const int length = wordAt(m_tcpIn, 4);
        if (protocol != 0 || length < 2 || length > MaxMbapLength) {
            emit logged(QStringLiteral("gateway: not Modbus TCP, %1 bytes dropped")
                            .arg(m_tcpIn.size()));
            m_tcpIn.clear();
            return;
        }
        if (m_tcpIn.size() < 6 + length)
            return;
        Request r;
        r.transaction = wordAt(m_tcpIn, 0);
        r.unit = quint8(m_tcpIn.at(6));
        r.pdu = m_tcpIn.mid(7, length - 1);
        m_tcpIn.remove(0, 6 + length);
        m_queue.push_back(r);
    }
    startNext();
}

void SimNetServer::startNext()
{
    if (m_busy || m_queue.empty())
        return;
    m_current = m_queue.front();
    m_queue.pop_front();
    m_busy = true;
    m_reply.clear();
    const QByteArray frame = BuildFrame(
        {m_current.unit, quint8(m_current.pdu.at(0)), m_current.pdu.mid(1)}, ModbusMode::Rtu);
    const qint64 lineMs = m_line.pacing()
        ? (frame.size() * m_line.settings().characterNs() + 999'999) / 1'000'000
        : 0;
    m_line.receive(frame);
    m_timeout.start(int(lineMs) + (m_current.unit == 0 ? BroadcastGapMs : GatewayTimeoutMs));
}

void SimNetServer::onLineOutput(const QByteArray &bytes)
{
    if (!m_gateway) {
        if (m_client && m_client->state() == QAbstractSocket::ConnectedState)
            m_client->write(bytes);
        return;
    }
    if (!m_busy)
        return; // nobody asked: the gateway drops it
    m_reply.append(bytes);
    const int length = rtuReplyLength(m_reply);
    if (length == 0 || m_reply.size() < length) {
        m_timeout.start(GatewayTimeoutMs);
        return;
    }
    const ParsedFrame parsed = ParseRtuFrame(m_reply.left(length));
    const ModbusPdu &reply = parsed.pdu;
    if (parsed.error != FrameError::None || reply.address != m_current.unit) {
        emit logged(QStringLiteral("gateway: damaged reply from unit %1 dropped")
                        .arg(m_current.unit));
        m_reply.clear();
        return; // the time-out answers
    }
    finishRequest(QByteArray(1, char(reply.function)) + reply.data);
}

void SimNetServer::finishRequest(const QByteArray &pdu)
{
    m_timeout.stop();
    m_busy = false;
    if (m_client && m_client->state() == QAbstractSocket::ConnectedState) {
        QByteArray frame;
        appendWord(frame, m_current.transaction);
        appendWord(frame, 0);
        appendWord(frame, quint16(1 + pdu.size()));
        frame.append(char(m_current.unit));
        frame.append(pdu);
        m_client->write(frame);
    }
    startNext();
}
