// duva-cli get and set: parameters as the setup view shows and takes them.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "program/programtransfer.h"
#include "setup/enumerations.h"
#include "setup/parameterimage.h"
#include "setup/registermap.h"
#include "setup/setupcontrols.h"
#include "setup/setupview.h"
#include "setup/writeall.h"

#include <QJsonArray>
#include <QMap>

#include <cmath>
#include <optional>

namespace CliCommands {

bool readProgram(CliTalk &t, int addr, QMap<int, int> &values)
{
    RampSoakProgram program;
    if (!readWholeProgram(t, addr, program, false))
        return false;
    for (const RegisterWrite &w : ProgramTransfer::writes(program))
        values[w.reg] = w.value;
    return true;
}

namespace {

// The list item a value names: its text (any case) or its position.
int listPosition(const SetupControlState &shown, const QString &value)
{
    int position = int(shown.items.indexOf(value.trimmed()));
    for (int i = 0; position < 0 && i < shown.items.size(); ++i)
        if (shown.items.at(i).compare(value.trimmed(), Qt::CaseInsensitive) == 0)
            position = i;
    bool number = false;
    const int asNumber = value.toInt(&number);
    if (position < 0 && number && asNumber >= 0 && asNumber < shown.items.size())
        position = asNumber;
    return position;
}

int positionOf(CliTalk &t, const ParameterRef &ref)
{
    if (ref.field < 0 || !RowOf(SetupField(ref.field)).list)
        return -1;
    return t.session().setupView().model().at(SetupField(ref.field)).position;
}

// One change as checked before anything is written.
struct Change
{
    ParameterRef ref;
    QString value;
    int word = 0; // what the register is to hold
    int position = -1; // a list's item
};

int decimalsOfProgram(int reg)
{
    const RegisterInfo *info = FindRegister(reg);
    return info && info->scale == ScaleKind::SignedTenths ? 1 : 0;
}

// The value checked against the register as the controller's setup stands
// now; CliFailure or CliUsageError when it cannot be written.
void check(CliTalk &t, Change &change)
{
    if (change.ref.program()) {
        change.word = checkEntry(change.ref, change.value, decimalsOfProgram(change.ref.reg));
        return;
    }
    SetupViewLogic &view = t.session().setupView();
    const SetupField field = SetupField(change.ref.field);
    const SetupRow &row = RowOf(field);
    if (row.list) {
        const SetupControlState &shown = view.model().at(field);
        change.position = listPosition(shown, change.value);
        if (change.position < 0)
            throw CliFailure {QStringLiteral("%1: '%2' is not one of %3 (or a position from 0)")
                                  .arg(nameOf(change.ref.reg), change.value,
                                       shown.items.join(QStringLiteral(", ")))};
        change.word =
            change.ref.reg == Reg::LockMode && change.position == 2 ? 0x000B : change.position;
        return;
    }
    change.word = checkEntry(change.ref, change.value, view.decimalsOf(field));
}

// What the controller holds now differs from what was written: the text
// shown, or empty when it holds the value.
QString differenceOf(CliTalk &t, const Change &change, const QMap<int, int> &program)
{
    if (change.ref.program())
        return (program.value(change.ref.reg, -1) & 0xFFFF) == change.word
            ? QString()
            : valueOf(t, change.ref, program);
    const SetupViewLogic &view = t.session().setupView();
    const SetupField field = SetupField(change.ref.field);
    const SetupControlState &shown = view.model().at(field);
    if (RowOf(field).list) {
        const int entry = ParameterImage::entryOfRegister(change.ref.reg);
        const bool same = entry >= 0 ? (t.engine().image()[entry] & 0xFFFF) == change.word
                                     : shown.position == change.position;
        return same ? QString() : fieldText(shown, true);
    }
    // As shown: a temperature without decimals is shown rounded to whole
    // units, so the value holds when it is within half of the last digit.
    const QString text = shown.text.trimmed();
    const QJsonValue held = numberOf(text);
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const int shownDecimals = point < 0 ? 0 : int(text.size() - point - 1);
    const double tolerance = 0.5 * std::pow(10.0, -shownDecimals) + 1e-9;
    const double wanted = change.value.trimmed().toDouble();
    if (held.isDouble() && std::fabs(held.toDouble() - wanted) <= tolerance)
        return QString();
    return text.isEmpty() ? QStringLiteral("nothing") : text;
}

// What `params` says of a register's values: the decimals an entry keeps
// (a scaled value follows the controller's decimal point: one for a
// temperature) and the unit.
int paramDecimals(const RegisterInfo &info)
{
    switch (info.scale) {
    case ScaleKind::Scaled:
    case ScaleKind::Tenths:
    case ScaleKind::UnsignedTenths:
    case ScaleKind::SignedTenths:
        return 1;
    case ScaleKind::Hundredths:
        return 2;
    default:
        return 0;
    }
}

// A register's caption alone: "Proportion Band".
QString captionOf(int reg)
{
    QString name = nameOf(reg);
    const RegisterInfo *info = FindRegister(reg);
    if (info && !info->code.isEmpty() && name.startsWith(info->code + QLatin1Char(' ')))
        name = name.mid(info->code.size() + 1);
    const QString suffix = QStringLiteral(" (%1)").arg(hex4(reg));
    if (name.endsWith(suffix))
        name.chop(suffix.size());
    return name;
}

QString unitOf(const RegisterInfo &info)
{
    if (info.address == Reg::Output1Level || info.address == Reg::Output2Level)
        return QStringLiteral("%");
    if (info.scale == ScaleKind::Scaled)
        return QStringLiteral("input unit");
    if (info.address >= ProgramReg::StepBase && (info.address - ProgramReg::StepBase) % 2 == 1)
        return QStringLiteral("min");
    return QString();
}

} // namespace

int params(const Context &c)
{
    needArgs(c, 0, 0, QStringLiteral("params"));
    QJsonArray json;
    QStringList programCodes;
    for (const RegisterInfo &info : RegisterMap()) {
        // Every register a user names: a code, or a row of the setup view.
        bool row = false;
        for (const SetupRow &r : SetupRows())
            row = row || r.reg == info.address;
        if (info.code.isEmpty() && !row)
            continue;
        // The program codes stand for eight or sixty-four registers: one
        // line for each code.
        if (info.address > ProgramReg::StartPattern) {
            if (programCodes.contains(info.code))
                continue;
            programCodes << info.code;
        }
        const Enumeration *e = EnumerationFor(info.address);
        const bool list = info.scale == ScaleKind::List || info.scale == ScaleKind::Bits;
        const EntryRange range = rangeOf(info.address, paramDecimals(info));
        QJsonObject o {{QStringLiteral("code"), info.code},
                       {QStringLiteral("register"), hex4(info.address)},
                       {QStringLiteral("name"), nameOf(info.address)},
                       {QStringLiteral("unit"), unitOf(info)}};
        QString values;
        if (list && e) {
            QJsonArray items;
            for (const EnumItem &item : e->items)
                if (!item.text.isEmpty())
                    items.append(QJsonObject {{QStringLiteral("value"), item.value},
                                              {QStringLiteral("text"), item.text}});
            o[QStringLiteral("items")] = items;
            QStringList texts = e->texts();
            texts.removeAll(QString());
            values = texts.join(QStringLiteral(", "));
        } else if (!list) {
            o[QStringLiteral("min")] = range.low / std::pow(10.0, range.decimals);
            o[QStringLiteral("max")] = range.high / std::pow(10.0, range.decimals);
            o[QStringLiteral("decimals")] = range.decimals;
            values = range.text();
            if (info.scale == ScaleKind::Scaled)
                values += QStringLiteral(" (decimals follow the decimal point)");
        }
        const bool writable = info.write != WriteForm::None;
        o[QStringLiteral("writable")] = writable;
        json.append(o);
        if (!c.json)
            printOut(
                QStringLiteral("%1\t%2\t%3\t%4%5\n")
                    .arg(info.code.isEmpty() ? QStringLiteral("-") : info.code, hex4(info.address),
                         captionOf(info.address), values,
                         unitOf(info).isEmpty() ? QString() : QStringLiteral(" ") + unitOf(info)));
    }
    if (c.json)
        printJson(QJsonObject {{QStringLiteral("parameters"), json}});
    return Done;
}

int get(const Context &c)
{
    needArgs(c, 1, -1, QStringLiteral("get ADDR [CODE|REGISTER...]"));
    const int addr = address(c.args.first());
    CliTalk t(c);
    // Every name is checked before the line is used.
    for (const QString &name : c.args.mid(1))
        findParameters(name, t.session().setupView().model());
    if (!t.openOne(addr))
        return Failed;
    if (!t.waitWhole()) {
        printErr(QStringLiteral("address %1: %2").arg(addr).arg(saidSince(t.dialogs, 0)));
        return Failed;
    }
    const SetupViewModel &model = t.session().setupView().model();
    QList<ParameterRef> refs;
    if (c.args.size() == 1) {
        // The whole setup: every row the setup view shows for this
        // controller, in its order.
        for (const SetupRow &row : SetupRows()) {
            if (!row.reg || !model.at(row.field).visible || !model.at(row.box).visible)
                continue;
            ParameterRef ref;
            ref.name = QString::fromLatin1(*row.code ? row.code : row.name);
            ref.reg = t.session().setupView().registerOf(row.field);
            ref.field = int(row.field);
            refs << ref;
        }
    }
    for (const QString &name : c.args.mid(1))
        refs << findParameters(name, model);
    QMap<int, int> program;
    for (const ParameterRef &ref : refs)
        if (ref.program() && program.isEmpty() && !readProgram(t, addr, program))
            return Failed;
    QJsonArray json;
    for (const ParameterRef &ref : refs)
        printParameter(c, json, ref, valueOf(t, ref, program), positionOf(t, ref));
    if (c.json)
        printJson(
            QJsonObject {{QStringLiteral("address"), addr}, {QStringLiteral("parameters"), json}});
    return Done;
}

int set(const Context &c)
{
    needArgs(c, 2, -1, QStringLiteral("set ADDR CODE=VALUE..."));
    const int addr = address(c.args.first());
    CliTalk t(c);
    QList<Change> changes;
    for (const QString &arg : c.args.mid(1)) {
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq <= 0)
            throw CliUsageError {QStringLiteral("'%1' is not CODE=VALUE").arg(arg)};
        Change change;
        change.ref = findParameter(arg.left(eq), t.session().setupView().model());
        change.value = arg.mid(eq + 1);
        if (change.ref.field < 0 && !change.ref.program())
            throw CliUsageError {QStringLiteral("%1 is not a parameter the setup view changes")
                                     .arg(nameOf(change.ref.reg))};
        changes << change;
    }
    if (!t.openOne(addr))
        return Failed;
    if (!t.waitWhole()) {
        printErr(QStringLiteral("address %1: %2").arg(addr).arg(saidSince(t.dialogs, 0)));
        return Failed;
    }
    // Every value is checked before the first is written: one that cannot
    // be written leaves the controller as it was.
    for (Change &change : changes)
        check(t, change);

