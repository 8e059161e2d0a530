#include "program/programcomparison.h"

#include "program/programfile.h"
#include "ui/dialogs.h"
#include "ui/files.h"

#include <QDir>
#include <QFileInfo>

using namespace ProgramCompare;

namespace {

const QString MessageTitle = QStringLiteral("Message");
const QString CsvFilter = QStringLiteral("CSV files (*.csv *.CSV)");

QString MomentText(const QDateTime &moment)
{
    return moment.isValid() ? moment.toLocalTime().toString(QStringLiteral("h:mm:ss AP M/d/yyyy"))
                            : QStringLiteral("(no time stamp)");
}

QString StepsText(const Result &r)
{
    QStringList lines;
    for (const StepDeviation &s : r.steps)
        lines << QStringLiteral("  pattern %1, step %2: %3 (%4 samples)")
                     .arg(s.pattern)
                     .arg(s.step)
                     .arg(SignedUnits(s.mean))
                     .arg(s.samples);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

ProgramComparison::ProgramComparison(const RampSoakProgram &program, std::function<void()> changed)
    : m_program(program)
    , m_changed(std::move(changed))
{
    m_view.summary = QStringLiteral("Open a recording of the recorder to hold it against the "
                                    "program.");
}

bool ProgramComparison::open()
{
    const QString path = AppDialogs().chooseOpenFile(QStringLiteral("Compare with Recording"),
                                                     ProgramFile::Filter, ProgramFile::Extension);
    if (path.isEmpty())
        return false;
    return openPath(path);
}

bool ProgramComparison::openPath(const QString &path)
{
    Recording recording;
    const QString failure =
        m_loader ? m_loader(path, recording) : QStringLiteral("Record files cannot be read here.");
    if (!failure.isEmpty()) {
        AppDialogs().inform(MessageTitle, failure);
        return false;
    }
    m_recording = std::move(recording);
    m_loaded = true;
    m_devices = m_recording.devices();
    m_view.devices.clear();
    for (int d : m_devices)
        m_view.devices << QStringLiteral("Device %1 (address %2)")
                              .arg(d + 1)
                              .arg(m_recording.addresses[size_t(d)]);
    m_settings.device = m_devices.value(0);
    m_view.deviceIndex = 0;
    m_settings.startRecord = FindStart(m_program, m_recording, m_settings);
    m_startFound = true;
    const qint64 count = m_recording.count();
    m_view.startMax = count - 1;
    const QDateTime from = m_recording.moments.first();
    const QDateTime to = m_recording.moments.last();
    m_view.fileText = QStringLiteral("%1: %2 records every %3 s, %4 to %5")
                          .arg(QFileInfo(path).fileName())
                          .arg(count)
                          .arg(m_recording.sampleTime)
                          .arg(MomentText(from), MomentText(to));
    run();
    return true;
}

void ProgramComparison::setDecimals(int decimals)
{
    m_settings.recordDecimals = qBound(0, decimals, 3);
    run();
}

void ProgramComparison::setDevice(int index)
{
    if (index < 0 || index >= m_devices.size())
        return;
    m_settings.device = m_devices.at(index);
    if (m_startFound)
        m_settings.startRecord = FindStart(m_program, m_recording, m_settings);
    run();
}

void ProgramComparison::setStart(qint64 record)
{
    if (!m_loaded || record < 0 || record >= m_recording.count())
        return;
    m_settings.startRecord = record;
    m_startFound = false;
    run();
}

void ProgramComparison::setStartAtChart(int x)
{
    if (!m_loaded || m_result.samples.isEmpty())
        return;
    setStart(RecordAtChartX(m_result, x));
}

void ProgramComparison::findStart()
{
    if (!m_loaded)
        return;
    m_settings.startRecord = FindStart(m_program, m_recording, m_settings);
    m_startFound = true;
    run();
}

void ProgramComparison::setTolerance(int tenths)
{
    m_settings.toleranceTenths = qMax(0, tenths);
    run();
}

void ProgramComparison::refresh()
{
    run();
}

void ProgramComparison::run()
{
    m_view.decimals = m_settings.recordDecimals;
    m_view.toleranceTenths = m_settings.toleranceTenths;
    if (!m_loaded) {
        if (m_changed)
            m_changed();
        return;
    }
    m_view.deviceIndex = int(m_devices.indexOf(m_settings.device));
    m_view.start = m_settings.startRecord;
    m_view.startText = MomentText(m_recording.moments.at(m_settings.startRecord));
    m_result = compare(m_program, m_recording, m_settings);
    const Result &r = m_result;
    QStringList lines;
    if (r.largestAt >= 0) {
        const Sample &at = r.samples.at(r.largestAt);
        lines << QStringLiteral("Largest deviation %1 at %2 into the program (%3)")
                     .arg(SignedUnits(r.largest), ElapsedText(at.seconds), MomentText(at.moment));
        lines << QStringLiteral("Outside \u00b1%1: %2 (%3 of %4 samples)")
                     .arg(SignedUnits(m_settings.toleranceTenths).mid(1),
                          ElapsedText(r.outsideSeconds))
                     .arg(r.outside)
                     .arg(r.compared);
        lines << QStringLiteral("Mean deviation per step:") << StepsText(r);
    } else {
        lines << QStringLiteral("Nothing compared.");
    }
    if (m_startFound)
        lines << QStringLiteral("\u2022 The program's start was taken at record %1 (%2), from "
                                "where the recording follows the program best; click the chart "
                                "or set the record to move it.")
                     .arg(m_settings.startRecord)
                     .arg(m_view.startText);
    for (const QString &note : r.notes)
        lines << QStringLiteral("\u2022 ") + note;
    m_view.summary = lines.join(QLatin1Char('\n'));
    m_view.exportEnabled = !r.samples.isEmpty();
    draw(r, m_settings.toleranceTenths, m_chart);
    ++m_view.chartVersion;
    if (m_changed)
        m_changed();
}

void ProgramComparison::exportCsv()
{
    if (m_result.samples.isEmpty())
        return;
    const QString path =
        ChooseFileToWrite(QStringLiteral("Export CSV"), CsvFilter, QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    const QString failure = WriteFileWhole(path, csv(m_result));
    AppDialogs().inform(
        MessageTitle,
        failure.isEmpty()
            ? QStringLiteral("Comparison written to %1").arg(QDir::toNativeSeparators(path))
            : QStringLiteral("Can not save file %1 : %2")
                  .arg(QDir::toNativeSeparators(path), failure));
}
