// duva-cli record: the recorder's acquisition into a record file.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/cliport.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "recorder/acquisition.h"
#include "recorder/recordfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <memory>

namespace CliCommands {

namespace {

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
                            "[--duration D] --out FILE [--append|--force] [--csv FILE]"));
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
    const bool append = p.isSet(QStringLiteral("append"));
    const bool force = p.isSet(QStringLiteral("force"));
    if (append && force)
        throw CliUsageError {QStringLiteral("--append and --force exclude each other")};
    const bool outToStdout = out == QLatin1String("-");
    if (outToStdout && csvPath == QLatin1String("-"))
        throw CliUsageError {QStringLiteral("--out - and --csv - cannot both be standard output")};
    // A recording is never lost to a restart: an existing file is continued
    // or replaced only when asked.
    if (!outToStdout && QFileInfo::exists(out) && !append && !force)
        throw CliFailure {QStringLiteral("%1: the file exists; --append continues it, --force "
                                         "replaces it")
                              .arg(out)};

    RecordFile::Header header;
    for (int d = 0; d < addresses.size(); ++d)
        header.addresses[size_t(d)] = addresses.at(d);
    header.sampleTime = interval;

    // The files are made before the line is used.
    RecordFile::Writer writer;
    const QString openFailure = outToStdout ? writer.openStream(stdout, header.addresses, interval)
        : append && QFileInfo::exists(out)  ? writer.append(out, header.addresses, interval)
                                            : writer.open(out, header.addresses, interval);
    if (!openFailure.isEmpty())
        throw CliFailure {
            QStringLiteral("%1: cannot %2: %3")
                .arg(out, append ? QStringLiteral("be continued") : QStringLiteral("be written"),
                     openFailure)};
    std::unique_ptr<QFile> csv;
    if (!csvPath.isEmpty()) {
        csv = std::make_unique<QFile>(csvPath);
        const bool continued =
            append && csvPath != QLatin1String("-") && QFileInfo::exists(csvPath);
        const bool ok = csvPath == QLatin1String("-")
            ? csv->open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)
            : csv->open(QIODevice::WriteOnly | QIODevice::Unbuffered |
                        (continued ? QIODevice::Append : QIODevice::Truncate));
        if (!ok)
            throw CliFailure {
                QStringLiteral("%1: cannot be written: %2").arg(csvPath, csv->errorString())};
        const QByteArray top = RecordFile::csvHeaderRow(header);
        if (!continued && csv->write(top) != top.size())
            throw CliFailure {
                QStringLiteral("%1: cannot be written: %2").arg(csvPath, csv->errorString())};
    }

    CliDialogs dialogs;
    std::unique_ptr<Line> line = CliLine::create(c.line);
    Recorder::Data data;
    RecorderAcquisition acq(
        *line, [s = c.line] { return s; }, data);
    acq.FormShow();
    for (int d = 0; d < Recorder::DeviceCount; ++d)
        acq.setComAddr(d, d < addresses.size() ? addresses.at(d) : 0);
    acq.setSampleTime(interval);

    // The record file is this command's own writer: a write that fails
    // ends the recording at once, naming the file and the reason.
    QString fileFailure;
    acq.hooks.fileArmed = [] { return true; };
    acq.hooks.fileStart = [] {};
    acq.hooks.fileSample = [&writer](int d, qint32 v) { writer.sample(d, v); };
    acq.hooks.fileMissing = [&writer](int d) { writer.missing(d); };
    acq.hooks.fileLineEnd = [&](const QString &time, const QString &date) {
        const QString failure = writer.endLine(time, date);
        if (!failure.isEmpty() && fileFailure.isEmpty())
            fileFailure = QStringLiteral("%1: cannot be written: %2").arg(out, failure);
    };
    acq.hooks.fileEnd = [] {};

    std::array<bool, Recorder::DeviceCount> silentSaid {};
    acq.hooks.chartUpdate = [&](qint64 index, const QString &time) {
        RecordFile::Record r;
        r.time = time;
        r.date = RecorderAcquisition::DateText(QDateTime::currentDateTime());
        for (int d = 0; d < Recorder::DeviceCount; ++d)
            r.values[size_t(d)] =
                d < addresses.size() ? data.sample(d, index) : Recorder::MissingSample;
        // A controller that stops answering is said once; its cells stay
        // empty ("E" in the record file).
        for (int d = 0; d < addresses.size(); ++d) {
            const bool missing = r.values[size_t(d)] == Recorder::MissingSample;
            if (missing && !silentSaid[size_t(d)])
                printErr(QStringLiteral("address %1: no reply; recorded as missing from %2")
                             .arg(addresses.at(d))
                             .arg(time.trimmed()));
            silentSaid[size_t(d)] = missing;
        }
        const QByteArray row = RecordFile::csvRow(header, r);
        if (csv && fileFailure.isEmpty() && csv->write(row) != row.size())
            fileFailure =
                QStringLiteral("%1: cannot be written: %2").arg(csvPath, csv->errorString());
        if (c.quiet || outToStdout || csvPath == QLatin1String("-"))
            return;
        if (c.json) {
            QJsonArray samples;
            for (int d = 0; d < addresses.size(); ++d) {
                const qint32 v = r.values[size_t(d)];
                samples.append(QJsonObject {
                    {QStringLiteral("address"), addresses.at(d)},
                    {QStringLiteral("value"),
                     v == Recorder::MissingSample ? QJsonValue() : QJsonValue(v / 10.0)}});
            }
            const QString iso = QString::fromUtf8(row.left(row.indexOf(',')));
            printJsonLine(
                QJsonObject {{QStringLiteral("time"), iso}, {QStringLiteral("samples"), samples}});
        } else {
            // The CSV row stands for the scan on standard output.
            printOut(QString::fromUtf8(row).remove(QLatin1Char('\r')));
        }
    };

    const bool opened = CliPort::openLine(
        c, dialogs,
        [&] {
            acq.StartBtClick();
            return acq.recording() && acq.holdsPort();
        },
        [&] {
            if (acq.recording())
                acq.StartBtClick();
        });
    if (!opened) {
        writer.finish();
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
        return !fileFailure.isEmpty() || !acq.recording() ||
            (duration >= 0 && elapsed.elapsed() >= duration);
    });
    const bool ranOut = !acq.recording();
    if (acq.recording()) {
        // The scan in progress is let finish, so that no reply is left on
        // the line for the next program; then STOP.
        acq.timer1().stop();
        waitFor([&] { return !acq.requestOutstanding(); }, 5000, false);
        acq.StartBtClick();
    }
    acq.FormClose();
    // The record file ends with "End" however the recording ended.
    const QString ended = writer.finish();
    if (!ended.isEmpty() && fileFailure.isEmpty())
        fileFailure = QStringLiteral("%1: cannot be written: %2").arg(out, ended);
    int status = Done;
    if (!fileFailure.isEmpty()) {
        printErr(fileFailure);
        status = Failed;
    }
    const QString rest = dialogs.textsFrom(said).trimmed();
    if (ranOut) {
        printErr(rest.isEmpty() ? QStringLiteral("%1: the recording stopped").arg(CliPort::label(c))
                                : QStringLiteral("%1: %2").arg(CliPort::label(c), rest));
        status = Failed;
    }
    return status;
}

} // namespace CliCommands
