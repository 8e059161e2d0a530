// Round trips of a request-sized frame through SerialChannel against an
// echoing pseudo-terminal, beside the same loop on a bare QSerialPort, in the
// same run. Counters: round trips per second, the median round trip in
// microseconds, and for the channel its rate as a share of the bare port's.
#include "link/serialchannel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The far end: a pty whose master side a thread echoes back byte for byte.
class EchoPeer
{
public:
    EchoPeer()
    {
        termios raw {};
        cfmakeraw(&raw);
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0)
            return;
        m_device = QString::fromLocal8Bit(name);
        m_stop = ::eventfd(0, 0);
        m_thread = std::thread([this] { echo(); });
    }
    ~EchoPeer()
    {
        if (m_thread.joinable()) {
            const quint64 one = 1;
            [[maybe_unused]] ssize_t n = ::write(m_stop, &one, sizeof one);
            m_thread.join();
        }
        for (int fd : {m_master, m_slave, m_stop})
            if (fd >= 0)
                ::close(fd);
    }
    QString device() const { return m_device; }

private:
    void echo()
    {
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stop, POLLIN, 0}};
        char buffer[4096];
        for (;;) {
            if (::poll(fds, 2, -1) < 0)
                continue;
            if (fds[1].revents)
                return;
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                return;
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(m_master, buffer + done, size_t(n - done));
                if (w <= 0)
                    return;
                done += w;
            }
        }
    }

    int m_master = -1;
    int m_slave = -1;
    int m_stop = -1;
    QString m_device;
    std::thread m_thread;
};

// A read request of eight registers in ASCII: what a window sends most.
const QByteArray frame = QByteArrayLiteral(":010347130008A4\r\n");

void waitUntil(const qsizetype &got, qsizetype count)
{
    while (got < count)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// One way of making a round trip, and the times it took.
struct Loop
{
    std::function<void()> send;
    qsizetype got = 0;
    std::vector<qint64> ns;

    void roundTrip()
    {
        QElapsedTimer one;
        one.start();
        got = 0;
        send();
        waitUntil(got, frame.size());
        ns.push_back(one.nsecsElapsed());
    }
    double perSecond() const
    {
        qint64 total = 0;
        for (qint64 t : ns)
            total += t;
        return total ? double(ns.size()) * 1e9 / double(total) : 0;
    }
    double medianUs()
    {
        if (ns.empty())
            return 0;
        std::nth_element(ns.begin(), ns.begin() + ns.size() / 2, ns.end());
        return double(ns[ns.size() / 2]) / 1000.0;
    }
};

// A channel on its own echoing pty, reached as COM1 through a link in a
// temporary directory.
struct ChannelSetup
{
    EchoPeer peer;
    QTemporaryDir dir;
    SerialChannel channel;
    QString failure;

    ChannelSetup()
    {
        const QString oldDir = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QFile::link(peer.device(), QStringLiteral("COM1"));
        channel.setComNumber(1);
        channel.setParity(TParity::pNone);
        channel.setDataBits(8);
        try {
            channel.setOpen(true);
        } catch (const ChannelError &e) {
            failure = e.text();
        }
        QDir::setCurrent(oldDir);
    }
};

// Each iteration makes one round trip on each way in turn, so that the
// load of the machine weighs on all of them alike:
// - bare: a QSerialPort whose readyRead takes the bytes;
// - channel: SerialChannel with a handler that reads the announced bytes;
// - channel_timer: the same handler re-arming a reply timer on every data
//   event and disarming it at the end of the reply, as the windows do.
void RoundTrip(benchmark::State &state)
{
    EchoPeer barePeer;
    QSerialPort port;
    port.setPortName(barePeer.device());
    if (!port.open(QIODevice::ReadWrite)) {
        state.SkipWithError("cannot open the pty");
        return;
    }
    Loop bare;
    bare.send = [&] { port.write(frame); };
    QObject::connect(&port, &QSerialPort::readyRead, [&] { bare.got += port.readAll().size(); });

    ChannelSetup plain;
    ChannelSetup timed;
    if (!plain.failure.isEmpty() || !timed.failure.isEmpty()) {
        state.SkipWithError("cannot open the channel");
        return;
    }
    Loop channel;
    channel.send = [&] { plain.channel.SendText(frame); };
    plain.channel.OnTrigger = [&](SerialChannel &cp, quint16 msg, quint16, quint16 data) {
        if (msg != SerialChannel::DataAvailable)
            return;
        for (int i = 0; i < data; ++i)
            cp.ReadByte();
        channel.got += data;
    };
    Loop channelTimer;
    channelTimer.send = [&] { timed.channel.SendText(frame); };
    const quint16 replyTimer = timed.channel.AddTimer();
    timed.channel.OnTrigger = [&](SerialChannel &cp, quint16 msg, quint16, quint16 data) {
        if (msg != SerialChannel::DataAvailable)
            return;
        cp.ArmTimer(replyTimer, 36, true);
        for (int i = 0; i < data; ++i)
            cp.ReadByte();
        channelTimer.got += data;
        if (channelTimer.got >= frame.size())
            cp.ArmTimer(replyTimer, 0, false);
    };

    for (auto _ : state) {
        bare.roundTrip();
        channel.roundTrip();
        channelTimer.roundTrip();
    }
    const double bareRate = bare.perSecond();
    state.counters["bare_rt_per_s"] = bareRate;
    state.counters["bare_median_us"] = bare.medianUs();
    state.counters["channel_rt_per_s"] = channel.perSecond();
    state.counters["channel_median_us"] = channel.medianUs();
    state.counters["channel_ratio"] = bareRate ? channel.perSecond() / bareRate : 0;
    state.counters["timer_rt_per_s"] = channelTimer.perSecond();
    state.counters["timer_median_us"] = channelTimer.medianUs();
    state.counters["timer_ratio"] = bareRate ? channelTimer.perSecond() / bareRate : 0;
}

} // namespace

BENCHMARK(RoundTrip)->UseRealTime()->MinTime(3.0);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
