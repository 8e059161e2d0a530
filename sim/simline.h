#pragma once

#include "sim/lineframing.h"
#include "sim/simcontroller.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <map>
#include <memory>

class QSocketNotifier;

// A fault that one simulated controller shows on demand.
struct SimFault
{
    enum class Kind {
        None,
        Silent, // the request is lost: no reply, nothing applied
        BadChecksum, // the reply carries a wrong LRC or CRC
        WrongAddress, // the reply comes from another address
        Split, // the reply leaves in two bursts with a gap between them
        Delay, // the reply leaves `value` ms late
        Exception, // every request is answered with exception `value`
    };
    Kind kind = Kind::None;
    int value = 0;

    QString describe() const;
};

// How the line reaches the master's port: through a USB adapter that hands
// bytes over in packets (when a packet is full, or when its latency timer
// runs out), that may let the master hear its own request (two-wire RS-485
// adapters do), and with noise on the wire.
struct SimWire
{
    bool echo = false; // the master hears every byte it sends
    int latencyMs = 0; // the adapter's latency timer; 0: bytes pass at once
    int packetSize = 62; // bytes the adapter hands over at most at once
    bool strayByte = false; // a turn-on glitch byte before every ASCII reply
    int noiseMs = 0; // a garbage byte (never ':' or a line end) every this many ms
};

// The line: a pseudo-terminal on which one or more simulated controllers
// answer as slaves. Runs in the Qt event loop of the thread that owns it, so
// tests can run it in-process; `duva-sim` is a thin program around it.
class SimLine : public QObject
{
    Q_OBJECT

public:
    // The gap between the two bursts of a split reply.
    static constexpr int SplitGapMs = 20;
    // Simulated time advances in steps of this many real milliseconds.
    static constexpr int TickMs = 100;

    explicit SimLine(const SimLineSettings &settings, QObject *parent = nullptr);
    ~SimLine() override;

    // Opens the pseudo-terminal. Its slave side is what a master opens
    // (ptyPath()). The line settings are applied to it where the terminal
    // takes them; a pseudo-terminal refuses 7 data bits or parity, which is
    // ignored: the settings still decide framing and pacing. The bit rate a
    // master sets on the terminal stays readable: bytes that arrive while it
    // is a standard rate other than the line's are noise, never answered.
    bool open(QString *error = nullptr);
    QString ptyPath() const { return m_ptyPath; }
    // Makes `path` a symbolic link to the pseudo-terminal (replacing an
    // older link; the directory is created if needed). removeLink() takes
    // it away again if it still points to this line.
    bool makeLink(const QString &path, QString *error = nullptr);
    void removeLink();
    QString linkPath() const { return m_linkPath; }
    void close();

    // Without a pseudo-terminal: the line's bytes come in through receive()
    // and go out through the output function (a network connection).
    void startWithoutTerminal();
    void receive(const QByteArray &bytes);
    // Where replies go instead of the terminal; none drops them.
    void setOutput(std::function<void(const QByteArray &)> output) { m_output = std::move(output); }

    const SimLineSettings &settings() const { return m_settings; }

    // Controllers. Addresses 1 to 247; false when out of range. Two
    // controllers may share an address, as when one is set up wrongly: both
    // take every request to it, and their replies collide on the line into
    // one garbled frame.
    bool addController(int address, int modelCode);
    // The first controller added at the address, or none.
    SimController *controller(int address);
    QList<int> addresses() const; // each address once, in order
    // Gives the first controller at `from` the address `to` (1 to 247, taken
    // or not); its fault goes with it. False when there is no controller at
    // `from` or `to` is out of range.
    bool moveController(int from, int to);

    // Faults belong to the controllers: setFault gives every controller at
    // the address the fault; fault() is the first one's.
    bool setFault(int address, const SimFault &fault);
    SimFault fault(int address) const;

    // Unplugged, nothing that comes in is heard and nothing is answered; the
    // controllers keep running.
    void setPlugged(bool plugged) { m_plugged = plugged; }
    bool plugged() const { return m_plugged; }

    // Pacing: requests count as received only when their bytes would have
    // crossed the line, replies leave at the line's character rate after the
    // turnaround time.
    void setPacing(bool on, int turnaroundMs = 2);
    bool pacing() const { return m_pacing; }
    // Simulated time runs this many times faster than real time.
    void setSpeed(double speed) { m_speed = speed; }

    // The adapter and the wire between the line and the master.
    void setWire(const SimWire &wire);
    const SimWire &wire() const { return m_wire; }

    // Adds a line of the program's own to the request log.
    void note(const QString &text) { log(text); }

    // Writes the request log to a file as well (flushed per line).
    bool setLogFile(const QString &path, QString *error = nullptr);

    // Bytes written to the line since open (replies, all bursts).
    qint64 bytesSent() const { return m_bytesSent; }

signals:
    // One line per request received (and per damaged frame ignored, per
    // burst heard at another bit rate, per collision).
    void requestLogged(const QString &line);

private:
    struct Slot
    {
        std::unique_ptr<SimController> controller;
        SimFault fault;
    };

    struct Burst
    {
        QByteArray bytes;
        qint64 startNs = 0; // when the first byte starts to cross
        qsizetype sent = 0;
    };

    void onReadable();
    void onFrameGap();
    void onTransmit();
    void onTick();
    // Bytes on their way to the master, through the adapter.
    void toMaster(const QByteArray &bytes);
    void writeToMaster(const QByteArray &bytes);
    void takeAsciiFrames();
    void takeRtuFrames(bool gapSeen);
    // The master's bit rate when the terminal reports a standard rate that
    // differs from the line's own, else 0.
    int mismatchedBaud() const;
    void handleFrame(const QByteArray &frame, qint64 receivedNs);
    void queueReply(const QByteArray &frame, qint64 startNs, const SimFault &fault);
    void scheduleTransmit();
    void log(const QString &text);
    qint64 nowNs() const { return m_clock.nsecsElapsed(); }

    SimLineSettings m_settings;
    int m_masterFd = -1;
    int m_slaveFd = -1; // held open so that the line stays up between masters
    QString m_ptyPath;
    QString m_linkPath;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_gapTimer;
    QTimer m_txTimer;
    QTimer m_tickTimer;
    QElapsedTimer m_clock;
    qint64 m_lastTickNs = 0;
    QByteArray m_rx;
    qint64 m_lineFreeNs = 0; // incoming: when the last byte received has crossed
    std::deque<Burst> m_tx;
    qint64 m_txLineFreeNs = 0; // outgoing: when the last byte queued has left
    // By address; controllers sharing one keep the order they came in.
    std::multimap<int, Slot> m_controllers;
    bool m_plugged = true;
    bool m_pacing = false;
    int m_turnaroundMs = 2;
    double m_speed = 1.0;
    QFile m_logFile;
    qint64 m_bytesSent = 0;
    std::function<void(const QByteArray &)> m_output;
    SimWire m_wire;
    QByteArray m_adapter; // held by the adapter until its packet leaves
    QTimer m_latencyTimer;
    QTimer m_noiseTimer;
};
