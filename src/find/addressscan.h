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
    // The turnaround a controller is given, on top of the frames' wire time.
    static constexpr int TurnaroundMs = 30;
    static constexpr int MinimumWindowMs = 30;
    static constexpr int FirmwareWindowMs = 250;

    AddressScan(Line &line, LineSettingsSource settings, QObject *parent = nullptr);

    // The reply window of a read of `registers` at these settings, in ms.
    static int replyWindowMs(const LineSettings &settings, int registers);

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
    enum class Phase { Identify, Firmware };
    void ask();
    void replied();
    void windowEnded();
    void next();
    void finish();

    Line &m_line;
    LineSettingsSource m_settings;
    ReplyCollector m_collector;
    QTimer m_window;
    QByteArray m_request;
    QList<FoundController> m_found;
    Phase m_phase = Phase::Identify;
    int m_first = 1;
    int m_last = 247;
    int m_address = 0;
    int m_firmwareIndex = 0;
    bool m_running = false;
    bool m_extended = false; // the window was lengthened for a reply coming in
    // The last addresses whose windows ended in silence, with their
    // requests: a reply that comes after its window is still taken for its
    // own address.
    static constexpr int LateReplyAddresses = 3;
    QList<QPair<int, QByteArray>> m_silent;
};
