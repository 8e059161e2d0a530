#pragma once

#include "link/line.h"
#include "link/replycollector.h"

#include <QList>
#include <QObject>
#include <QTimer>

// A controller an address scan found.
struct FoundController
{
    int address = 0;
    int modelCode = 0; // 0x4746; 0 for a garbled reply
    int firmware = -1; // 0x472A; -1 when it did not answer that read
    bool garbled = false; // a reply that failed its check: two controllers on one address?
};

// Asks every address of a range for the identification registers, one at a
// time, each with a reply window just long enough for the line speed (its
// own precise timer: the line's timers count 55 ms ticks), then reads the
// firmware version of each controller found. Only reads; nothing is written.
class AddressScan : public QObject
{
    Q_OBJECT
public:
    // The time a controller is given to answer, on top of the frames' wire
    // time: what a real controller behind a USB adapter meets by default,
    // at most the configuration window's reply time-out.
    static constexpr int DefaultMarginMs = 100;
    static constexpr int MaximumMarginMs = 36 * 55;
    static constexpr int FirmwareWindowMs = 250;

    AddressScan(Line &line, LineSettingsSource settings, QObject *parent = nullptr);

    // The reply window of a read of `registers` at these settings, in ms.
    static int replyWindowMs(const LineSettings &settings, int registers,
                             int marginMs = DefaultMarginMs);
    // The longest a scan of first..last takes with nothing on the line:
    // every address's window, and the listening after the last one.
    static qint64 expectedScanMs(const LineSettings &settings, int first, int last,
                                 int marginMs = DefaultMarginMs);

    void setMarginMs(int ms) { m_marginMs = qBound(0, ms, MaximumMarginMs); }
    int marginMs() const { return m_marginMs; }

    // Starts a scan of first..last on the open line.
    void start(int first, int last);
    // Stops at once: the request in flight is abandoned.
    void cancel();
    bool running() const { return m_running; }
    int current() const { return m_address; }
    const QList<FoundController> &found() const { return m_found; }

    // The line's events, from the window's trigger handler.
    void take(int msg, int triggerHandle, int data);

signals:
    void progress(int address);
    void finished();

private:
    // Identify: each address of the range in turn. Confirm: an address
    // that gave a garbled or late reply, asked once more with a long
    // window. Tail: listening after the last address for a late reply.
    // Firmware: the version of each controller found.
    enum class Phase { Identify, Confirm, Tail, Firmware };
    void ask();
    void replied();
    void windowEnded();
    void next();
    void finish();
    // Asks `address` once more, alone; afterwards the scan goes on with the
    // same address again (`again`) or with the next one.
    void confirm(int address, bool again);
    void confirmed(const FoundController &c);
    // A late identification of one of the last silent addresses: that
    // address, or 0.
    int lateAddress() const;

    Line &m_line;
    LineSettingsSource m_settings;
    ReplyCollector m_collector;
    QTimer m_window;
    QByteArray m_request;
    QList<FoundController> m_found;
    Phase m_phase = Phase::Identify;
    int m_marginMs = DefaultMarginMs;
    int m_first = 1;
    int m_last = 247;
    int m_address = 0;
    int m_confirmAddress = 0;
    bool m_askAgain = false; // after the confirm, the address in hand again
    int m_firmwareIndex = 0;
    bool m_running = false;
    bool m_extended = false; // the window was lengthened for a reply coming in
    // The last addresses whose windows ended in silence, with their
    // requests: a reply that comes after its window is still taken for its
    // own address.
    static constexpr int LateReplyAddresses = 3;
    QList<QPair<int, QByteArray>> m_silent;
};
