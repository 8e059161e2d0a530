#include "cli/commands.h"

#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "find/findlogic.h"
#include "link/valueformat.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorsession.h"
#include "program/programfile.h"
#include "program/programtransfer.h"
#include "recorder/acquisition.h"
#include "recorder/recordfile.h"
#include "setup/parameterfile.h"
#include "setup/parametertransfer.h"
#include "setup/registermap.h"
#include "setup/setupcompare.h"
#include "setup/setupcomparison.h"
#include "setup/setupcontrols.h"
#include "setup/setupview.h"
#include "setup/writeall.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace CliCommands {

namespace {

std::atomic<bool> stopAsked {false};

void stopHandler(int)
{
    stopAsked = true;
}

void printOut(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void printErr(const QString &text)
{
    std::fprintf(stderr, "duva-cli: %s\n", text.toLocal8Bit().constData());
}

void printJson(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    printOut(QString::fromUtf8(doc.toJson(QJsonDocument::Indented)));
}

// Progress on standard error, only where a person watches it.
void progress(const QString &text)
{
    static const bool terminal = ::isatty(STDERR_FILENO);
    if (terminal)
        std::fprintf(stderr, "\r%s\033[K", text.toLocal8Bit().constData());
}

void progressDone()
{
    progress(QString());
}

// Runs the event loop until `done` says so, the time is up (-1: no limit)
// or SIGINT/SIGTERM came; the result of `done`.
bool waitFor(const std::function<bool()> &done, qint64 timeoutMs = -1)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer elapsed;
    elapsed.start();
    auto check = [&] {
        if (done() || stopAsked || (timeoutMs >= 0 && elapsed.elapsed() > timeoutMs))
            loop.quit();
    };
    // Looked at whenever the events in hand are done, so the next step
    // follows at once; the timer only watches the clock and the signals.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &loop, check);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, check);
    tick.start(50);
    loop.exec();
    return done();
}

// What the logic said since `from`, once it has been posted (the windows'
// boxes open after the event in hand).
QString saidSince(const CliDialogs &dialogs, qsizetype from)
{
    waitFor([&] { return dialogs.messages.size() > from; }, 1000);
    return dialogs.textsFrom(from).trimmed();
}

QString hex4(int reg)
{
    return QStringLiteral("0x") +
        QString::number(reg, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// A controller session: the configuration window's logic on a line of its
// own, with the dialogs of the command line.
class Talk
{
public:
    explicit Talk(const Context &c)
        : m_line(CliLine::create(c.line))
        , m_settings(c.line)
        , m_session(
              *m_line, [s = c.line] { return s; }, actions(this))
    {
        m_session.setupView().resetView();
        MonitorEngine &e = engine();
        auto cycle = e.hooks.setupCycleDone;
        e.hooks.setupCycleDone = [this, cycle] {
            if (cycle)
                cycle();
            ++setupCycles;
        };
        auto single = e.hooks.singleWriteEnded;
        e.hooks.singleWriteEnded = [this, single](const SingleWriteReport &r) {
            if (single)
                single(r);
            singleReports.append(r);
        };
        auto ended = e.hooks.writeAllEnded;
        e.hooks.writeAllEnded = [this, ended](const BatchWriteReport &r) {
            if (ended)
                ended(r);
            writeAllReport = r;
            writeAllDone = true;
        };
    }
    ~Talk()
    {
        // The request in flight is let finish first: its reply would
        // otherwise wait on the line for the next program to open it.
        for (int n = 1; n <= SlotCount; ++n)
            engine().DisconnectSlot(n);
        waitFor([this] { return !engine().state().RequestOutstanding; }, 1000);
        engine().FormClose();
    }

    MonitorEngine &engine() { return m_session.engine(); }
    MonitorSession &session() { return m_session; }
    CliDialogs dialogs;
    std::optional<CompareReport> report; // the last comparison shown
    int setupCycles = 0;
    QList<SingleWriteReport> singleReports;
    BatchWriteReport writeAllReport;
    bool writeAllDone = false;

    // Opens the line as the window does when it is shown.
    bool open()
    {
        engine().FormShow();
        if (engine().holdsPort())
            return true;
        printErr(
            QStringLiteral("%1: %2").arg(CliLine::describe(m_settings), saidSince(dialogs, 0)));
        return false;
    }

    // Connects the addresses into slots 1.. (at most four) and waits until
    // each controller has identified itself, or has let two requests in a
    // row go unanswered. The addresses that did not answer.
    QList<int> connect(const QList<int> &addresses)
    {
        start(addresses);
        QList<int> silent;
        for (int i = 0; i < addresses.size(); ++i)
            if (!settle(i + 1))
                silent << addresses.at(i);
        return silent;
    }

    // Opens the line and connects one controller; false (said) when either
    // fails.
    bool openOne(int address)
    {
        if (!open())
            return false;
        if (connect({address}).isEmpty())
            return true;
        saySilent(address);
        return false;
    }

    // Connects the addresses into slots 1.. (at most four), as the window's
    // "Connect" buttons do.
    void start(const QList<int> &addresses)
    {
        for (int i = 0; i < addresses.size(); ++i) {
            engine().setComAddr(i + 1, addresses.at(i));
            engine().ConnectSlot(i + 1);
        }
    }

    // Waits until the controller of slot n has identified itself (true), or
    // has let two requests in a row go unanswered: then the slot is
    // disconnected (false).
    bool settle(int n)
    {
        const SlotState &s = engine().state().at(n);
        waitFor(
            [&] { return !s.DeviceRequested || s.identified || s.TimeoutRun >= UnansweredRun; });
        if (s.identified)
            return true;
        engine().DisconnectSlot(n);
        return false;
    }

    // Says on standard error that the controller did not answer.
    void saySilent(int address) const
    {
        printErr(QStringLiteral("address %1: no reply on %2")
                     .arg(address)
                     .arg(CliLine::describe(m_settings)));
    }

    // The messages the logic gave since `from`.
    QString lastMessages(qsizetype from) const { return dialogs.textsFrom(from); }

    // Waits until the selected controller's whole setup is in the image and
    // shown by the setup view; false when it cannot come.
    bool waitWhole()
    {
        bool answered = false;
        bool whole = false;
        engine().whenImageWhole(QStringLiteral("Read"), [&](bool ok) {
            answered = true;
            whole = ok;
        });
        waitFor([&] { return answered; });
        if (!whole)
            return false;
        return waitFor([&] { return m_session.setupView().setupShown(); }, 10000);
    }

private:
    static constexpr int UnansweredRun = 2;

    static MonitorSessionActions actions(Talk *t)
    {
        MonitorSessionActions a;
        a.showReport = [t](const CompareReport &r) { t->report = r; };
        return a;
    }

    std::unique_ptr<Line> m_line;
    LineSettings m_settings;
    MonitorSession m_session;
};

// Where a parameter the user names is: its setup view field, or a register
// the view does not show.
struct ParameterRef
{
    QString name; // as the user wrote it
    int reg = 0;
    int field = -1; // SetupField, -1 for none
};

int parseRegister(const QString &text)
{
    static const QRegularExpression hex(
        QStringLiteral("^(?:0x([0-9a-f]{1,4})|([0-9a-f]{1,4})h|([0-9a-f]{4}))$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = hex.match(text);
    if (!m.hasMatch())
        return -1;
    for (int i = 1; i <= 3; ++i)
        if (!m.captured(i).isEmpty())
            return m.captured(i).toInt(nullptr, 16);
    return -1;
}

// The rows that carry a code or write a register; the row shown on this
// controller first.
ParameterRef findParameter(const QString &name, const SetupViewModel &model)
{
    ParameterRef ref;
    ref.name = name;
    const int reg = parseRegister(name);
    QList<const SetupRow *> rows;
    for (const SetupRow &row : SetupRows()) {
        const bool byCode = reg < 0 && *row.code &&
            QString::fromLatin1(row.code).compare(name, Qt::CaseInsensitive) == 0;
        if (byCode || (reg >= 0 && row.reg == reg))
            rows << &row;
    }
    std::stable_sort(rows.begin(), rows.end(), [&](const SetupRow *a, const SetupRow *b) {
        return model.at(a->field).visible && !model.at(b->field).visible;
    });
    if (!rows.isEmpty()) {
        ref.field = int(rows.first()->field);
        ref.reg = rows.first()->reg;
        return ref;
    }
    if (reg < 0)
        throw CliUsageError {QStringLiteral("'%1' is neither a parameter code such as P1-3 nor "
                                            "a register number such as 0x4701")
                                 .arg(name)};
    if (!FindRegister(reg))
        throw CliUsageError {QStringLiteral("the controller has no register %1").arg(hex4(reg))};
    ref.reg = reg;
    return ref;
}

// A field's value as the setup view shows it.
QString fieldText(const SetupControlState &c, bool list)
{
    if (!list)
        return c.text.trimmed();
    return c.position >= 0 && c.position < c.items.size() ? c.items.at(c.position) : QString();
}

// What `get` and `set` print for a parameter.
QString valueOf(Talk &t, const ParameterRef &ref)
{
    const SetupViewModel &model = t.session().setupView().model();
    if (ref.field >= 0) {
        const SetupField f = SetupField(ref.field);
        return fieldText(model.at(f), RowOf(f).list);
    }
    const ParameterImage &image = t.engine().image();
    const int entry = ParameterImage::entryOfRegister(ref.reg);
    if (entry >= 0)
        return SetupCompare::EntryText(image, entry);
    if (ref.reg == Reg::ProcessValue)
        return t.engine().view().at(t.engine().state().SelectedDevice).pvText.trimmed();
    if (ref.reg == Reg::Firmware)
        return FirmwareVersionText(image[ParameterImage::FirmwareMajorEntry],
                                   image[ParameterImage::FirmwareMinorEntry]);
    throw CliUsageError {
        QStringLiteral("%1 is not a parameter the program reads").arg(WriteAll::describe(ref.reg))};
}

QJsonObject jsonOf(const ParameterRef &ref, const QString &value)
{
    const RegisterInfo *info = FindRegister(ref.reg);
    QJsonObject o;
    o[QStringLiteral("parameter")] = ref.name;
    o[QStringLiteral("code")] = info ? info->code : QString();
    o[QStringLiteral("register")] = hex4(ref.reg);
    o[QStringLiteral("name")] = WriteAll::describe(ref.reg);
    o[QStringLiteral("value")] = value;
    return o;
}

// A parameter as `get` and `set` print it: a line, or an entry of the JSON
// array printed at the end.
void printParameter(const Context &c, QJsonArray &json, const ParameterRef &ref,
                    const QString &value)
{
    if (c.json)
        json.append(jsonOf(ref, value));
    else
        printOut(QStringLiteral("%1: %2\n").arg(WriteAll::describe(ref.reg), value));
}

QList<int> addressesOf(const QStringList &args)
{
    QList<int> out;
    for (const QString &a : args)
        out << address(a);
    return out;
}

QString backupName(int address, int modelCode, const QDate &date)
{
    const QString model = QString::number(modelCode, 16).toUpper();
    return QStringLiteral("duva-addr%1-%2-%3.%4")
        .arg(address, 3, 10, QLatin1Char('0'))
        .arg(model, date.toString(QStringLiteral("yyyy-MM-dd")), ParameterFile::Extension);
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

int wholeNumber(const QString &option, const QString &text, int low, int high)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        throw CliUsageError {QStringLiteral("%1: '%2' is not a number %3 to %4")
                                 .arg(option, text)
                                 .arg(low)
                                 .arg(high)};
    return v;
}

void needArgs(const Context &c, int low, int high, const QString &usage)
{
    if (c.args.size() < low || (high >= 0 && c.args.size() > high))
        throw CliUsageError {QStringLiteral("usage: duva-cli %1").arg(usage)};
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

int address(const QString &arg)
{
    return wholeNumber(QStringLiteral("address"), arg, 1, 247);
}

int scan(const Context &c)
{
    needArgs(c, 0, 0, QStringLiteral("scan [--from N] [--to M]"));
    const QCommandLineParser &p = *c.parser;
    const int first = p.isSet(QStringLiteral("from"))
        ? wholeNumber(QStringLiteral("--from"), p.value(QStringLiteral("from")), 1, 247)
        : 1;
    const int last = p.isSet(QStringLiteral("to"))
        ? wholeNumber(QStringLiteral("--to"), p.value(QStringLiteral("to")), 1, 247)
        : 247;
    if (last < first)
        throw CliUsageError {QStringLiteral("--to %1 is below --from %2").arg(last).arg(first)};

    CliDialogs dialogs;
    std::unique_ptr<Line> line = CliLine::create(c.line);
    FindLogic find(*line, [s = c.line] { return s; });
    find.FormShow();
    if (!find.holdsPort()) {
        printErr(QStringLiteral("%1: %2").arg(CliLine::describe(c.line), saidSince(dialogs, 0)));
        return Failed;
    }
    find.ScanBtClick(first, last);
    QObject::connect(&find, &FindLogic::changed, [&find, &c] {
        if (!c.quiet && find.view().running)
            progress(find.view().status);
    });
    waitFor([&] { return !find.view().running; });
    progressDone();
    if (find.view().running)
        find.CancelBtClick();
    const QList<FindRow> rows = find.view().rows;
    if (c.json) {
        QJsonArray out;
        for (const FindRow &r : rows)
            out.append(QJsonObject {{QStringLiteral("address"), r.address.toInt()},
                                    {QStringLiteral("model"), r.model},
                                    {QStringLiteral("firmware"), r.firmware},
                                    {QStringLiteral("garbled"), r.garbled}});
        printJson(out);
    } else {
        for (const FindRow &r : rows)
            printOut(QStringLiteral("%1\t%2\t%3\n").arg(r.address, r.model, r.firmware));
    }
    if (!c.quiet)
        std::fprintf(stderr, "%s\n", find.view().status.toLocal8Bit().constData());
    find.FormClose();
    return Done;
}

int get(const Context &c)
{
    needArgs(c, 2, -1, QStringLiteral("get ADDR CODE|REGISTER..."));
    const int addr = address(c.args.first());
    Talk t(c);
    // Every name is checked before the line is used.
    for (const QString &name : c.args.mid(1))
        findParameter(name, t.session().setupView().model());
    if (!t.openOne(addr))
        return Failed;
    if (!t.waitWhole()) {
        printErr(QStringLiteral("address %1: %2").arg(addr).arg(saidSince(t.dialogs, 0)));
        return Failed;
    }
    QJsonArray json;
    for (const QString &name : c.args.mid(1)) {
        const ParameterRef ref = findParameter(name, t.session().setupView().model());
        printParameter(c, json, ref, valueOf(t, ref));
    }
    if (c.json)
        printJson(json);
    return Done;
}

int set(const Context &c)
{
    needArgs(c, 2, -1, QStringLiteral("set ADDR CODE=VALUE..."));
    const int addr = address(c.args.first());
    Talk t(c);
    QList<QPair<QString, QString>> changes;
    for (const QString &arg : c.args.mid(1)) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0)
            throw CliUsageError {QStringLiteral("'%1' is not CODE=VALUE").arg(arg)};
        changes.append({arg.left(eq), arg.mid(eq + 1)});
        const ParameterRef ref =
            findParameter(changes.last().first, t.session().setupView().model());
        if (ref.field < 0)
            throw CliUsageError {QStringLiteral("%1 is not a parameter the setup view changes")
                                     .arg(WriteAll::describe(ref.reg))};
    }
    if (!t.openOne(addr))
        return Failed;
    int status = Done;
    QJsonArray json;
    for (const auto &[name, value] : changes) {
        if (!t.waitWhole()) {
            printErr(QStringLiteral("address %1: %2").arg(addr).arg(saidSince(t.dialogs, 0)));
            return Failed;
        }
        SetupViewLogic &view = t.session().setupView();
        const ParameterRef ref = findParameter(name, view.model());
        const SetupField field = SetupField(ref.field);
        const SetupRow &row = RowOf(field);
        if (!view.model().at(row.box).visible && !view.factoryShown()) {
            // The factory rows show after the access code, as in the window.
            const int cycles = t.setupCycles;
            view.PassEditChange(SetupViewLogic::AccessCode);
            waitFor([&] { return t.setupCycles > cycles; }, 15000);
        }
        const SetupControlState &shown = view.model().at(field);
        if (!shown.visible || !shown.enabled || !view.model().at(row.box).enabled) {
            printErr(QStringLiteral("%1 cannot be changed on this controller now%2")
                         .arg(WriteAll::describe(ref.reg),
                              view.model().at(SetupField::ComWrite).position == 0
                                  ? QStringLiteral(": its on-line configuration is off")
                                  : QString()));
            status = Failed;
            continue;
        }
        const qsizetype reportsBefore = t.singleReports.size();
        const int noticeBefore = view.model().noticeSerial;
        if (row.list) {
            int position = int(shown.items.indexOf(value.trimmed()));
            for (int i = 0; position < 0 && i < shown.items.size(); ++i)
                if (shown.items.at(i).compare(value.trimmed(), Qt::CaseInsensitive) == 0)
                    position = i;
            bool number = false;
            const int asNumber = value.toInt(&number);
            if (position < 0 && number && asNumber >= 0 && asNumber < shown.items.size())
                position = asNumber;
            if (position < 0)
                throw CliUsageError {
                    QStringLiteral("%1 takes one of: %2 (or a position from 0)")
                        .arg(WriteAll::describe(ref.reg), shown.items.join(QStringLiteral(", ")))};
            view.CtrlSetSelect(field, position);
        } else {
            view.OnKeyPress(field, QLatin1Char('\r'), value);
        }
        if (!t.engine().busy() && t.singleReports.size() == reportsBefore)
            throw CliUsageError {QStringLiteral("'%1' is not a value %2 takes")
                                     .arg(value, WriteAll::describe(ref.reg))};
        // The write ends (the unlock first where the register needs it);
        // after its echo the setup is read back and shown.
        waitFor([&] { return !t.engine().busy(); });
        const int cycles = t.setupCycles;
        waitFor([&] { return t.setupCycles > cycles; }, 15000);
        bool refused = view.model().noticeSerial != noticeBefore;
        for (qsizetype i = reportsBefore; i < t.singleReports.size(); ++i)
            refused = refused || t.singleReports.at(i).outcome != WriteOutcome::Written;
        if (refused) {
            QString why =
                view.model().noticeSerial != noticeBefore ? view.model().notice : QString();
            for (qsizetype i = reportsBefore; why.isEmpty() && i < t.singleReports.size(); ++i)
                why = QStringLiteral("%1: %2").arg(WriteAll::describe(t.singleReports.at(i).reg),
                                                   t.singleReports.at(i).why);
            printErr(why);
            status = Failed;
        }
        printParameter(c, json, ref, valueOf(t, ref));
    }
    if (c.json)
        printJson(json);
    return status;
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
    Talk t(c);
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

    Talk t(c);
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
    std::unique_ptr<Talk> t;
    if (!addresses.isEmpty()) {
        t = std::make_unique<Talk>(c);
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

int programGet(const Context &c)
{
    needArgs(c, 1, 2, QStringLiteral("program get ADDR [FILE]"));
    const int addr = address(c.args.at(0));
    const QString file = c.args.value(1);
    Talk t(c);
    if (!t.openOne(addr))
        return Failed;
    RampSoakProgram program;
    bool ended = false;
    bool complete = false;
    QString why;
    t.engine().hooks.programReply = [&](int phase, int firstStep, const QList<quint16> &words) {
        ProgramTransfer::applyReply(program, phase, firstStep, words);
        if (!c.quiet && phase == 4)
            progress(QStringLiteral("reading step %1 of 64").arg(firstStep + 4));
    };
    t.engine().hooks.programReadEnded = [&](bool whole, const QString &reason) {
        ended = true;
        complete = whole;
        why = reason;
    };
    if (!t.engine().requestProgramRead()) {
        printErr(QStringLiteral("address %1: the program read did not start").arg(addr));
        return Failed;
    }
    waitFor([&] { return ended; });
    progressDone();
    if (!complete) {
        printErr(QStringLiteral("address %1: Read from Duva did not finish: %2.")
                     .arg(addr)
                     .arg(why.isEmpty() ? QStringLiteral("the controller is no longer connected")
                                        : why));
        return Failed;
    }
    if (!file.isEmpty()) {
        const QString failure = ProgramFile::write(file, program);
        if (!failure.isEmpty()) {
            printErr(QStringLiteral("Can not save file %1 : %2").arg(file, failure));
            return Failed;
        }
    }
    if (c.json) {
        QJsonArray values;
        for (int p = 0; p < RampSoakProgram::Values; ++p)
            values.append(program.atPosition(p));
        printJson(
            QJsonObject {{QStringLiteral("address"), addr}, {QStringLiteral("values"), values}});
    } else if (file.isEmpty()) {
        printOut(QString::fromLatin1(ProgramFile::encode(program)).remove(QLatin1Char('\r')));
    }
    return Done;
}

int programPut(const Context &c)
{
    needArgs(c, 2, 2, QStringLiteral("program put ADDR FILE"));
    const int addr = address(c.args.at(0));
    const QString file = c.args.at(1);
    const ProgramFile::ReadResult read = ProgramFile::read(file);
    using K = ProgramFile::ReadResult::Kind;
    if (read.kind != K::Ok) {
        const QString why = read.kind == K::Missing ? ProgramFile::MissingFile
            : read.kind == K::Unreadable
            ? QStringLiteral("Can not open file %1 : %2").arg(file, read.reason)
            : read.kind == K::DataLength ? ProgramFile::DataLengthError
            : read.kind == K::BadToken   ? ProgramFile::BadTokenMessage(read.token)
                                         : ProgramFile::OutOfRangeMessage(read.token);
        throw CliUsageError {QStringLiteral("%1: %2").arg(file, why)};
    }
    Talk t(c);
    if (!t.openOne(addr))
        return Failed;
    std::optional<BatchWriteReport> report;
    t.engine().hooks.programWriteProgress = [&](int done) {
        if (!c.quiet)
            progress(QStringLiteral("writing %1 of %2").arg(done).arg(RampSoakProgram::Values));
    };
    t.engine().hooks.programWriteEnded = [&](const BatchWriteReport &r) { report = r; };
    if (!t.engine().startProgramWrite(ProgramTransfer::writes(read.program))) {
        printErr(QStringLiteral("address %1: the program write did not start").arg(addr));
        return Failed;
    }
    waitFor([&] { return report.has_value(); });
    progressDone();
    if (!report)
        return Failed;
    QStringList notWritten;
    for (const RegisterWrite &w : report->notWritten)
        notWritten << WriteAll::describe(w.reg);
    if (!report->complete) {
        printErr(QStringLiteral("address %1: Write to Duva did not finish: %2.")
                     .arg(addr)
                     .arg(report->why.isEmpty()
                              ? QStringLiteral("the controller is no longer connected")
                              : report->why));
    } else if (!notWritten.isEmpty()) {
        printErr(QStringLiteral("address %1: the controller did not take these values:\n%2")
                     .arg(addr)
                     .arg(notWritten.join(QLatin1Char('\n'))));
    }
    return report->complete && notWritten.isEmpty() ? Done : Failed;
}

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
    waitFor([&] {
        return stopAsked || !acq.recording() || (duration >= 0 && elapsed.elapsed() >= duration);
    });
    const bool ranOut = !acq.recording();
    if (acq.recording())
        acq.StartBtClick(); // STOP: the record file ends with "End"
    acq.FormClose();
    if (ranOut || dialogs.messages.size() > before) {
        const QString said = dialogs.textsFrom(before).trimmed();
        if (!said.isEmpty())
            printErr(said);
        return ranOut ? Failed : Done;
    }
    return Done;
}

} // namespace CliCommands
