// How fast the configuration window polls four controllers of duva-sim
// through a Modbus TCP gateway on the loopback address (the simulator's
// gateway mode, its RTU line paced), against the same window polling the
// same controllers through a pseudo-terminal at the same line speed.
//
//     QT_QPA_PLATFORM=offscreen bench_network [--seconds N]
//
// Both runs use the real MonitorForm, shown (offscreen), its slots connected
// through its own widgets, and count the requests its four slots answered
// over the same number of seconds. The line is RTU 8N1 with a turnaround of
// 2 ms; through the gateway each request crosses the simulated line as
// through the terminal, and the gateway answers once the reply has crossed.
#include "benchline.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QSpinBox>

#include <cstdio>
#include <vector>

namespace {

const std::vector<std::pair<int, int>> FourControllers {
    {1, 0x4824}, {2, 0x4848}, {3, 0x4896}, {4, 0x9696}};

struct Rate
{
    int requests = 0;
    int errors = 0;
    double perSecond = 0;
    QString note;
};

// The window polls for `seconds`; its requests per second.
Rate poll(const LineSettingsSource &source, int seconds)
{
    Rate rate;
    MonitorForm form(nullptr, source);
    form.showWindow();
    spin(300); // shown, and a network line connected
    for (const auto &c : FourControllers) {
        const SlotWidgets &s = form.slotWidgets(c.first);
        s.comAddr->setValue(c.first);
        s.runBt->click();
    }
    // Timed from the first answers on, so that connecting is not counted.
    waitFor([&] { return form.engine().state().at(4).RequestCount > 0; }, 5000);
    int first = 0;
    for (const auto &c : FourControllers)
        first += form.engine().state().at(c.first).RequestCount;
    const qint64 start = nowNs();
    spin(seconds * 1000);
    int last = 0;
    for (const auto &c : FourControllers) {
        last += form.engine().state().at(c.first).RequestCount;
        rate.errors += form.engine().state().at(c.first).ErrorCount;
    }
    rate.requests = last - first;
    rate.perSecond = double(rate.requests) / (double(nowNs() - start) / 1e9);
    for (const auto &c : FourControllers)
        form.slotWidgets(c.first).runBt->click();
    spin(200);
    form.endWork();
    return rate;
}

Rate throughTerminal(int baud, int seconds)
{
    PolledLine line(true, baud, true, FourControllers);
    if (!line.ok())
        return {0, 0, 0, "simulator did not start"};
    Rate r = poll(line.source(), seconds);
    line.tap.stop();
    return r;
}

Rate throughGateway(int baud, int seconds)
{
    QStringList args {"--listen", "127.0.0.1:0", "--gateway", "--baud", QString::number(baud),
                      "--parity", "none", "--data", "8", "--stop", "1", "--pace",
                      "--turnaround", QString::number(TurnaroundMs)};
    for (const auto &[address, model] : FourControllers)
        args << "--controller" << QStringLiteral("%1:%2").arg(address).arg(model, 0, 16);
    DeviceProcess sim;
    sim.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(QDir(QCoreApplication::applicationDirPath()).filePath("duva-sim"), args, 5000);
    const QString served = sim.device();
    const int colon = int(served.lastIndexOf(':'));
    if (colon < 0)
        return {0, 0, 0, "simulator did not start"};
    ComSettings settings;
    settings.select(ComSettings::ModBus, 1);
    settings.setLineKind(LineKind::Gateway);
    settings.setNetwork({served.left(colon), quint16(served.mid(colon + 1).toUInt()), 300});
    return poll([&settings] { return settings.lineSettings(); }, seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int seconds = option(app.arguments(), "--seconds", 10);
    std::printf("The configuration window polling four controllers of duva-sim, RTU 8N1 paced, "
                "%d s per run\n\n",
                seconds);
    std::printf("%-7s %-22s %9s %8s %7s %10s\n", "baud", "line", "requests", "req/s", "errors",
                "vs. pty");
    for (const int baud : {9600, 38400}) {
        const Rate pty = throughTerminal(baud, seconds);
        const Rate gateway = throughGateway(baud, seconds);
        std::printf("%-7d %-22s %9d %8.1f %7d %10s %s\n", baud, "pseudo-terminal", pty.requests,
                    pty.perSecond, pty.errors, "", qPrintable(pty.note));
        const double diff = pty.perSecond > 0 ? 100.0 * (gateway.perSecond / pty.perSecond - 1) : 0;
        std::printf("%-7d %-22s %9d %8.1f %7d %+9.1f%% %s\n", baud, "Modbus TCP gateway",
                    gateway.requests, gateway.perSecond, gateway.errors, diff,
                    qPrintable(gateway.note));
    }
    return 0;
}
