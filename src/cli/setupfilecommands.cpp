// duva-cli backup, restore and diff: parameter files and the controllers' setups.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "setup/parameterfile.h"
#include "setup/parametertransfer.h"
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

QJsonObject reportJson(const CompareReport &r)
{
    QJsonArray rows;
    for (const QStringList &row : r.rows) {
        QJsonObject o;
        for (qsizetype i = 0; i < row.size() && i < r.headers.size(); ++i)
            o[r.headers.at(i)] = row.at(i);
        rows.append(o);
    }
    return QJsonObject {{QStringLiteral("title"), r.title},
                        {QStringLiteral("summary"), r.summary},
                        {QStringLiteral("differences"), rows}};
}

} // namespace

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
            if (c.json)
                json.append(QJsonObject {{QStringLiteral("address"), batch.at(i)},
                                         {QStringLiteral("file"), path}});
            else
                printOut(path + QLatin1Char('\n'));
        }
        for (int n = 1; n <= SlotCount; ++n)
            if (t.engine().state().at(n).DeviceRequested)
                t.engine().DisconnectSlot(n);
    }
    if (c.json)
        printJson(json);
    return status;
}

int restore(const Context &c)
{
    needArgs(c, 2, 2, QStringLiteral("restore FILE ADDR [--verify]"));
    const QString file = c.args.at(0);
    const int addr = address(c.args.at(1));
    const bool verify = c.parser->isSet(QStringLiteral("verify"));
    // The file is checked before the line is used.
    const ParameterFile::ReadResult read = ParameterFile::read(file);
    if (read.kind != ParameterFile::ReadResult::Kind::Ok)
        throw CliUsageError {
            QStringLiteral("%1: %2").arg(file, ParameterFile::refusalText(read, file))};

    CliTalk t(c);
    if (!t.openOne(addr))
        return Failed;
    // Opened and written as the window's "Open File" and "Write to the
    // controller" do; the window's read-back verifies it.
    t.dialogs.file = file;
    const qsizetype before = t.dialogs.messages.size();
    t.session().transfer().OpenBtClick();
    if (t.dialogs.messages.size() > before) {
        printErr(t.lastMessages(before).trimmed());
        return Failed;
    }
    t.session().transfer().WriteBtClick(false);
    if (t.dialogs.messages.size() > before) {
        printErr(t.lastMessages(before).trimmed());
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
    if (!t.writeAllReport.complete || !t.writeAllReport.notWritten.isEmpty()) {
        waitFor([&] { return t.dialogs.messages.size() > before; }, 1000);
        printErr(t.lastMessages(before).trimmed());
        status = Failed;
    }
    if (!verify) {
        if (status == Done && !c.quiet)
            std::fprintf(stderr, "Written: %s to address %d\n", qPrintable(file), addr);
        return status;
    }
    if (!t.writeAllReport.complete)
        return Failed;
    waitFor([&] { return t.report.has_value(); });
    if (!t.report)
        return Failed;
    if (c.json)
        printJson(reportJson(*t.report));
    else
        printOut(SetupCompare::ToText(*t.report));
    if (!t.report->rows.isEmpty() || !t.report->summary.startsWith(QLatin1String("Verified")))
        status = Failed;
    return status;
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
        const ParameterFile::ReadResult read = ParameterFile::read(arg);
        if (read.kind != ParameterFile::ReadResult::Kind::Ok)
            throw CliUsageError {
                QStringLiteral("%1: %2").arg(arg, ParameterFile::refusalText(read, arg))};
        sides[size_t(i)].name = QFileInfo(arg).fileName();
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
