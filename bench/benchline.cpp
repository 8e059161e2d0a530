#include "benchline.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 median(std::vector<qint64> v)
{
    std::nth_element(v.begin(), v.begin() + qsizetype(v.size() / 2), v.end());
    return v[v.size() / 2];
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + qsizetype(v.size() / 2), v.end());
    return v[v.size() / 2];
}

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        spin(5);
    }
    return true;
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int option(const QStringList &args, const char *name, int fallback)
{
    const qsizetype at = args.indexOf(QLatin1String(name));
    if (at > 0 && at + 1 < args.size())
        return std::max(1, args.at(at + 1).toInt());
    return fallback;
}

int baudIndex(int baud)
{
    for (int i = 0; i < int(std::size(BaudRates)); ++i)
        if (BaudRates[i] == baud)
            return i;
    return -1;
}

double characterSeconds(int baud)
{
    return double(BitsPerCharacter) / baud;
}

LineTap::~LineTap()
{
    stop();
    for (int fd : {m_master, m_masterSlave, m_simulator, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

bool LineTap::open(const QString &simulatorDevice)
{
    termios raw {};
    cfmakeraw(&raw);
    cfsetspeed(&raw, B38400);
    char name[256] = {};
    if (::openpty(&m_master, &m_masterSlave, name, &raw, nullptr) != 0)
        return false;
    m_device = QString::fromLocal8Bit(name);
    m_simulator = ::open(simulatorDevice.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (m_simulator < 0 || ::tcsetattr(m_simulator, TCSANOW, &raw) != 0 || ::pipe(m_wake) != 0)
        return false;
    m_carriedSpeed = B38400;
    for (int fd : {m_master, m_simulator})
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_chunks.reserve(1 << 16);
    m_data.reserve(1 << 20);
    m_thread = std::thread([this] { relay(); });
    return true;
}

void LineTap::stop()
{
    if (!m_thread.joinable())
        return;
    const char c = 0;
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
    m_thread.join();
}

void LineTap::relay()
{
    pollfd fds[3] = {{m_master, POLLIN, 0}, {m_simulator, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
    char buffer[4096];
    for (;;) {
        if (::poll(fds, 3, -1) < 0 && errno != EINTR)
            return;
        if (fds[2].revents)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0)
                continue;
            const qint64 t = nowNs();
            if (i == 0)
                carryBaud();
            writeAll(i == 0 ? m_simulator : m_master, buffer, size_t(n));
            // Kept after the bytes have gone on: the record costs the line nothing.
            m_chunks.push_back({i == 0 ? ToSimulator : ToMaster, t, int(n), m_data.size()});
            m_data.insert(m_data.end(), buffer, buffer + n);
        }
    }
}

void LineTap::carryBaud()
{
    termios master {};
    if (::tcgetattr(m_masterSlave, &master) != 0)
        return;
    const speed_t speed = ::cfgetospeed(&master);
    if (speed == m_carriedSpeed)
        return;
    termios simulator {};
    if (::tcgetattr(m_simulator, &simulator) != 0)
        return;
    ::cfsetspeed(&simulator, speed);
    if (::tcsetattr(m_simulator, TCSANOW, &simulator) == 0)
        m_carriedSpeed = speed;
}

void LineTap::writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= size_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p {fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

std::vector<Transaction> transactionsOf(const LineTap &tap)
{
    std::vector<Transaction> done;
    Transaction current;
    bool open = false;
    for (const LineTap::Chunk &c : tap.chunks()) {
        if (c.direction == LineTap::ToSimulator) {
            if (!open || current.replyBytes > 0) {
                if (open)
                    done.push_back(current);
                current = Transaction {c.ns, 0, 0, 0, {}};
                open = true;
            }
            current.requestBytes += c.bytes;
            current.request.append(tap.data().data() + c.offset, c.bytes);
        } else if (open) {
            current.replyBytes += c.bytes;
            current.replyEnd = c.ns;
        }
    }
    if (open && current.replyBytes > 0)
        done.push_back(current);
    return done;
}

std::vector<Transaction> requestsOf(const LineTap &tap, qint64 quietNs)
{
    std::vector<Transaction> done;
    Transaction current;
    bool open = false;
    qint64 lastSent = 0;
    for (const LineTap::Chunk &c : tap.chunks()) {
        if (c.direction == LineTap::ToSimulator) {
            if (!open || current.replyBytes > 0 || c.ns - lastSent > quietNs) {
                if (open)
                    done.push_back(current);
                current = Transaction {c.ns, 0, 0, 0, {}};
                open = true;
            }
            lastSent = c.ns;
            current.requestBytes += c.bytes;
            current.request.append(tap.data().data() + c.offset, c.bytes);
        } else if (open) {
            current.replyBytes += c.bytes;
            current.replyEnd = c.ns;
        }
    }
    if (open)
        done.push_back(current);
    return done;
}

double wireSeconds(const Transaction &t, int baud)
{
    return (t.requestBytes + t.replyBytes) * characterSeconds(baud) + TurnaroundMs / 1000.0;
}

RequestHead headOf(const QByteArray &request, bool rtu)
{
    // Address, function and two words, raw in RTU, in hex after the colon
    // in ASCII.
    const QByteArray pdu = rtu ? request.left(6) : QByteArray::fromHex(request.mid(1, 12));
    if (pdu.size() < 6)
        return {};
    const auto byte = [&pdu](int i) { return int(quint8(pdu.at(i))); };
    return {byte(0), byte(1), byte(2) << 8 | byte(3), byte(4) << 8 | byte(5)};
}

void printSamplesHeading(const char *yardstick)
{
    std::printf("  %-40s %19s %19s\n  %-40s %9s %9s %9s %9s\n", "", "ms", yardstick, "", "median",
                "worst", "median", "worst");
}

void printSamples(const char *name, const Samples &s, int decimals)
{
    if (s.ns.empty())
        return;
    std::printf("  %-40s %9.*f %9.*f", name, decimals, double(median(s.ns)) / 1e6, decimals,
                double(*std::max_element(s.ns.begin(), s.ns.end())) / 1e6);
    if (!s.ratio.empty())
        std::printf(" %8.2fx %8.2fx", median(s.ratio),
                    *std::max_element(s.ratio.begin(), s.ratio.end()));
    std::printf("\n");
}

Simulator::Simulator(bool rtu, int baud, bool paced,
                     const std::vector<std::pair<int, int>> &controllers)
{
    QStringList args {"--link",
                      m_dir.filePath("sim"),
                      rtu ? "--rtu" : "--ascii",
                      "--baud",
                      QString::number(baud),
                      "--parity",
                      "none",
                      "--data",
                      "8",
                      "--stop",
                      "1"};
    for (const auto &[address, model] : controllers)
        args << "--controller" << QStringLiteral("%1:%2").arg(address).arg(model, 0, 16);
    if (paced)
        args << "--pace"
             << "--turnaround" << QString::number(TurnaroundMs);
    m_sim.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim.start(QDir(QCoreApplication::applicationDirPath()).filePath("duva-sim"), args, 5000);
}

QString Simulator::command(const QString &line)
{
    QProcess &p = m_sim.process();
    if (p.state() != QProcess::Running)
        return {};
    p.write((line + QLatin1Char('\n')).toUtf8());
    p.waitForBytesWritten(1000);
    const QDeadlineTimer deadline(5000);
    while (!p.canReadLine() && !deadline.hasExpired() &&
           p.waitForReadyRead(int(deadline.remainingTime()))) { }
    return QString::fromUtf8(p.readLine()).trimmed();
}

PolledLine::PolledLine(bool rtu, int baud, bool paced,
                       const std::vector<std::pair<int, int>> &controllers)
    : m_sim(rtu, baud, paced, controllers)
{
    settings.select(ComSettings::ComPort, 0);
    settings.select(ComSettings::ComBaudRate, baudIndex(baud));
    settings.select(ComSettings::ComParity, 0);
    settings.select(ComSettings::ComStopBit, 0);
    settings.select(ComSettings::ModBus, rtu ? 1 : 0);
    settings.select(ComSettings::ComBitLen, 1);
    if (!m_sim.device().startsWith("/dev/") || !tap.open(m_sim.device()))
        return;
    m_previous = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    m_ok = QFile::link(tap.device(), m_dir.filePath("COM1"));
}

PolledLine::~PolledLine()
{
    if (!m_previous.isEmpty())
        QDir::setCurrent(m_previous);
}
