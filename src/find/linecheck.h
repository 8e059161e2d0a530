#pragma once

#include "link/line.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// What a line check found, in plain words.
struct LineFinding
{
    // "silent", "garbled", "echo", "bad-checksums" or "collision".
    QString kind;
    QString text;
};

// A controller that answered the line check.
struct CheckedController
{
    int address = 0;
    int turnaroundMs = 0; // from the end of the request to the reply's first byte
};

struct LineCheckResult
{
    QList<LineFinding> findings;
    QList<CheckedController> controllers;
    int latencyMs = -1; // the adapter's, measured on its echo; -1: not measurable
    QString recommended; // the settings the check recommends, as text
    // No problem found: every finding is one the program handles by itself.
    bool clean() const;
    bool has(const QString &kind) const;
};

// The line check: it listens to the line for a moment, then asks each
// address of a range for its identification (three times where a
// controller answers) and looks at every byte that comes back as it came:
// the request's echo, the adapter's latency, each controller's turnaround,
// frames with bad checksums, bytes that never form a frame, colliding
// replies. Only reads; nothing is written. The line must be open.
class LineCheck : public QObject
{
    Q_OBJECT
public:
    static constexpr int ListenMs = 500;
    static constexpr int Attempts = 3;
    // Beyond the wire time: what a slow controller behind an adapter needs.
    static constexpr int MarginMs = 250;

    LineCheck(Line &line, LineSettingsSource settings, QObject *parent = nullptr);

    void start(int first, int last);
    void cancel();
    bool running() const { return m_running; }
    const LineCheckResult &result() const { return m_result; }

    // The line's events, from the window's trigger handler.
    void take(int msg, int triggerHandle, int data);

signals:
    void progress(int address);
    void finished();

private:
    struct Exchange
    {
        int address = 0;
        QByteArray request;
        qint64 sentMs = 0;
        QByteArray bytes; // everything that came back
        QList<qint64> arrivals; // the time each byte was read
    };
    enum class Outcome { Silent, Good, BadChecksum, Garbled };

    void ask();
    void windowEnded();
    Outcome judge(const Exchange &x, int *turnaroundMs, qint64 *echoMs) const;
    void finish();

    Line &m_line;
    LineSettingsSource m_settings;
    QTimer m_window;
    bool m_running = false;
    bool m_listening = false;
    int m_first = 1;
    int m_last = 1;
    int m_address = 0;
    int m_attempt = 0;
    QByteArray m_unasked; // bytes that came while nobody was asked
    Exchange m_current;
    QList<Exchange> m_done;
    LineCheckResult m_result;
};
