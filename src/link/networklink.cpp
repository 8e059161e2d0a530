#include "link/networklink.h"

#include "link/framing.h"

#include <QTcpSocket>

#include <algorithm>

namespace {

// The system's reason as a clause: "Connection refused" reads "connection
// refused" after a colon.
QString reasonClause(QString reason)
{
    if (reason.size() > 1 && reason.at(0).isUpper() && reason.at(1).isLower())
        reason[0] = reason.at(0).toLower();
    return reason;
}

quint16 wordAt(const QByteArray &bytes, int at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

void appendWord(QByteArray &bytes, quint16 word)
{
    bytes.append(char(word >> 8));
    bytes.append(char(word & 0xFF));
}

// A gateway's own exceptions: the path to the line is unavailable, or the
// target did not answer on it.
constexpr int GatewayPathUnavailable = 0x0A;
constexpr int GatewayTargetSilent = 0x0B;

} // namespace

NetworkLink::NetworkLink(LineKind kind, const NetworkTarget &target, ModbusMode framing,
                         QObject *parent)
    : QIODevice(parent)
    , m_kind(kind)
    , m_target(target)
    , m_framing(framing)
{
    m_connectTimer.setSingleShot(true);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        goDown(QStringLiteral("Cannot reach %1: no answer within %2 s")
                   .arg(m_target.text())
                   .arg(ConnectTimeoutMs / 1000));
    });
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &NetworkLink::connectNow);
}

NetworkLink::~NetworkLink()
{
    if (m_socket)
        m_socket->abort();
}

bool NetworkLink::open(OpenMode mode)
{
    if (!QIODevice::open(mode | QIODevice::Unbuffered))
        return false;
    connectNow();
    return true;
}

void NetworkLink::close()
{
    m_connectTimer.stop();
    m_retryTimer.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_in.clear();
    m_pending.clear();
    m_tcpIn.clear();
    QIODevice::close();
}

bool NetworkLink::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

qint64 NetworkLink::bytesAvailable() const
{
    return m_in.size() + QIODevice::bytesAvailable();
}

qint64 NetworkLink::bytesToWrite() const
{
    return m_pending.size() + (m_socket ? m_socket->bytesToWrite() : 0);
}

void NetworkLink::connectNow()
{
    if (!isOpen())
        return;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_tcpIn.clear();
    m_socket = new QTcpSocket(this);
    // Requests are small and wait for their reply: no coalescing delay.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::connected, this, &NetworkLink::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &NetworkLink::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &NetworkLink::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        goDown(QStringLiteral("The connection to %1 was lost: the other end closed it")
                   .arg(m_target.text()));
    });
    m_connectTimer.start(ConnectTimeoutMs);
    m_socket->connectToHost(m_target.host, m_target.port);
}

void NetworkLink::onConnected()
{
    m_connectTimer.stop();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_down = false;
    m_everConnected = true;
    m_failure.clear();
    m_retryMs = FirstRetryMs;
    if (!m_pending.isEmpty())
        sendRaw(std::exchange(m_pending, {}));
    emit connectionChanged();
}

void NetworkLink::onSocketError()
{
    if (!m_socket)
        return;
    const QString reason = reasonClause(m_socket->errorString());
    if (m_socket->state() == QAbstractSocket::ConnectedState ||
        m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        goDown(QStringLiteral("The connection to %1 was lost: %2").arg(m_target.text(), reason));
    else
        goDown(QStringLiteral("Cannot reach %1: %2").arg(m_target.text(), reason));
}

void NetworkLink::goDown(const QString &text)
{
    if (!m_socket)
        return;
    // The socket is let go once control is back in the event loop, not
    // inside its own signal.
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    m_connectTimer.stop();
    m_pending.clear();
    m_tcpIn.clear();
    m_asked = {};
    m_failure = text;
    m_down = true;
    if (isOpen()) {
        m_retryTimer.start(m_retryMs);
        m_retryMs = std::min(m_retryMs * 2, LongestRetryMs);
    }
    emit connectionChanged();
}

qint64 NetworkLink::readData(char *data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(maxSize, m_in.size());
    std::copy_n(m_in.constData(), n, data);
    m_in.remove(0, n);
    return n;
}

qint64 NetworkLink::writeData(const char *data, qint64 size)
{
    const QByteArray bytes(data, size);
    if (m_down)
        return size; // the line is gone: what is sent is lost
    if (m_kind != LineKind::Gateway) {
        sendRaw(bytes);
        return size;
    }
    // One request frame of the window's framing becomes one Modbus TCP
    // frame; what cannot be taken apart is not sent.
    const UnwrappedFrame request = Framing::of(m_framing).unwrap(bytes);
    if (!request.checksumOk || request.address < 0 || request.data.size() > MaxMbapLength - 2)
        return size;
    m_asked.transaction = ++m_nextTransaction;
    m_asked.unit = request.address;
    m_asked.function = request.function;
    QByteArray frame;
    appendWord(frame, m_asked.transaction);
    appendWord(frame, 0); // the Modbus protocol
    appendWord(frame, quint16(2 + request.data.size()));
    frame.append(char(request.address));
    frame.append(char(request.function));
    frame.append(request.data);
    sendRaw(frame);
    return size;
}

void NetworkLink::sendRaw(const QByteArray &bytes)
{
    if (isConnected())
        m_socket->write(bytes);
    else if (m_socket)
        m_pending.append(bytes);
}

void NetworkLink::onReadyRead()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (m_kind != LineKind::Gateway) {
        m_in.append(bytes);
        emit readyRead();
        return;
    }
    m_tcpIn.append(bytes);
    const qsizetype before = m_in.size();
    takeGatewayFrames();
    if (m_in.size() != before)
        emit readyRead();
}

void NetworkLink::takeGatewayFrames()
{
    while (m_tcpIn.size() >= MbapHeaderSize) {
        const quint16 transaction = wordAt(m_tcpIn, 0);
        const quint16 protocol = wordAt(m_tcpIn, 2);
        const int length = wordAt(m_tcpIn, 4);
        if (protocol != 0 || length < 2 || length > MaxMbapLength) {
            // Not Modbus TCP: nothing after it can be trusted to start a frame.
            m_tcpIn.clear();
            return;
        }
        const int total = 6 + length;
        if (m_tcpIn.size() < total)
            return;
        const QByteArray frame = m_tcpIn.left(total);
        m_tcpIn.remove(0, total);
        const int unit = quint8(frame.at(6));
        const int function = quint8(frame.at(7));
        const QByteArray data = frame.mid(8);
        // A reply to an earlier request (its window ended), or to none.
        if (transaction != m_asked.transaction || unit != m_asked.unit || m_asked.unit < 0)
            continue;
        const bool gatewayException = function == (m_asked.function | FnExceptionFlag) &&
            data.size() == 1 &&
            (quint8(data.at(0)) == GatewayPathUnavailable ||
             quint8(data.at(0)) == GatewayTargetSilent);
        m_asked = {};
        if (gatewayException)
            continue; // the controller's silence
        m_in.append(Framing::of(m_framing).wrap(ModbusRequest {unit, function, data}));
    }
}
