#pragma once

// The line of the benchmarks that run a master against duva-sim: the
// simulator as a child process, a tap that relays and timestamps every byte
// between the two, the request/reply pairs the tap saw, and what the line
// allows for them.
//
// With --pace the simulator lets each character take 10 bit times (8N1) and
// starts its reply the turnaround after the request has crossed, so a master
// that answered in no time would need (request bytes + reply bytes) x
// character time + turnaround per transaction: its wire time.
#include "app/comsettings.h"
#include "deviceprocess.h"
#include "link/line.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <thread>
#include <utility>
#include <vector>

constexpr int TurnaroundMs = 2; // the simulator's, given on its command line
constexpr int BitsPerCharacter = 10; // 8N1

// The steady clock, in nanoseconds; the tap's timestamps are on it.
qint64 nowNs();

// The middle value (the upper one of an even count); v must not be empty.
qint64 median(std::vector<qint64> v);
double median(std::vector<double> v);

// Runs the event loop for `ms`.
void spin(int ms);

// Runs the event loop until `done` holds; false when `ms` passed first.
bool waitFor(const std::function<bool()> &done, int ms);

// Waits `ms` on a precise timer: a coarse one may be taken up by the wake-up
// for the line's next bytes, and a key or a click would fall on a reply's arrival
// more often than a user's does.
void pause(int ms);

// The value given after `name` on the command line, at least 1; `fallback`
// when it is not given.
int option(const QStringList &args, const char *name, int fallback);

// The index of `baud` in the settings' baud-rate group; -1 for none.
int baudIndex(int baud);

// A character's time on the line, in seconds.
double characterSeconds(int baud);

// The tap between a master and the simulator: a pseudo-terminal of its own
// that the master opens, relayed byte for byte to the simulator's pseudo-
// terminal by a thread that only copies and timestamps. The simulator reads
// the master's bit rate off its own pseudo-terminal and hears a master at
// another rate as noise, so the rate the master set on the tap's goes over
// to the simulator's before the master's bytes do.
class LineTap
{
public:
    enum Direction { ToSimulator, ToMaster };
    // One read of the relay: when it arrived and its bytes, which are at
    // `offset` in data().
    struct Chunk
    {
        Direction direction;
        qint64 ns;
        int bytes;
        size_t offset;
    };

    LineTap() = default;
    LineTap(const LineTap &) = delete;
    LineTap &operator=(const LineTap &) = delete;
    ~LineTap();

    // Opens the tap's own pseudo-terminal and the simulator's device and
    // starts relaying.
    bool open(const QString &simulatorDevice);

    // What the master opens.
    QString device() const { return m_device; }

    void stop();

    // After stop().
    const std::vector<Chunk> &chunks() const { return m_chunks; }
    const std::vector<char> &data() const { return m_data; }

private:
    void relay();
    void carryBaud();
    static void writeAll(int fd, const char *data, size_t size);

    int m_master = -1;
    int m_masterSlave = -1; // held open: the master side never sees a hang-up
    int m_simulator = -1;
    int m_wake[2] = {-1, -1};
    unsigned m_carriedSpeed = 0; // the speed constant set on the simulator's side
    QString m_device;
    std::thread m_thread;
    std::vector<Chunk> m_chunks;
    std::vector<char> m_data; // every byte relayed, both directions in turn
};

// One request and the reply that followed it, as the tap saw them.
struct Transaction
{
    qint64 requestStart = 0; // the request's first byte
    qint64 replyEnd = 0; // the reply's last byte
    int requestBytes = 0;
    int replyBytes = 0;
    QByteArray request; // the request's bytes as the master sent them
};

// The transactions of a tap's record: a request runs until the master sends
// again after a reply; a request nothing answered joins the next one. A
// request still unanswered at the end is left out.
std::vector<Transaction> transactionsOf(const LineTap &tap);

// Every request of a tap's record on its own, with the reply that followed
// it: a request ends at its reply or, when nothing answered it, where the
// master paused longer than `quietNs` before sending again. For a master
// that gives up on a silent address and goes on to the next; a request
// nothing answered has no reply bytes.
std::vector<Transaction> requestsOf(const LineTap &tap, qint64 quietNs);

// The line's time for a transaction: its bytes at the baud rate and the
// simulator's turnaround.
double wireSeconds(const Transaction &t, int baud);

// The address, function, register and word of a request (the count of a
// read, the value of a write); -1 for what does not decode.
struct RequestHead
{
    int address = -1;
    int function = -1;
    int reg = -1;
    int word = -1;
};
RequestHead headOf(const QByteArray &request, bool rtu);

// One figure's samples, in nanoseconds, and as ratios to a yardstick (the
// wire time, mostly) when the figure has them.
struct Samples
{
    std::vector<qint64> ns;
    std::vector<double> ratio;
};

// The heading of the rows below: median and worst in ms, and as multiples
// of `yardstick`.
void printSamplesHeading(const char *yardstick);
// A row: median and worst in ms with `decimals` places, and as multiples
// when the figure has them; nothing when there are no samples.
void printSamples(const char *name, const Samples &s, int decimals = 1);

// duva-sim as a child process, 8N1, with the given controllers as (address,
// model code) pairs; paced at the baud rate when asked.
class Simulator
{
public:
    Simulator(bool rtu, int baud, bool paced, const std::vector<std::pair<int, int>> &controllers);
    QString device() const { return m_sim.device(); }
    // A line of the simulator's commands (set, get, fault, ...), and its
    // answer; empty when none came.
    QString command(const QString &line);

private:
    QTemporaryDir m_dir;
    DeviceProcess m_sim;
};

// A simulator with the given controllers behind a tap, the tap linked as
// COM1 in a fresh working directory, and the program's settings for that line.
class PolledLine
{
public:
    PolledLine(bool rtu, int baud, bool paced, const std::vector<std::pair<int, int>> &controllers);
    ~PolledLine();
    PolledLine(const PolledLine &) = delete;
    PolledLine &operator=(const PolledLine &) = delete;

    bool ok() const { return m_ok; }
    QString command(const QString &line) { return m_sim.command(line); }
    LineSettingsSource source()
    {
        return [this] { return settings.lineSettings(); };
    }

    ComSettings settings;
    LineTap tap;

private:
    Simulator m_sim;
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_ok = false;
};
