// duva-cli get and set: parameters as the setup view shows and takes them.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "setup/setupcontrols.h"
#include "setup/setupview.h"
#include "setup/writeall.h"

#include <QJsonArray>

namespace CliCommands {

int get(const Context &c)
{
    needArgs(c, 2, -1, QStringLiteral("get ADDR CODE|REGISTER..."));
    const int addr = address(c.args.first());
    CliTalk t(c);
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
    CliTalk t(c);
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

} // namespace CliCommands
