#pragma once

#include "link/linesettings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QIODevice>
#include <QTimer>

class QTcpSocket;

// The device of a network line: a TCP connection to a serial device server
// or a Modbus TCP gateway, seen by the channel as the line itself.
//
// Through a device server the connection carries the line's own bytes both
// ways. Through a gateway each request frame written is sent as a Modbus TCP
// frame (MBAP header with a transaction identifier, the unit identifier being
// the controller's address, no check field), and only the reply that carries
// the same transaction identifier and unit is read back, as the frame the
// controller sent on the gateway's line (check field included). A gateway's
// own exceptions 0x0A and 0x0B (no path, no answer from the target) are the
// controller's silence: nothing is read.
//
// Opening starts connecting and returns at once; the newest request written
// meanwhile leaves once connected (older ones are dropped: their windows are
// over). Connecting takes at most ConnectTimeoutMs. A connection that cannot be made or is lost
// makes the link down (failure() says why, in the program's words) and it tries again by itself
// after a pause that grows from half a second to ten seconds. While down, what is written is
// dropped.
class NetworkLink : public QIODevice
{
    Q_OBJECT
public:
    static constexpr int ConnectTimeoutMs = 4000;
    static constexpr int FirstRetryMs = 500;
    static constexpr int LongestRetryMs = 10000;
    static constexpr int MbapHeaderSize = 7;
    // The largest Modbus TCP frame: header and a PDU of 253 bytes.
    static constexpr int MaxMbapLength = 254; // the length field: unit and PDU
    // The most a device server's bytes are kept unread.
    static constexpr int MaxBuffered = 65536;

    NetworkLink(LineKind kind, const NetworkTarget &target, ModbusMode framing,
                QObject *parent = nullptr);
    ~NetworkLink() override;

    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override;

    // True from a failure until a connection is made again; a first
    // connection under way is not down.
    bool isDown() const { return m_down; }
    bool isConnected() const;
    // True while a connection is being made and nothing failed yet.
    bool isConnecting() const { return m_socket && !isConnected() && !m_down; }
    // Why the link is down ("Cannot reach 10.0.0.5:4001: connection refused").
    QString failure() const { return m_failure; }
    // The pause before the next attempt while down.
    int retryPauseMs() const { return m_retryMs; }

signals:
    void connectionChanged();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    struct Asked
    {
        quint16 transaction = 0;
        int unit = -1;
        int function = -1;
    };

    void connectNow();
    void onConnected();
    void onSocketError();
    void goDown(const QString &text);
    void onReadyRead();
    void sendRaw(const QByteArray &bytes);
    void takeGatewayFrames();
    int layoutLength(qsizetype pduAt) const;

    LineKind m_kind;
    NetworkTarget m_target;
    ModbusMode m_framing;
    QTcpSocket *m_socket = nullptr;
    QTimer m_connectTimer;
    QTimer m_retryTimer;
    bool m_down = false;
    bool m_everConnected = false;
    QString m_failure;
    int m_retryMs = FirstRetryMs;
    QElapsedTimer m_connectedAt; // since the connection was made
    QByteArray m_in; // what the line delivered, for the channel
    QByteArray m_pending; // written while connecting
    QByteArray m_tcpIn; // gateway: Modbus TCP bytes not yet a whole frame
    quint16 m_nextTransaction = 0;
    Asked m_asked;
};
