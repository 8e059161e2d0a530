// The record file with ten devices: the cost of writing one scan's line
// (unbuffered, with and without forcing it to the disk), opening a 24-hour
// recording at one scan a second (86,400 records) and reading 900 records
// from its middle (a track-bar move), reading it whole with every record's
// time (as the comparison with a program does), and the CSV export rate of
// that file.
// The files go to the system's temporary directory (TMPDIR).
#include "recorder/recordfile.h"

#include <QDir>
#include <QLocale>
#include <QTemporaryDir>
#include <QTime>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace RecordFile;

namespace {

constexpr qint64 DayRecords = 86400;
constexpr qint64 ChartWidth = 900;
const std::array<int, DeviceCount> Addresses {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

qint32 sampleOf(int device, qint64 index)
{
    return qint32(200 + 100 * device + 80 * std::sin(double(index) / (40.0 + 7 * device)));
}

QString timeStamp(qint64 index)
{
    static const QLocale us(QLocale::English, QLocale::UnitedStates);
    return us.toString(QTime(0, 0).addSecs(int(index % 86400)), QStringLiteral("h:mm:ss AP"));
}

QTemporaryDir &tempDir()
{
    static QTemporaryDir dir;
    return dir;
}

void writeScan(Writer &w, qint64 index)
{
    for (int d = 0; d < DeviceCount; ++d)
        w.sample(d, sampleOf(d, index));
    w.endLine(timeStamp(index), QStringLiteral("12/9/2026"));
}

// The 24-hour recording, written once.
const QString &dayFile()
{
    static const QString path = [] {
        const QString p = tempDir().filePath(QStringLiteral("day.txt"));
        Writer w;
        w.setSyncEachLine(false);
        w.open(p, Addresses, 1);
        for (qint64 i = 0; i < DayRecords; ++i)
            writeScan(w, i);
        w.finish();
        return p;
    }();
    return path;
}

void WriteScan(benchmark::State &state)
{
    Writer w;
    w.setSyncEachLine(state.range(0) != 0);
    if (!w.open(tempDir().filePath(QStringLiteral("scan.txt")), Addresses, 1).isEmpty()) {
        state.SkipWithError("cannot create the file");
        return;
    }
    qint64 index = 0;
    for (auto _ : state)
        writeScan(w, index++);
    w.finish();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(WriteScan)->ArgName("sync")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void OpenAndBrowse(benchmark::State &state)
{
    const QString &path = dayFile();
    Record record;
    for (auto _ : state) {
        Reader r;
        if (r.open(path) != Reader::OpenResult::Ok || r.recordCount() != DayRecords) {
            state.SkipWithError("the day file does not open");
            return;
        }
        const qint64 start = DayRecords / 2;
        for (qint64 i = start; i < start + ChartWidth; ++i)
            if (!r.read(i, record)) {
                state.SkipWithError("a record does not read");
                return;
            }
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(OpenAndBrowse)->Unit(benchmark::kMicrosecond);

// The whole day into memory, values and moments. "seek" is the way it was
// read before, a seek and a read per record and the time parsed by the
// format parser; "pass" is readAll() with a MomentCache.
void ReadWhole(benchmark::State &state)
{
    const QString &path = dayFile();
    const bool pass = state.range(0) != 0;
    for (auto _ : state) {
        Reader r;
        if (r.open(path) != Reader::OpenResult::Ok) {
            state.SkipWithError("the day file does not open");
            return;
        }
        QList<QDateTime> moments;
        QList<std::array<qint32, DeviceCount>> values;
        moments.reserve(r.recordCount());
        values.reserve(r.recordCount());
        if (pass) {
            MomentCache cache;
            r.readAll(0, [&](qint64, const Record &record) {
                moments.append(cache.moment(record));
                values.append(record.values);
                return true;
            });
        } else {
            Record record;
            for (qint64 i = 0; i < r.recordCount() && r.read(i, record); ++i) {
                moments.append(QDateTime(
                    QDate::fromString(record.date.trimmed(), QStringLiteral("M/d/yyyy")),
                    QTime::fromString(record.time.trimmed(), QStringLiteral("h:mm:ss AP"))));
                values.append(record.values);
            }
        }
        if (values.size() != DayRecords || !moments.last().isValid()) {
            state.SkipWithError("the day does not read whole");
            return;
        }
        benchmark::DoNotOptimize(values);
    }
    state.SetItemsProcessed(state.iterations() * DayRecords);
}
BENCHMARK(ReadWhole)->ArgName("pass")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void ExportCsv(benchmark::State &state)
{
    const QString &path = dayFile();
    const QString csv = tempDir().filePath(QStringLiteral("day.csv"));
    Reader r;
    if (r.open(path) != Reader::OpenResult::Ok) {
        state.SkipWithError("the day file does not open");
        return;
    }
    for (auto _ : state)
        if (!exportCsv(r, csv, [](int) { return true; }).isEmpty()) {
            state.SkipWithError("export failed");
            return;
        }
    state.SetItemsProcessed(state.iterations() * r.recordCount());
}
BENCHMARK(ExportCsv)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