    int status = Done;
    QJsonArray json;
    for (Change &change : changes) {
        QMap<int, int> program;
        if (change.ref.program()) {
            std::optional<BatchWriteReport> report;
            t.engine().hooks.programWriteEnded = [&](const BatchWriteReport &r) { report = r; };
            if (t.engine().startProgramWrite({RegisterWrite {change.ref.reg, change.word}}))
                waitFor([&] { return report.has_value(); });
            t.engine().hooks.programWriteEnded = nullptr;
            if (!report || !report->complete || !report->notWritten.isEmpty()) {
                printErr(QStringLiteral("%1: the controller did not take %2%3")
                             .arg(nameOf(change.ref.reg), change.value,
                                  report && !report->why.isEmpty()
                                      ? QStringLiteral(" (%1)").arg(report->why)
                                      : QString()));
                status = Failed;
                continue;
            }
            if (!readProgram(t, addr, program))
                return Failed;
        } else {
            if (!t.waitWhole()) {
                printErr(QStringLiteral("address %1: %2").arg(addr).arg(saidSince(t.dialogs, 0)));
                return Failed;
            }
            SetupViewLogic &view = t.session().setupView();
            const SetupField field = SetupField(change.ref.field);
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
                             .arg(nameOf(change.ref.reg),
                                  view.model().at(SetupField::ComWrite).position == 0
                                      ? QStringLiteral(": its on-line configuration is off")
                                      : QString()));
                status = Failed;
                continue;
            }
            // An earlier change may have moved the decimal point or the
            // list: the value is checked again as things stand now.
            check(t, change);
            const qsizetype reportsBefore = t.singleReports.size();
            const int noticeBefore = view.model().noticeSerial;
            if (row.list)
                view.CtrlSetSelect(field, change.position);
            else
                view.OnKeyPress(field, QLatin1Char('\r'), change.value.trimmed());
            if (!t.engine().busy() && t.singleReports.size() == reportsBefore) {
                printErr(QStringLiteral("%1: '%2' was not written")
                             .arg(nameOf(change.ref.reg), change.value));
                status = Failed;
                continue;
            }
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
                    why = QStringLiteral("%1: %2").arg(nameOf(t.singleReports.at(i).reg),
                                                       t.singleReports.at(i).why);
                printErr(why);
                status = Failed;
                printParameter(c, json, change.ref, valueOf(t, change.ref),
                               positionOf(t, change.ref));
                continue;
            }
        }
        // What the controller holds now is what was asked for, or an error.
        const QString held = differenceOf(t, change, program);
        if (!held.isEmpty()) {
            printErr(QStringLiteral("%1: %2 was written, the controller holds %3")
                         .arg(nameOf(change.ref.reg), change.value.trimmed(), held));
            status = Failed;
        }
        if (!c.quiet || c.json)
            printParameter(c, json, change.ref, valueOf(t, change.ref, program),
                           positionOf(t, change.ref));
    }
    if (c.json)
        printJson(
            QJsonObject {{QStringLiteral("address"), addr}, {QStringLiteral("parameters"), json}});
    return status;
}

} // namespace CliCommands
