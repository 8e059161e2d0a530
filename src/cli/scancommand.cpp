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
    const auto [first, last] = addressRange(c, 247);

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
    // A line that is not reached is no empty line: said, and a failure.
    const auto notReached = [&] {
        printErr(QStringLiteral("The line was not reached: no address was asked"));
        find.FormClose();
        return Failed;
    };
    if (!CliLine::reached(*line, c.line))
        return notReached();
    lineLoss = [l = line.get()] { return l->deviceLost() ? l->lossText() : QString(); };
    find.ScanBtClick(first, last);
    QObject::connect(&find, &FindLogic::changed, [&find, &c] {
        if (!c.quiet && find.view().running)
            progress(find.view().status);
    });
    waitFor([&] { return !find.view().running; });
    lineLoss = nullptr;
    progressDone();
    if (line->deviceLost()) {
        find.CancelBtClick();
        sayLoss(line->lossText());
        printErr(QStringLiteral("The line was lost during the scan: the addresses after it "
                                "were not asked"));
        find.FormClose();
        return Failed;
    }
    if (find.view().running)
        find.CancelBtClick();
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
