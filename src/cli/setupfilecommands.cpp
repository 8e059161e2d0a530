// duva-cli backup, restore and diff: parameter files and the controllers' setups.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "link/valueformat.h"
#include "setup/enumerations.h"
#include "setup/parameterfile.h"
#include "setup/parametertransfer.h"
#include "setup/registermap.h"
#include "setup/setupcompare.h"
#include "setup/setupcomparison.h"
#include "setup/setupview.h"
#include "setup/writeall.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryFile>
#include <QtEndian>

#include <array>
#include <cstdio>
#include <memory>

namespace CliCommands {

namespace {

QString backupName(int address, int modelCode, const QDate &date)
{
    const QString model = QString::number(modelCode, 16).toUpper();
    return QStringLiteral("duva-addr%1-%2-%3.%4")
        .arg(address, 3, 10, QLatin1Char('0'))
        .arg(model, date.toString(QStringLiteral("yyyy-MM-dd")), ParameterFile::Extension);
}

// A comparison in JSON: the same keys whatever the sides are called
// ("first" and "second" hold their values as shown).
QJsonObject reportJson(const CompareReport &r)
{
    static const char *const keys[] = {"code", "name", "register", "first", "second"};
    QJsonArray rows;
    for (const QStringList &row : r.rows) {
        QJsonObject o;
        for (qsizetype i = 0; i < row.size() && i < qsizetype(std::size(keys)); ++i)
            o[QLatin1String(keys[i])] = row.at(i);
        rows.append(o);
    }
    return QJsonObject {{QStringLiteral("title"), r.title},
                        {QStringLiteral("first"), r.headers.value(3)},
                        {QStringLiteral("second"), r.headers.value(4)},
                        {QStringLiteral("summary"), r.summary},
                        {QStringLiteral("equal"), r.rows.isEmpty()},
                        {QStringLiteral("differences"), rows}};
}

// The entries whose value is no item of their list: a file edited by hand
// or made for another controller. "P3-8 Alarm1 (0x4720) holds 19".
QStringList outOfRange(const ParameterImage &image)
{
    QStringList out;
    for (int entry = ParameterImage::FirstRegisterEntry; entry <= ParameterImage::PidTargetEntry;
         ++entry) {
        const int reg = ParameterImage::registerOfEntry(entry);
        // The unit takes any engineering unit above "C"; the on-line
        // configuration word is a bit field.
        if (reg == Reg::Unit || reg == Reg::OnlineConfigWord)
            continue;
        const Enumeration *e = EnumerationFor(reg);
        if (e && !e->contains(image.at(entry)))
            out << QStringLiteral("%1 holds %2, none of its items")
                       .arg(nameOf(reg))
                       .arg(image.at(entry));
    }
    return out;
}

} // namespace

ParameterFileRead readParameterFile(const QString &arg)
{
    ParameterFileRead r;
    r.name = arg == QLatin1String("-") ? QStringLiteral("standard input") : arg;
    QFile file;
    if (arg == QLatin1String("-")) {
        if (!file.open(stdin, QIODevice::ReadOnly))
            throw CliFailure {QStringLiteral("standard input: %1").arg(file.errorString())};
    } else {
        file.setFileName(arg);
        if (!QFileInfo::exists(arg))
            throw CliFailure {QStringLiteral("%1: no such file").arg(arg)};
        if (!file.open(QIODevice::ReadOnly))
            throw CliFailure {
                QStringLiteral("%1: cannot be read: %2").arg(arg, file.errorString())};
    }
    // One byte more than a parameter file holds tells a longer file.
    QByteArray bytes;
    while (bytes.size() <= ParameterFile::Size) {
        const QByteArray more = file.read(ParameterFile::Size + 1 - bytes.size());
        if (more.isEmpty())
            break;
        bytes += more;
    }
    if (file.error() != QFileDevice::NoError)
        throw CliFailure {QStringLiteral("%1: cannot be read: %2").arg(r.name, file.errorString())};
    const QString notPar = QStringLiteral("%1: not a parameter file: ").arg(r.name);
    if (bytes.size() != ParameterFile::Size)
        throw CliFailure {
            notPar +
            (bytes.size() > ParameterFile::Size
                 ? QStringLiteral("it holds more than %1 bytes").arg(ParameterFile::Size)
                 : QStringLiteral("it holds %1 bytes, a parameter file %2")
                       .arg(bytes.size())
                       .arg(ParameterFile::Size))};
    for (int n = 0; n < ParameterImage::Size; ++n) {
        const qint32 v = qFromLittleEndian<qint32>(bytes.constData() + 4 * n);
        if (v < 0 || v > 0xFFFF)
            throw CliFailure {
                notPar + QStringLiteral("entry %1 holds %2, not a register value").arg(n).arg(v)};
    }
    const int model = qFromLittleEndian<qint32>(bytes.constData());
    if (!IsModelCode(model))
        throw CliFailure {
            notPar +
            QStringLiteral("its model code %1 is none of 4824, 4848, 4896, 9696").arg(hex4(model))};
    const std::optional<ParameterImage> image = ParameterFile::decode(bytes);
    if (!image)
        throw CliFailure {notPar + QStringLiteral("its values are not a setup")};
    const int point = image->at(ParameterImage::DecimalPointEntry);
    if (point > 3)
        throw CliFailure {
            notPar +
            QStringLiteral("its decimal point position (0x4725) is %1, not 0 to 3").arg(point)};
    r.image = *image;
    r.bytes = bytes;
    return r;
}

int backup(const Context &c)
{
    needArgs(c, 1, -1, QStringLiteral("backup ADDR... [--dir DIR]"));
    const QList<int> addresses = addressesOf(c.args);
    const QString dir = c.parser->isSet(QStringLiteral("dir"))
        ? c.parser->value(QStringLiteral("dir"))
        : QStringLiteral(".");
    if (!QFileInfo(dir).isDir())
        throw CliUsageError {QStringLiteral("--dir: '%1' is not a directory").arg(dir)};
    CliTalk t(c);
    if (!t.open())
        return Failed;
    int status = Done;
    QJsonArray json;
    for (qsizetype from = 0; from < addresses.size(); from += SlotCount) {
        const QList<int> batch = addresses.mid(from, SlotCount);
        t.start(batch);
        for (int i = 0; i < batch.size(); ++i) {
            const int n = i + 1;
            if (!t.settle(n)) {
                t.saySilent(batch.at(i));
                status = Failed;
                continue;
            }
            if (!c.quiet)
                progress(QStringLiteral("reading address %1").arg(batch.at(i)));
            // The window's save: the selected controller's whole setup, to
            // the file the dialog names.
            t.engine().SelectSlot(n);
            const QString path = QDir(dir).filePath(
                backupName(batch.at(i), t.engine().state().at(n).idModel, QDate::currentDate()));
            t.dialogs.file = path;
            const qsizetype before = t.dialogs.messages.size();
            t.session().transfer().SaveBtClick();
            waitFor([&] { return t.dialogs.messages.size() > before; });
            progressDone();
            const QString said = t.lastMessages(before).trimmed();
            if (said != QLatin1String("Write parameters to file successed")) {
                printErr(QStringLiteral("address %1: %2").arg(batch.at(i)).arg(said));
                status = Failed;
                continue;
            }
            json.append(QJsonObject {{QStringLiteral("address"), batch.at(i)},
                                     {QStringLiteral("file"), path}});
            if (!c.json && !c.quiet)
                printOut(path + QLatin1Char('\n'));
        }
        for (int n = 1; n <= SlotCount; ++n)
            if (t.engine().state().at(n).DeviceRequested)
                t.engine().DisconnectSlot(n);
    }
    if (c.json)
        printJson(QJsonObject {{QStringLiteral("files"), json}});
    return status;
}

int restore(const Context &c)
{
    needArgs(c, 2, 2, QStringLiteral("restore FILE ADDR [--verify] [--dry-run] [--force]"));
    const int addr = address(c.args.at(1));
    const bool verify = c.parser->isSet(QStringLiteral("verify"));
    const bool dryRun = c.parser->isSet(QStringLiteral("dry-run"));
    const bool force = c.parser->isSet(QStringLiteral("force"));
    // The file is checked before the line is used.
    const ParameterFileRead read = readParameterFile(c.args.at(0));
    const QString file = read.name;
    const QStringList strange = outOfRange(read.image);
    if (!strange.isEmpty() && !force)
        throw CliFailure {QStringLiteral("%1: %2 (--force writes it anyway)")
                              .arg(file, strange.join(QStringLiteral("; ")))};
    // The window opens the file by its name: standard input goes through a
    // file of its own.
    QTemporaryFile temp(QDir::tempPath() + QStringLiteral("/duva-cli-XXXXXX.par"));
    QString path = c.args.at(0);
    if (path == QLatin1String("-")) {
        if (!temp.open() || temp.write(read.bytes) != read.bytes.size() || !temp.flush())
            throw CliFailure {QStringLiteral("%1: %2").arg(temp.fileName(), temp.errorString())};
        path = temp.fileName();
    }

    CliTalk t(c);
    if (!t.openOne(addr))
        return Failed;
    // The controller's model decides whether the file is its own.
    const int fileModel = read.image.at(ParameterImage::ModelEntry);
    const int model = t.engine().image().at(ParameterImage::ModelEntry);
    if (model != fileModel && !force) {
        printErr(QStringLiteral("%1 is a parameter file of model %2, the controller at address %3 "
                                "is a %4 (--force writes it anyway)")
                     .arg(file, QString::number(fileModel, 16).toUpper())
                     .arg(addr)
                     .arg(QString::number(model, 16).toUpper()));
        return Failed;
    }
    if (dryRun) {
        // What the window's write would send, beside what the controller
        // holds now.
        if (!t.waitWhole()) {
            printErr(QStringLiteral("address %1: %2").arg(addr).arg(saidSince(t.dialogs, 0)));
            return Failed;
        }
        QJsonArray writes;
        for (const int entry : SetupCompare::ComparedEntries(read.image)) {
            const int reg = ParameterImage::registerOfEntry(entry);
            const QString value = SetupCompare::EntryText(read.image, entry);
            const QString now = SetupCompare::EntryText(t.engine().image(), entry);
            writes.append(QJsonObject {{QStringLiteral("register"), hex4(reg)},
                                       {QStringLiteral("name"), nameOf(reg)},
                                       {QStringLiteral("value"), read.image.at(entry)},
                                       {QStringLiteral("text"), value},
                                       {QStringLiteral("now"), now}});
            if (!c.json)
                printOut(QStringLiteral("%1: %2%3\n")
                             .arg(nameOf(reg), value,
                                  now == value ? QString() : QStringLiteral(" (now %1)").arg(now)));
        }
        if (c.json)
            printJson(QJsonObject {{QStringLiteral("address"), addr},
                                   {QStringLiteral("file"), file},
                                   {QStringLiteral("writes"), writes}});
        return Done;
    }
    // Opened and written as the window's "Open File" and "Write to the
    // controller" do; the window's read-back verifies it.
    t.dialogs.file = path;
    const qsizetype before = t.dialogs.messages.size();
    t.session().transfer().OpenBtClick();
    if (t.dialogs.messages.size() > before) {
        printErr(QStringLiteral("%1: %2").arg(file, t.lastMessages(before).trimmed()));
        return Failed;
    }
    t.session().transfer().WriteBtClick(false);
    if (t.dialogs.messages.size() > before) {
        printErr(QStringLiteral("address %1: %2").arg(addr).arg(t.lastMessages(before).trimmed()));
        return Failed;
    }
    if (!c.quiet)
        QObject::connect(&t.engine(), &MonitorEngine::viewChanged, [&t] {
            if (!t.writeAllDone)
                progress(
                    QStringLiteral("writing %1 %").arg(t.session().setupView().model().progress));
        });
    waitFor([&] { return t.writeAllDone; });
    // The window's own report of what was not written, once posted.
    QCoreApplication::processEvents();
    progressDone();
    int status = Done;
    if (!t.writeAllDone || !t.writeAllReport.complete || !t.writeAllReport.notWritten.isEmpty()) {
        waitFor([&] { return t.dialogs.messages.size() > before; }, 1000);
        const QString said = t.lastMessages(before).trimmed();
        printErr(QStringLiteral("address %1: %2")
                     .arg(addr)
                     .arg(said.isEmpty() ? QStringLiteral("the write did not finish") : said));
        status = Failed;
    }
    if (!verify) {
        if (status == Done && !c.quiet && !c.json)
            std::fprintf(stderr, "Written: %s to address %d\n", qPrintable(file), addr);
        if (c.json)
            printJson(QJsonObject {{QStringLiteral("address"), addr},
                                   {QStringLiteral("file"), file},
                                   {QStringLiteral("written"), status == Done}});
        return status;
    }
    if (!t.writeAllReport.complete)
        return Failed;
    waitFor([&] { return t.report.has_value(); });
    if (!t.report) {
        printErr(QStringLiteral("address %1: the setup could not be read back").arg(addr));
        return Failed;
    }
    if (c.json)
        printJson(reportJson(*t.report));
    else if (!c.quiet || !t.report->rows.isEmpty())
        printOut(SetupCompare::ToText(*t.report));
    if (!t.report->rows.isEmpty() || !t.report->summary.startsWith(QLatin1String("Verified")))
        status = Failed;
    return status;
}

int show(const Context &c)
{
    needArgs(c, 1, 1, QStringLiteral("show FILE.par"));
    const ParameterFileRead read = readParameterFile(c.args.at(0));
    const ParameterImage &image = read.image;
    const QString model = QString::number(image.at(ParameterImage::ModelEntry), 16).toUpper();
    const QString firmware = FirmwareVersionText(image.at(ParameterImage::FirmwareMajorEntry),
                                                 image.at(ParameterImage::FirmwareMinorEntry));
    QJsonArray parameters;
    if (!c.json)
        printOut(QStringLiteral("Model: %1\nFirmware: %2\n").arg(model, firmware));
    for (int entry = ParameterImage::FirstRegisterEntry; entry <= ParameterImage::PidTargetEntry;
         ++entry) {
        const int reg = ParameterImage::registerOfEntry(entry);
        const QString text = SetupCompare::EntryText(image, entry);
        const RegisterInfo *info = FindRegister(reg);
        parameters.append(QJsonObject {{QStringLiteral("code"), info ? info->code : QString()},
                                       {QStringLiteral("register"), hex4(reg)},
                                       {QStringLiteral("name"), nameOf(reg)},
                                       {QStringLiteral("value"), image.at(entry)},
                                       {QStringLiteral("text"), text}});
        if (!c.json)
            printOut(QStringLiteral("%1: %2\n").arg(nameOf(reg), text));
    }
    if (c.json)
        printJson(QJsonObject {{QStringLiteral("file"), read.name},
                               {QStringLiteral("model"), model},
                               {QStringLiteral("firmware"), firmware},
                               {QStringLiteral("parameters"), parameters}});
    return Done;
}

int diff(const Context &c)
{
    needArgs(c, 2, 2, QStringLiteral("diff FILE|ADDR FILE|ADDR [--csv]"));
    // Each side: a parameter file, or the setup read from a controller.
    struct Side
    {
        QString name;
        int address = 0;
        ParameterImage image;
    };
    std::array<Side, 2> sides;
    QList<int> addresses;
    for (int i = 0; i < 2; ++i) {
        const QString arg = c.args.at(i);
        bool number = false;
        arg.toInt(&number);
        if (number && !QFileInfo::exists(arg)) {
            sides[size_t(i)].address = address(arg);
            sides[size_t(i)].name = QStringLiteral("Address %1").arg(sides[size_t(i)].address);
            if (!addresses.contains(sides[size_t(i)].address))
                addresses << sides[size_t(i)].address;
            continue;
        }
        const ParameterFileRead read = readParameterFile(arg);
        sides[size_t(i)].name = arg == QLatin1String("-") ? read.name : QFileInfo(arg).fileName();
        sides[size_t(i)].image = read.image;
    }
    std::unique_ptr<CliTalk> t;
    if (!addresses.isEmpty()) {
        t = std::make_unique<CliTalk>(c);
        if (!t->open())
            return Failed;
        const QList<int> silent = t->connect(addresses);
        for (int a : silent)
            t->saySilent(a);
        if (!silent.isEmpty())
            return Failed;
        for (Side &side : sides) {
            if (side.address == 0)
                continue;
            // The read the window's comparison makes of another controller.
            bool done = false;
            bool ok = false;
            t->engine().readSetupOf(t->engine().slotOfAddress(side.address),
                                    [&](bool good, const ParameterImage &image) {
                                        done = true;
                                        ok = good;
                                        side.image = image;
                                    });
            waitFor([&] { return done; });
            if (!ok) {
                printErr(
                    QStringLiteral("address %1: the setup could not be read").arg(side.address));
                return Failed;
            }
        }
    }
    const QList<int> entries = SetupCompare::ComparedEntries(sides[0].image);
    const CompareReport report = SetupCompare::Report(
        QStringLiteral("%1 against %2").arg(sides[0].name, sides[1].name), sides[0].name,
        sides[1].name, SetupCompare::Compare(sides[0].image, sides[1].image, entries),
        int(entries.size()));
    if (c.json)
        printJson(reportJson(report));
    else if (c.parser->isSet(QStringLiteral("csv")))
        printOut(SetupCompare::ToCsv(report));
    else
        printOut(SetupCompare::ToText(report));
    return report.rows.isEmpty() ? Done : Failed;
}

} // namespace CliCommands
