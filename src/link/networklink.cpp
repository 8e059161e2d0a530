#include "link/networklink.h"

#include "link/framing.h"

#include <QTcpSocket>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

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

// Keep-alive probes after 10 s of quiet, every 5 s, 3 unanswered ones end
// the connection (the system's defaults wait two hours).
void setKeepAliveTimes(qintptr descriptor)
{
#ifdef Q_OS_LINUX
    if (descriptor < 0)
        return;
    const int idle = 10, interval = 5, count = 3;
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#else
    Q_UNUSED(descriptor);
#endif
}

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
    // A peer that dies without a word (power cut, cable) is noticed by the
    // system's keep-alive probes, not only as controllers falling silent.
    m_socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    setKeepAliveTimes(m_socket->socketDescriptor());
    m_down = false;
    m_everConnected = true;
    m_failure.clear();
    // The pause before the next attempt starts afresh only once the peer
    // has shown it works (a reply, or a connection that lasted): a peer
    // that accepts and closes at once is not asked twice a second.
    m_connectedAt.start();
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
    if (m_connectedAt.isValid() && m_connectedAt.elapsed() >= LongestRetryMs)
        m_retryMs = FirstRetryMs;
    m_connectedAt.invalidate();
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
    m_tcpIn.clear(); // what is left belongs to an earlier request
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
        m_pending = bytes; // only the newest request: the older ones' windows are over
}

void NetworkLink::onReadyRead()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (!bytes.isEmpty())
        m_retryMs = FirstRetryMs; // the peer works
    if (m_kind != LineKind::Gateway) {
        m_in.append(bytes);
        // Nobody reads a line that talks on and on: the oldest bytes go.
        if (m_in.size() > MaxBuffered)
            m_in.remove(0, m_in.size() - MaxBuffered);
        emit readyRead();
        return;
    }
    m_tcpIn.append(bytes);
    const qsizetype before = m_in.size();
    takeGatewayFrames();
    if (m_in.size() != before)
        emit readyRead();
}

int NetworkLink::layoutLength(qsizetype pduAt) const
{
    // The length field a reply to the request in flight must carry, judged
    // from its function (and byte count): 0 when the frame cannot be that
    // reply, -1 while its bytes are not in yet.
    if (m_tcpIn.size() <= pduAt)
        return -1;
    const int function = quint8(m_tcpIn.at(pduAt));
    if (function == (m_asked.function | FnExceptionFlag))
        return 3; // unit, function, exception code
    if (function != m_asked.function)
        return 0;
    if (function == FnReadRegisters) {
        if (m_tcpIn.size() <= pduAt + 1)
            return -1;
        return 3 + quint8(m_tcpIn.at(pduAt + 1));
    }
    if (function == FnWriteRegister)
        return 6;
    return wordAt(m_tcpIn, int(pduAt) - 3); // a function of the console's: as it says
}

void NetworkLink::takeGatewayFrames()
{
    // Only the reply to the request in flight is handed on: its
    // transaction, the Modbus protocol, its unit, and a length that agrees
    // with the frame's own layout. Anything else (padding, a check field
    // appended, a reply to an older request, garbage) is passed over: the
    // search starts again at every byte.
    if (m_asked.unit < 0) {
        m_tcpIn.clear(); // no request reached the peer: nothing can be its reply
        return;
    }
    for (qsizetype at = 0; at + MbapHeaderSize <= m_tcpIn.size(); ++at) {
        const int length = wordAt(m_tcpIn, int(at) + 4);
        if (wordAt(m_tcpIn, int(at)) != m_asked.transaction || wordAt(m_tcpIn, int(at) + 2) != 0 ||
            length < 2 || length > MaxMbapLength || quint8(m_tcpIn.at(at + 6)) != m_asked.unit)
            continue;
        const int layout = layoutLength(at + MbapHeaderSize);
        if (layout == -1)
            return; // the rest is on its way
        if (layout != length)
            continue;
        if (m_tcpIn.size() < at + 6 + length)
            return;
        const int unit = m_asked.unit;
        const int function = quint8(m_tcpIn.at(at + 7));
        const QByteArray data = m_tcpIn.mid(at + 8, length - 2);
        m_tcpIn.clear(); // what follows is no reply to anything asked
        const bool gatewayException = function == (m_asked.function | FnExceptionFlag) &&
            (quint8(data.at(0)) == GatewayPathUnavailable ||
             quint8(data.at(0)) == GatewayTargetSilent);
        m_asked = {};
        if (gatewayException)
            return; // the controller's silence
        m_in.append(Framing::of(m_framing).wrap(ModbusRequest {unit, function, data}));
        return;
    }
    // Nothing fits yet: keep what could still begin the reply, bounded.
    if (m_tcpIn.size() > 2 * (6 + MaxMbapLength))
        m_tcpIn.remove(0, m_tcpIn.size() - (6 + MaxMbapLength));
}
