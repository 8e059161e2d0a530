// The recorder's trend chart at S = 1024 (W = 900) with all ten devices
// shown: a full redraw (a scale change, a panel click, a background colour),
// one column (every scan), and the memory of a 24-hour recording at one scan
// a second.
#include "recorder/trendchart.h"

#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QTime>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>

using namespace Recorder;

namespace {

// A slow wave per device, apart from the others, in tenths.
qint32 sampleOf(int device, qint64 index)
{
    return qint32(200 + 100 * device + 80 * std::sin(double(index) / (40.0 + 7 * device)));
}

QString timeStamp(qint64 index)
{
    static const QLocale us(QLocale::English, QLocale::UnitedStates);
    return us.toString(QTime(0, 0).addSecs(int(index % 86400)), QStringLiteral("h:mm:ss AP"));
}

void showAll(Data &data)
{
    for (int d = 0; d < DeviceCount; ++d) {
        data.device[size_t(d)].address = d + 1;
        data.device[size_t(d)].shown = true;
    }
}

// One completed scan: the ten samples stored, then the chart updated.
void scan(Data &data, TrendChart &chart, qint64 index)
{
    for (int d = 0; d < DeviceCount; ++d)
        data.store(d, index, sampleOf(d, index));
    chart.updateAfterScan(index, timeStamp(index));
}

// A chart that has scrolled: samples 0 .. 3W + 17 recorded.
qint64 fill(Data &data, TrendChart &chart)
{
    showAll(data);
    chart.setActive(true);
    const qint64 newest = 3 * qint64(chart.width()) + 17;
    for (qint64 i = 0; i <= newest; ++i)
        scan(data, chart, i);
    return newest;
}

void FullRedraw(benchmark::State &state)
{
    Data data;
    TrendChart chart(data, 1024);
    const qint64 newest = fill(data, chart);
    for (auto _ : state) {
        chart.fullRedraw(newest);
        benchmark::DoNotOptimize(chart.image().constBits());
    }
    state.counters["columns"] = chart.width();
}
BENCHMARK(FullRedraw)->Unit(benchmark::kMicrosecond);

// A scan of a full chart: scroll, ten lines of width 2, and every 60th a
// minute mark with eleven texts.
void AddColumn(benchmark::State &state)
{
    Data data;
    TrendChart chart(data, 1024);
    qint64 index = fill(data, chart);
    for (auto _ : state) {
        ++index;
        for (int d = 0; d < DeviceCount; ++d)
            data.store(d, index, sampleOf(d, index));
        chart.addColumn(index);
        benchmark::DoNotOptimize(chart.image().constBits());
    }
}
BENCHMARK(AddColumn)->Unit(benchmark::kMicrosecond);

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// 86,400 scans, each stored and drawn as the acquisition does it.
void Recording24Hours()
{
    Data data;
    TrendChart chart(data, 1024);
    showAll(data);
    chart.setActive(true);
    constexpr qint64 Scans = 86400;
    // The first hour fills the ring and the image; memory is counted after.
    qint64 i = 0;
    for (; i < 3600; ++i)
        scan(data, chart, i);
    const qint64 before = residentKiB();
    std::printf("24-hour recording, 1 s scans, 10 devices, W %d\n", chart.width());
    std::printf("  after %6lld scans: VmRSS %lld kB\n", static_cast<long long>(i),
                static_cast<long long>(before));
    const auto start = std::chrono::steady_clock::now();
    for (; i < Scans; ++i) {
        scan(data, chart, i);
        if ((i + 1) % 21600 == 0)
            std::printf("  after %6lld scans: VmRSS %lld kB\n", static_cast<long long>(i + 1),
                        static_cast<long long>(residentKiB()));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("  growth %lld kB; %.1f us per scan (store ten samples and update)\n",
                static_cast<long long>(residentKiB() - before),
                seconds * 1e6 / double(Scans - 3600));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Recording24Hours();
    return 0;
}
