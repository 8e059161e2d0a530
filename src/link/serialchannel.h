#pragma once

#include "link/channelerror.h"
#include "link/line.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <array>
#include <functional>

class NetworkLink;
class QIODevice;
class QSerialPort;

// Parity generated on send (never checked on receive).
enum class TParity { pNone, pOdd, pEven, pMark, pSpace };

// The channel's parity for a line setting.
TParity ChannelParity(LineParity parity);

// One channel timer as the channel keeps it.
struct ChannelTimer
{
    quint16 handle = 0;
    quint32 length = 0; // ticks
    bool armed = false;
    qint64 startTick = 0;
    qint64 expiryTick = 0;
};

// The serial channel a talking window owns: one COM port, its line settings,
// received bytes announced through OnTrigger, and one-shot timers counted in
// ticks of 55 ms.
//
// Everything runs on the GUI thread. Events are delivered one at a time:
// while a handler runs (even when it spins a nested event loop) further
// events wait until it has returned. A dispatcher pass runs on every arrival
// of bytes and at the latest 50 ms after the previous one; a timer fires at
// the moment its tick has passed. Failures are thrown as ChannelError.
//
//     SerialChannel ApdComPort1;
//     ApdComPort1.OnTrigger = [this](SerialChannel &cp, quint16 msg, quint16 h, quint16 data) {
//         ApdComPort1Trigger(cp, msg, h, data);
//     };
//     ApdComPort1.setComNumber(1);
//     ApdComPort1.setBaud(9600);
//     ApdComPort1.setOpen(true);                // throws ChannelError
//     const quint16 replyTimer = ApdComPort1.AddTimer();
//     ApdComPort1.SendText(frame);
//     ApdComPort1.ArmTimer(replyTimer, 36, true);
class SerialChannel : public QObject, public Line
{
    Q_OBJECT
public:
    // OnTrigger's Msg values.
    // DataAvailable: TriggerHandle = Data = unread count.
    // TimerExpired: TriggerHandle = the timer, Data = 0.

    static constexpr int InputRingSize = 8192;
    static constexpr int TickMs = 55;
    static constexpr int PassIntervalMs = 50;
    static constexpr quint32 MaxTimerTicks = 39045157;
    static constexpr quint16 FirstTimerHandle = 8;

    using TriggerHandler =
        std::function<void(SerialChannel &cp, quint16 msg, quint16 triggerHandle, quint16 data)>;
    // Asks the user for a port when ComNumber is 0 at opening: given the
    // "COMn" entries that reach a device, the index of the chosen one or -1.
    using PortChooser = std::function<int(const QStringList &entries)>;

    explicit SerialChannel(QObject *parent = nullptr);
    ~SerialChannel() override;

    // COM port number (see comports.h); 0 asks the user at opening when
    // PromptForPort is set. Changing it while open reopens on the new port,
    // keeping the timers.
    quint16 ComNumber() const { return m_comNumber; }
    void setComNumber(quint16 number);

    // Line settings; a change while open reaches the line at once. A setting
    // the device refuses leaves the channel working with the old one.
    quint32 Baud() const { return m_baud; }
    void setBaud(quint32 baud);
    TParity Parity() const { return m_parity; }
    void setParity(TParity parity);
    quint16 DataBits() const { return m_dataBits; } // 5..8
    void setDataBits(quint16 bits);
    quint16 StopBits() const { return m_stopBits; } // 1 or 2; 0 counts as 1
    void setStopBits(quint16 bits);

    // InSize bounds what the port holds beyond the input ring; OutSize is
    // the room for output queued and not yet written.
    quint16 InSize() const { return m_inSize; }
    void setInSize(quint16 size);
    quint16 OutSize() const { return m_outSize; }
    void setOutSize(quint16 size) { m_outSize = size; }

    // Open the port on first use instead of failing with 2007.
    bool AutoOpen() const { return m_autoOpen; }
    void setAutoOpen(bool on) { m_autoOpen = on; }
    // Ask for a port ("Select Port") when ComNumber is 0 at opening.
    bool PromptForPort() const { return m_promptForPort; }
    void setPromptForPort(bool on) { m_promptForPort = on; }
    // Without a chooser a channel with no port fails to open (2011).
    void setPortChooser(PortChooser chooser) { m_portChooser = std::move(chooser); }

    // Whether the port is open; setting it opens (throws ChannelError:
    // 2001 not found, 2008 in use, 2011 no port chosen, -errno otherwise;
    // Open stays false) or closes. A close asked for inside an OnTrigger
    // handler releases the device at once and is finished when the handler
    // returns; until then the handler can still read its announced bytes.
    bool Open() const { return m_state == State::Open; }
    void setOpen(bool open);

