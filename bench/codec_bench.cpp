// Building, converting and checking a read of eight registers: the work done
// for every poll of a controller.
#include "link/framing.h"
#include "link/replies.h"

#include <benchmark/benchmark.h>

static const Framing &framingOf(const benchmark::State &state)
{
    return Framing::of(state.range(0) ? ModbusMode::Rtu : ModbusMode::Ascii);
}

// A controller's reply to a read of eight registers, in the framing.
static QByteArray readReply(const Framing &framing)
{
    ModbusRequest reply {1, 0x03, QByteArray(1, char(16))};
    for (int i = 0; i < 8; ++i)
        reply.data += QByteArray::fromRawData("\x47", 1) + char(i * 17);
    return framing.wrap(reply);
}

static void BuildRead8(benchmark::State &state)
{
    const Framing &framing = framingOf(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(framing.wrap(ReadRequest(1, 0x4713, 8)));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildRead8)->Arg(0)->Arg(1);

static void CheckRead8(benchmark::State &state)
{
    const Framing &framing = framingOf(state);
    const QByteArray request = framing.wrap(ReadRequest(1, 0x4713, 8));
    const QByteArray reply = readReply(framing);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeReply(framing, reply, request, 1));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CheckRead8)->Arg(0)->Arg(1);

// The whole exchange's codec work: build, then check.
static void ExchangeRead8(benchmark::State &state)
{
    const Framing &framing = framingOf(state);
    const QByteArray reply = readReply(framing);
    for (auto _ : state) {
        const QByteArray request = framing.wrap(ReadRequest(1, 0x4713, 8));
        benchmark::DoNotOptimize(DecodeReply(framing, reply, request, 1));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ExchangeRead8)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
