// The monitor's PV trend chart at S = 1024 with a full history of 900
// samples, one tick of its one-second timer each (four slots stored, then
// the selected slot drawn): a full redraw (the chart switched on, another
// slot selected, a sample leaving the scale), and a full chart scrolled one
// pixel with the new sample drawn (every 60th tick a minute mark with its
// value).
#include "monitor/pvtrend.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

const std::array<bool, SlotCount + 1> AllActive {false, true, true, true, true};

// A slow wave per slot, in tenths; its span (160) keeps every sample inside
// the scale and the chart from being rescaled when the ring wraps.
std::array<int, SlotCount + 1> pvAt(qint64 tick)
{
    std::array<int, SlotCount + 1> pv {};
    for (int n = 1; n <= SlotCount; ++n)
        pv[size_t(n)] = int(250 + 100 * n + 80 * std::sin(double(tick) / (40.0 + 7 * n)));
    return pv;
}

// Two laps of the ring, slot 1 shown from the start.
qint64 fill(PvTrend &trend)
{
    qint64 tick = 0;
    for (; tick < 2 * PvTrend::Samples + 17; ++tick)
        trend.sample(AllActive, pvAt(tick), 1, true);
    return tick;
}

void FullRedraw(benchmark::State &state)
{
    PvTrend trend(1024);
    qint64 tick = fill(trend);
    for (auto _ : state) {
        // DrawBt: the next tick draws the chart afresh.
        trend.show();
        trend.sample(AllActive, pvAt(tick++), 1, true);
        benchmark::DoNotOptimize(trend.image().constBits());
    }
    state.counters["samples"] = PvTrend::Samples;
}
BENCHMARK(FullRedraw)->Unit(benchmark::kMicrosecond);

void Tick(benchmark::State &state)
{
    PvTrend trend(1024);
    qint64 tick = fill(trend);
    const int centre = trend.chartCentre();
    for (auto _ : state) {
        trend.sample(AllActive, pvAt(tick++), 1, true);
        benchmark::DoNotOptimize(trend.image().constBits());
    }
    // 1 when no tick rescaled the chart (a full redraw).
    state.counters["same_scale"] = trend.chartCentre() == centre ? 1 : 0;
}
BENCHMARK(Tick)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