    // A new unarmed timer: handles 8, 16, ... counted afresh at each opening.
    quint16 AddTimer() override;
    // Arms (ticks 0: keep the length) or disarms the first timer with the
    // handle; 5003 for an unknown handle.
    void ArmTimer(quint16 handle, quint32 ticks, bool active) override;
    // Inside a data-available handler: the next announced byte, consumed
    // when the handler returns. Elsewhere: the next unread byte, consumed at
    // once. 3007 when there is none.
    quint8 ReadByte() override;
    // Outside a handler: throws away every unread byte, those the port still
    // holds included, and returns how many. Inside a handler it does nothing
    // (the announced bytes belong to the handler). 2007 while closed.
    int discardInput() override;
    // Queues the bytes whole (3006 when OutSize has no room for them).
    void SendText(const QByteArray &text) override;

    TriggerHandler OnTrigger;

    // The line seam.
    void setTriggerHandler(Trigger handler) override;
    void openWith(const LineSettings &settings) override;
    void close() override { setOpen(false); }
    bool isOpen() const override { return Open(); }
    // Port number, baud rate, parity, data bits, stop bits, in that order.
    void applySettings(const LineSettings &settings);

    // Opened again with `settings`; a network line that reconnects by itself
    // to the same target is kept, and throws while it is still down.
    void reopen(const LineSettings &settings) override;
    int replyMarginTicks() const override;
    bool carriesBroadcast() const override { return m_kind != LineKind::Gateway; }
    bool connecting() const override;
    QString lossText() const override;

    // The device the open port is (empty while closed): the serial device,
    // or host:port of a network line.
    QString deviceName() const override { return m_deviceName; }
    // True after the open device failed (an adapter pulled, the other end
    // of a pseudo-terminal gone): the device is closed, the channel stays
    // Open, output is dropped and timers go on, until the next opening. A
    // network line is lost while its connection is down; it comes back by
    // itself.
    bool deviceLost() const override;
    // The timer list in the order the timers were added.
    QList<ChannelTimer> timers() const { return m_timers; }

    // The current tick: a monotonic millisecond clock divided by 55.
    static qint64 currentTick();
    qint64 tick() const override { return currentTick(); }
    qint64 msecs() const override;

private:
    enum class State { Closed, Open, ShuttingDown };

    struct HandlerContext
    {
        bool active = false;
        bool data = false;
        quint64 generation = 0;
        int announced = 0;
        int read = 0;
    };

    void openPort();
    void openSerialPort();
    void openNetworkLink();
    void startDevice(QIODevice *device, const QString &name);
    void releaseDevice();
    void finishClose();
    void requireOpen();
    void onPortError(int error, QSerialPort *port);

    void schedulePass();
    void passOnArrival();
    void runPass();
    void fillRing();
    void deliver(quint16 msg, quint16 triggerHandle, quint16 data);
    void endHandler();
    void scheduleTimerWake();
    void consume(int count);
    quint8 ringAt(int offset) const;
    int firstTimerIndex(quint16 handle) const;

    quint16 m_comNumber = 1;
    quint32 m_baud = 9600;
    TParity m_parity = TParity::pEven;
    quint16 m_dataBits = 7;
    quint16 m_stopBits = 1;
    quint16 m_inSize = 4096;
    quint16 m_outSize = 4096;
    bool m_autoOpen = false;
    bool m_promptForPort = true;
    PortChooser m_portChooser;
    LineKind m_kind = LineKind::Serial;
    NetworkTarget m_network;
    ModbusMode m_framing = ModbusMode::Ascii;

    State m_state = State::Closed;
    QIODevice *m_device = nullptr; // what is read and written: the port or the link
    QSerialPort *m_port = nullptr; // a serial line's port
    NetworkLink *m_link = nullptr; // a network line's connection
    QString m_deviceName;
    bool m_deviceLost = false;
    quint64 m_generation = 0; // counts openings and closings

    std::array<quint8, InputRingSize> m_ring {};
    int m_readPos = 0;
    int m_unread = 0;
    quint64 m_written = 0; // bytes put into the ring since opening
    quint64 m_announcedAt = 0; // m_written at the last data-available event

    QList<ChannelTimer> m_timers;
    quint16 m_nextHandle = FirstTimerHandle;

    QTimer m_poll; // the pass at the latest 50 ms after the previous one
    QTimer m_timerWake; // the pass at the moment the next timer is due
    qint64 m_wakeAtMs = -1;
    bool m_passQueued = false;
    bool m_passWanted = false; // a pass was due while a handler ran
    HandlerContext m_ctx;
};
