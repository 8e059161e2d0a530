#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

class QTcpServer;
#include <QTcpSocket>
class SimLine;

// Serves a simulated line over TCP, to one client at a time (a second one is
// turned away with a log line).
//
// Transparent, the connection carries the line's own bytes both ways, as a
// serial device server does. As a gateway, it takes Modbus TCP requests,
// puts each on the line as an RTU frame in turn (with the line's own timing
// when it is paced), and answers with the controller's reply under the
// request's transaction identifier, or with exception 0x0B when no good
// reply came within the gateway's own time-out. A request to unit 0 is put
// on the line and not answered.
class SimNetServer : public QObject
{
    Q_OBJECT
public:
    // How long the gateway waits for a reply after the request has crossed
    // its line.
    static constexpr int GatewayTimeoutMs = 150;
    // The pause after a broadcast before the next request goes out.
    static constexpr int BroadcastGapMs = 20;
    // A new client is looked at this long after it arrived.
    static constexpr int ArrivalPauseMs = 30;

    SimNetServer(SimLine &line, bool gateway, QObject *parent = nullptr);
    ~SimNetServer() override;

    // Listens on `host`:`port` (port 0 picks a free one).
    bool listen(const QHostAddress &host, quint16 port, QString *error = nullptr);
    quint16 port() const;
    bool gateway() const { return m_gateway; }
    // Drops the client's connection (a test's network failure).
    void dropClient();
    bool hasClient() const { return m_client; }

signals:
    void logged(const QString &line);

private:
    struct Request
    {
        quint16 transaction = 0;
        int unit = 0;
        QByteArray pdu; // function and data
    };

    void onNewConnection();
    void onClientBytes();
    void onLineOutput(const QByteArray &bytes);
    void takeRequests();
    void startNext();
    void finishRequest(const QByteArray &pdu);

    SimLine &m_line;
    bool m_gateway;
    QTcpServer *m_server = nullptr;
    QPointer<QTcpSocket> m_client;
    QByteArray m_tcpIn;
    std::deque<Request> m_queue;
    bool m_busy = false;
    Request m_current;
    QByteArray m_reply; // the line's bytes of the reply in progress
    QTimer m_timeout;
};
