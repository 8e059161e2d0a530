// duva-cli record: the recorder's acquisition into a record file.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "recorder/acquisition.h"
#include "recorder/recordfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <csignal>
#include <memory>

namespace CliCommands {

namespace {

void stopHandler(int)
{
    stopAsked = true;
}

// "7d", "12h", "30m", "45s" or seconds.
qint64 durationMs(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]{1,7})([smhd]?)$"));
    const QRegularExpressionMatch m = form.match(text.trimmed().toLower());
    if (!m.hasMatch())
        throw CliUsageError {QStringLiteral("--duration: '%1' is not a time such as 90s, 30m, "
                                            "12h or 7d")
                                 .arg(text)};
    const qint64 n = m.captured(1).toLongLong();
    const QString unit = m.captured(2);
    const qint64 s = unit == QLatin1String("m") ? 60
        : unit == QLatin1String("h")            ? 3600
        : unit == QLatin1String("d")            ? 86400
                                                : 1;
    return n * s * 1000;
}

} // namespace

int record(const Context &c)
{
    needArgs(c, 1, Recorder::DeviceCount,
             QStringLiteral("record ADDR... --interval S "
                            "[--duration D] --out FILE [--csv FILE]"));
    // SIGINT and SIGTERM end the recording as STOP does.
    std::signal(SIGINT, stopHandler);
    std::signal(SIGTERM, stopHandler);
    const QCommandLineParser &p = *c.parser;
    const QList<int> addresses = addressesOf(c.args);
    if (!p.isSet(QStringLiteral("interval")) || !p.isSet(QStringLiteral("out")))
        throw CliUsageError {QStringLiteral("record needs --interval S and --out FILE")};
    const int interval =
        wholeNumber(QStringLiteral("--interval"), p.value(QStringLiteral("interval")), 1,
                    RecorderAcquisition::MaxSampleSeconds);
    const qint64 duration =
        p.isSet(QStringLiteral("duration")) ? durationMs(p.value(QStringLiteral("duration"))) : -1;
    const QString out = p.value(QStringLiteral("out"));
    const QString csvPath = p.value(QStringLiteral("csv"));

    CliDialogs dialogs;
    std::unique_ptr<Line> line = CliLine::create(c.line);
    Recorder::Data data;
    RecorderAcquisition acq(
        *line, [s = c.line] { return s; }, data);
    acq.FormShow();
    for (int d = 0; d < Recorder::DeviceCount; ++d)
        acq.setComAddr(d, d < addresses.size() ? addresses.at(d) : 0);
    acq.setSampleTime(interval);
    dialogs.file = out;
    acq.SaveBtClick();

    RecordFile::Header header;
    for (int d = 0; d < addresses.size(); ++d)
        header.addresses[size_t(d)] = addresses.at(d);
    header.sampleTime = interval;
    std::unique_ptr<QFile> csv;
    if (!csvPath.isEmpty()) {
        csv = std::make_unique<QFile>(csvPath);
        if (!csv->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            printErr(QStringLiteral("Can not save file %1 : %2").arg(csvPath, csv->errorString()));
            return Failed;
        }
        csv->write(RecordFile::csvHeaderRow(header));
        csv->flush();
    }
    acq.hooks.chartUpdate = [&](qint64 index, const QString &time) {
        RecordFile::Record r;
        r.time = time;
        r.date = RecorderAcquisition::DateText(QDateTime::currentDateTime());
        for (int d = 0; d < Recorder::DeviceCount; ++d)
            r.values[size_t(d)] =
                d < addresses.size() ? data.sample(d, index) : Recorder::MissingSample;
        // The CSV row, which stands for the scan on standard output too.
        const QByteArray row = RecordFile::csvRow(header, r);
        if (csv) {
            csv->write(row);
            csv->flush();
        }
        if (!c.quiet)
            printOut(QString::fromUtf8(row).remove(QLatin1Char('\r')));
    };

    const qsizetype before = dialogs.messages.size();
    acq.StartBtClick();
    if (!acq.recording() || !acq.holdsPort()) {
        printErr(
            QStringLiteral("%1: %2").arg(CliLine::describe(c.line), saidSince(dialogs, before)));
        return Failed;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    // What the recording says while it runs (a line lost: the gap) is said
    // when it comes; the recording goes on.
    qsizetype said = dialogs.messages.size();
    waitFor([&] {
        if (dialogs.messages.size() > said) {
            const QString text = dialogs.textsFrom(said).trimmed();
            said = dialogs.messages.size();
            if (!text.isEmpty())
                printErr(text +
                         QStringLiteral(" (the recording goes on; samples are missing "
                                        "until the line is back)"));
        }
        return stopAsked || !acq.recording() || (duration >= 0 && elapsed.elapsed() >= duration);
    });
    const bool ranOut = !acq.recording();
    if (acq.recording())
        acq.StartBtClick(); // STOP: the record file ends with "End"
    acq.FormClose();
    if (ranOut || dialogs.messages.size() > said) {
        const QString rest = dialogs.textsFrom(said).trimmed();
        if (!rest.isEmpty())
            printErr(rest);
        return ranOut ? Failed : Done;
    }
    return Done;
}

} // namespace CliCommands
