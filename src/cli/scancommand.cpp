// duva-cli scan: which controllers answer on the line.
#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/cliparameters.h"
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
    find.FormShow();
    if (!find.holdsPort()) {
        printErr(QStringLiteral("%1: %2").arg(CliLine::describe(c.line), saidSince(dialogs, 0)));
        return Failed;
    }
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

} // namespace CliCommands
