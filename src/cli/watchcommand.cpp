// duva-cli watch: parameters polled and printed line by line, for a person
// watching or a script collecting them.
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "program/programtransfer.h"
#include "setup/registermap.h"
#include "setup/setupcontrols.h"
#include "setup/setupview.h"
#include "setup/writeall.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

namespace CliCommands {

int watch(const Context &c)
{
    needArgs(c, 1, -1, QStringLiteral("watch ADDR [CODE|REGISTER...] [--interval S] [--count N]"));
    const QCommandLineParser &p = *c.parser;
    const int addr = address(c.args.first());
    const int interval = p.isSet(QStringLiteral("interval"))
        ? wholeNumber(QStringLiteral("--interval"), p.value(QStringLiteral("interval")), 1, 3600)
        : 1;
    const int count = p.isSet(QStringLiteral("count"))
        ? wholeNumber(QStringLiteral("--count"), p.value(QStringLiteral("count")), 1, 1000000000)
        : -1;
    const bool csv = p.isSet(QStringLiteral("csv"));
    CliTalk t(c);
    QStringList names = c.args.mid(1);
    if (names.isEmpty())
        names << hex4(Reg::ProcessValue); // the process value
    QList<ParameterRef> refs;
    for (const QString &name : names)
        refs << findParameters(name, t.session().setupView().model());
    bool setup = false;
    bool program = false;
    for (const ParameterRef &ref : refs) {
        program = program || ref.program();
        setup = setup || (!ref.program() && ref.reg != Reg::ProcessValue);
    }
    if (!t.openOne(addr))
        return Failed;
    if (setup && !t.waitWhole()) {
        printErr(QStringLiteral("address %1: %2").arg(addr).arg(saidSince(t.dialogs, 0)));
        return Failed;
    }
    if (csv) {
        QStringList top {QStringLiteral("Time")};
        for (const ParameterRef &ref : refs)
            top << csvFieldOf(nameOf(ref.reg));
        printOut(top.join(QLatin1Char(',')) + QLatin1Char('\n'));
    }
    int status = Done;
    for (int n = 0; count < 0 || n < count; ++n) {
        if (n > 0) {
            waitFor([] { return false; }, qint64(interval) * 1000);
            if (interrupted())
                break;
        }
        // Fresh values: the setup read again, the program read again; the
        // process value is polled all the time.
        if (setup) {
            const int cycles = t.setupCycles;
            t.engine().requestSetupRead();
            if (!waitFor([&] { return t.setupCycles > cycles; }, 15000)) {
                if (interrupted())
                    break;
                printErr(QStringLiteral("address %1: the setup could not be read").arg(addr));
                status = Failed;
                break;
            }
        }
        QMap<int, int> values;
        if (program && !readProgram(t, addr, values)) {
            status = Failed;
            break;
        }
        const QString time =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QStringList cells {time};
        QJsonArray parameters;
        for (const ParameterRef &ref : refs) {
            const QString value = valueOf(t, ref, values);
            parameters.append(jsonOf(ref, value));
            cells << (csv ? csvFieldOf(value)
                          : QStringLiteral("%1=%2").arg(
                                FindRegister(ref.reg) && !FindRegister(ref.reg)->code.isEmpty()
                                    ? FindRegister(ref.reg)->code
                                    : hex4(ref.reg),
                                value));
        }
        if (c.json)
            printJsonLine(QJsonObject {{QStringLiteral("time"), time},
                                       {QStringLiteral("address"), addr},
                                       {QStringLiteral("parameters"), parameters}});
        else
            printOut(cells.join(csv ? QStringLiteral(",") : QStringLiteral("  ")) +
                     QLatin1Char('\n'));
    }
    return status;
}

} // namespace CliCommands
