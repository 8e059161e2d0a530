// Polling through a two-wire USB adapter that echoes every request and hands
// bytes over when its 16 ms latency timer runs out: the program's reply
// collector on its channel (echo removed, replies assembled by length)
// beside a tight master on a bare port that knows the echo's and the
// reply's lengths and sends the next request the moment a reply is whole.
// Same adapter model, same frames, same run; the program's exchanges per
// second as a share of the tight master's. Usage: bench_echo [--seconds N]
#include "link/comports.h"
#include "link/framing.h"
#include "link/replycollector.h"
#include "link/serialchannel.h"
#include "sim/simline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <cstdio>

namespace {

constexpr int Controllers = 4;
constexpr int LatencyMs = 16;

QByteArray request(int address)
{
    return Framing::of(ModbusMode::Rtu).wrap(ReadRequest(address, 0x4700, 1));
}

// Lets the last exchange of the master before end on the line.
void settle()
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

// Exchanges per second of the program's collector.
double programRate(const QString &device, int seconds)
{
    SerialChannel channel;
    LineSettings s;
    s.framing = ModbusMode::Rtu;
    s.baud = 38400;
    s.parity = LineParity::None;
    s.dataBits = 8;
    ReplyCollector collector(channel, ReplyCollector::Timing::FromLastByte);
    const Framing &rtu = Framing::of(ModbusMode::Rtu);
    int address = 1;
    int good = 0;
    int timedOut = 0;
    auto next = [&] {
        address = address % Controllers + 1;
        collector.send(request(address), rtu, rtu.replyTicks(0, s.baud));
    };
    channel.setTriggerHandler([&](quint16 msg, quint16 h, quint16 data) {
        const ReplyCollector::Event e = collector.take(msg, h, data);
        if (e == ReplyCollector::Event::Reply && rtu.unwrap(collector.received()).checksumOk)
            ++good;
        if (e == ReplyCollector::Event::TimedOut)
            ++timedOut;
        if (e == ReplyCollector::Event::Reply || e == ReplyCollector::Event::TimedOut)
            next();
    });
    s.comNumber = 1;
    setComPortDevice(1, device);
    channel.openWith(s);
    collector.attach();
    settle();
    channel.discardInput(); // what the last master left on the line
    QElapsedTimer t;
    t.start();
    next();
    while (t.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    collector.cancel();
    channel.close();
    if (timedOut > 0)
        std::printf("program: %d time-outs\n", timedOut);
    return good * 1000.0 / double(t.elapsed());
}

// Exchanges per second of a master that needs no window at all.
double tightRate(const QString &device, int seconds)
{
    QSerialPort port(device);
    port.setBaudRate(38400);
    if (!port.open(QIODevice::ReadWrite))
        return 0;
    settle();
    port.clear(); // what the last master left on the line
    int address = 1;
    int good = 0;
    QByteArray asked = request(address);
    QByteArray in;
    // The echo, then 01 03 02 hi lo CRC.
    const int whole = int(asked.size()) + 7;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        in += port.readAll();
        if (in.size() < whole)
            return;
        if (Framing::of(ModbusMode::Rtu).unwrap(in.mid(asked.size(), 7)).checksumOk)
            ++good;
        in.clear();
        address = address % Controllers + 1;
        asked = request(address);
        port.write(asked);
    });
    QElapsedTimer t;
    t.start();
    port.write(asked);
    while (t.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    port.close();
    return good * 1000.0 / double(t.elapsed());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 5;
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--seconds"));
    if (at >= 0 && at + 1 < args.size())
        seconds = qMax(1, args.at(at + 1).toInt());

    SimLineSettings line;
    line.mode = ModbusMode::Rtu;
    line.baud = 38400;
    line.parity = Parity::None;
    line.dataBits = 8;
    SimLine sim(line);
    for (int a = 1; a <= Controllers; ++a)
        sim.addController(a, 0x4848);
    sim.setPacing(true, 2);
    sim.setWire({true, LatencyMs, 62, false, 0});
    QString error;
    if (!sim.open(&error)) {
        std::fprintf(stderr, "bench_echo: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("Polling %d controllers, RTU 38400 8N1, through an echoing adapter with a %d ms "
                "latency timer (simulator paced, turnaround 2 ms), %d s each.\n",
                Controllers, LatencyMs, seconds);
    // Each twice, interleaved, so that neither has the line's better moments.
    double tight = 0;
    double program = 0;
    for (int round = 0; round < 2; ++round) {
        program += programRate(sim.ptyPath(), seconds) / 2;
        tight += tightRate(sim.ptyPath(), seconds) / 2;
    }
    std::printf("tight master:   %7.1f exchanges/s\n", tight);
    std::printf("program:        %7.1f exchanges/s\n", program);
    std::printf("share:          %7.1f %%  (at least 95 %% wanted)\n",
                tight > 0 ? 100.0 * program / tight : 0.0);
    return 0;
}
