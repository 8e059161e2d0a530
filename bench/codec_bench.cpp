// Building, converting and checking a read of eight registers: the work done
// for every poll of a controller.
#include "hexcodec.h"
#include "replies.h"
#include "requests.h"

#include <benchmark/benchmark.h>

static QByteArray readReply(int address, ModbusMode mode)
{
    QByteArray body = ":" + ByteToHex(address) + "0310";
    for (int i = 0; i < 8; ++i)
        body += ByteToHex(0x47) + ByteToHex(i * 17);
    const QByteArray ascii = FinishAsciiFrame(body);
    return FrameForMode(ascii, mode);
}

static void BuildRead8(benchmark::State &state)
{
    const ModbusMode mode = state.range(0) ? ModbusMode::Rtu : ModbusMode::Ascii;
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildReadRequest(1, 0x4713, 8, mode));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BuildRead8)->Arg(0)->Arg(1);

static void CheckRead8(benchmark::State &state)
{
    const ModbusMode mode = state.range(0) ? ModbusMode::Rtu : ModbusMode::Ascii;
    const QByteArray request = BuildReadRequest(1, 0x4713, 8, mode);
    const QByteArray reply = readReply(1, mode);
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeReply(reply, request, 1, mode));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CheckRead8)->Arg(0)->Arg(1);

// The whole exchange's codec work: build (and convert), then check.
static void ExchangeRead8(benchmark::State &state)
{
    const ModbusMode mode = state.range(0) ? ModbusMode::Rtu : ModbusMode::Ascii;
    const QByteArray reply = readReply(1, mode);
    for (auto _ : state) {
        const QByteArray request = BuildReadRequest(1, 0x4713, 8, mode);
        benchmark::DoNotOptimize(DecodeReply(reply, request, 1, mode));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ExchangeRead8)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
