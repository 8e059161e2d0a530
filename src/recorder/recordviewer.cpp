#include "recorder/recordviewer.h"

#include "recorder/acquisition.h"
#include "recorder/recorderdata.h"
#include "recorder/trendchart.h"
#include "ui/dialogs.h"
#include "ui/files.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace {

const QString MessageTitle = QStringLiteral("Message");

QString counterText(qint64 n)
{
    return QLatin1Char(' ') + QStringLiteral("%1").arg(n, 8, 10, QLatin1Char('0'));
}

} // namespace

RecordViewer::RecordViewer(Recorder::Data &data, Recorder::TrendChart &chart,
                           RecorderAcquisition &acquisition)
    : m_data(data)
    , m_chart(chart)
    , m_acquisition(acquisition)
{ }

void RecordViewer::OpenBtClick()
{
    if (m_acquisition.recording())
        return;
    const QString path = AppDialogs().chooseOpenFile(QStringLiteral("Open File"),
                                                     RecordFile::Filter, RecordFile::Extension);
    if (path.isEmpty()) {
        m_chart.setActive(false);
        return;
    }
    open(path);
}

bool RecordViewer::open(const QString &path)
{
    m_acquisition.disarm();
    stop();
    using R = RecordFile::Reader::OpenResult;
    QString refusal;
    switch (m_reader.open(path)) {
    case R::Ok:
        break;
    case R::Missing:
        refusal = RecordFile::MissingFile;
        break;
    case R::Unreadable:
        refusal = QStringLiteral("Can not open file %1 : %2")
                      .arg(QDir::toNativeSeparators(path), m_reader.errorString());
        break;
    case R::BadHeader:
    case R::NoRecords:
        refusal = RecordFile::BadFormat;
        break;
    }
    if (!refusal.isEmpty()) {
        m_chart.setActive(false);
        AppDialogs().inform(MessageTitle, refusal);
        return false;
    }
    m_path = path;
    const RecordFile::Header &h = m_reader.header();
    for (int d = 0; d < Recorder::DeviceCount; ++d) {
        Recorder::Device &dev = m_data.device[size_t(d)];
        dev.address = h.addresses[size_t(d)];
        dev.shown = dev.address != 0;
        dev.failed = false;
        dev.valueRed = false;
        dev.comAddrSilver = false;
        dev.valueText.clear();
        m_acquisition.setComAddr(d, dev.address);
    }
    m_view.recordedSampleTime = qBound(1, h.sampleTime, RecordFile::MaxSampleTime);
    m_acquisition.setSampleTime(m_view.recordedSampleTime);
    const qint64 n = m_reader.recordCount();
    const int w = m_data.width();
    m_view.trackBarVisible = n > w;
    m_view.trackMax = int(qMin<qint64>(std::numeric_limits<int>::max(), qMax<qint64>(0, n - w)));
    m_view.trackPos = 0;
    const qint64 count = qMin<qint64>(n, w);
    if (!load(0, 1, count))
        return false;
    m_view.viewing = true;
    m_view.exportEnabled = true;
    ++m_view.opened;
    m_acquisition.showViewing(counterText(count - 1));
    return true;
}

bool RecordViewer::load(qint64 first, qint64 step, qint64 count)
{
    m_data.setWidth(m_data.width()); // the rings emptied
    for (Recorder::Device &dev : m_data.device) {
        dev.failed = false;
        dev.valueRed = false;
        dev.valueText.clear();
        // Its trace is drawn again unless the user switched it off: what the
        // records shown say decides, not an "E" of records shown before.
        dev.shown = dev.address != 0 && !dev.comAddrSilver;
    }
    m_chart.setActive(false);
    m_chart.clear();
    RecordFile::Record record;
    qint64 loaded = 0;
    for (qint64 j = 0; j < count; ++j) {
        QString why;
        if (!m_reader.read(first + j * step, record, &why)) {
            // "End" or an empty line ends the reading quietly; anything
            // else says where the file went wrong.
            if (!why.isEmpty())
                AppDialogs().inform(
                    MessageTitle,
                    QStringLiteral("%1\n%2: %3")
                        .arg(RecordFile::BadFormat, QFileInfo(m_path).fileName(), why));
            if (j == 0 || !why.isEmpty()) {
                m_chart.setActive(false);
                return false;
            }
            break;
        }
        for (int d = 0; d < Recorder::DeviceCount; ++d) {
            if (m_data.device[size_t(d)].address == 0)
                continue;
            const qint32 v = record.values[size_t(d)];
            if (v == Recorder::MissingSample) {
                m_data.storeMissing(d, j);
                m_data.device[size_t(d)].failed = true;
            } else {
                m_data.store(d, j, v);
            }
        }
        m_chart.updateAfterScan(j, record.time); // the minute labels
        ++loaded;
    }
    m_chart.setActive(true);
    m_chart.fullRedraw(loaded - 1);
    return true;
}

void RecordViewer::browse(int trackPos, int sampleTime)
{
    if (!m_view.viewing)
        return;
    // Never a step of 0: the interval is at least the recorded one.
    const qint64 step = qMax(1, sampleTime / m_view.recordedSampleTime);
    const qint64 n = m_reader.recordCount();
    const qint64 start = std::clamp<qint64>(trackPos, 0, n);
    const qint64 end = qMin<qint64>(start + step * m_data.width(), n);
    const qint64 count = (end - start) / step;
    m_view.trackPos = int(start);
    if (count <= 0)
        return;
    load(start, step, count);
    m_acquisition.showViewing(counterText(end));
}

void RecordViewer::ExportBtClick(const std::function<bool(int)> &progress)
{
    if (!m_view.viewing)
        return;
    const QString path = ChooseFileToWrite(QStringLiteral("Export CSV"), RecordFile::CsvFilter,
                                           QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    const QString failure = RecordFile::exportCsv(m_reader, path, progress);
    if (failure == RecordFile::ExportCancelled)
        return;
    AppDialogs().inform(MessageTitle,
                        failure.isEmpty() ? QStringLiteral("Exported %1 records to %2")
                                                .arg(m_reader.recordCount())
                                                .arg(info.fileName())
                                          : QStringLiteral("Can not export to %1 : %2")
                                                .arg(QDir::toNativeSeparators(path), failure));
}

void RecordViewer::stop()
{
    m_view.viewing = false;
    m_view.trackBarVisible = false;
    m_view.exportEnabled = false;
    m_view.recordedSampleTime = 1;
}
