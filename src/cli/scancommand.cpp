// duva-cli scan: which controllers answer on the line.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/cliport.h"
#include "cli/clishared.h"
#include "cli/clitalk.h"
#include "find/findlogic.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <memory>

namespace CliCommands {

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
    const bool opened = CliPort::openLine(
        c, dialogs,
        [&find] {
            find.FormShow();
            return find.holdsPort();
        },
        [&find] { find.FormClose(); });
    if (!opened)
        return Failed;
    find.ScanBtClick(first, last);
    QObject::connect(&find, &FindLogic::changed, [&find, &c] {
        if (!c.quiet && find.view().running)
            progress(find.view().status);
    });
    waitFor([&] { return !find.view().running; });
    progressDone();
    const QList<FindRow> rows = find.view().rows;
    // A garbled reply is a problem of the line, not a controller: said on
    // standard error and in the exit status.
    QJsonArray controllers;
    QJsonArray problems;
    int status = Done;
    for (const FindRow &r : rows) {
        if (r.garbled) {
            printErr(QStringLiteral("address %1: %2").arg(r.address, r.model));
            problems.append(QJsonObject {{QStringLiteral("address"), r.address.toInt()},
                                         {QStringLiteral("problem"), r.model}});
            status = Failed;
            continue;
        }
        controllers.append(QJsonObject {{QStringLiteral("address"), r.address.toInt()},
                                        {QStringLiteral("model"), r.model},
                                        {QStringLiteral("firmware"), r.firmware}});
        if (!c.json)
            printOut(QStringLiteral("%1\t%2\t%3\n").arg(r.address, r.model, r.firmware));
    }
    const bool stopped = find.view().running;
    if (stopped)
        find.CancelBtClick();
    if (!c.quiet && !stopped && !controllers.isEmpty())
        std::fprintf(stderr, "%s\n", find.view().status.toLocal8Bit().constData());
    if (controllers.isEmpty() && !stopped) {
        printErr(QStringLiteral("no controller answered at addresses %1 to %2 on %3 at %4")
                     .arg(first)
                     .arg(last)
                     .arg(CliPort::label(c), FindLogic::SettingText(c.line)));
        status = Failed;
    }
    if (c.json)
        printJson(QJsonObject {{QStringLiteral("controllers"), controllers},
                               {QStringLiteral("problems"), problems}});
    find.FormClose();
    return status;
}

} // namespace CliCommands
