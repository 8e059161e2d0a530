// duva-cli check-line: what is wrong with the line, in plain words.
#include "cli/cliline.h"
#include "cli/cliparameters.h"
#include "cli/clishared.h"
#include "find/linecheck.h"
#include "link/channelerror.h"

#include <QJsonArray>
#include <QJsonObject>

#include <memory>

namespace CliCommands {

int checkLine(const Context &c)
{
    needArgs(c, 0, 0, QStringLiteral("check-line [--from N] [--to M]"));
    const auto [first, last] = addressRange(c, 4);

    std::unique_ptr<Line> line = CliLine::create(c.line);
    LineCheck check(*line, [s = c.line] { return s; });
    line->setTriggerHandler(
        [&check](quint16 msg, quint16 handle, quint16 data) { check.take(msg, handle, data); });
    try {
        line->openWith(c.line);
    } catch (const ChannelError &e) {
        printErr(QStringLiteral("%1: %2").arg(CliLine::describe(c.line), e.text()));
        return Failed;
    }
    if (!CliLine::reached(*line, c.line)) {
        line->close();
        return Failed;
    }
    QObject::connect(&check, &LineCheck::progress, [&c](int address) {
        if (!c.quiet)
            progress(QStringLiteral("asking address %1").arg(address));
    });
    check.start(first, last);
    waitFor([&] { return !check.running(); });
    progressDone();
    const bool stopped = check.running();
    check.cancel();
    line->close();
    if (stopped)
        return Failed;

    const LineCheckResult &r = check.result();
    if (c.json) {
        QJsonArray findings;
        for (const LineFinding &f : r.findings)
            findings.append(
                QJsonObject {{QStringLiteral("kind"), f.kind}, {QStringLiteral("text"), f.text}});
        QJsonArray controllers;
        for (const CheckedController &k : r.controllers)
            controllers.append(QJsonObject {{QStringLiteral("address"), k.address},
                                            {QStringLiteral("turnaround_ms"), k.turnaroundMs}});
        printJson(
            QJsonObject {{QStringLiteral("findings"), findings},
                         {QStringLiteral("controllers"), controllers},
                         {QStringLiteral("latency_ms"),
                          r.latencyMs < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(r.latencyMs)},
                         {QStringLiteral("recommended"), r.recommended}});
    } else {
        printOut(QStringLiteral("Line: %1\n").arg(CliLine::describe(c.line)));
        for (const LineFinding &f : r.findings)
            printOut(QStringLiteral("%1: %2\n").arg(f.kind, f.text));
        if (r.findings.isEmpty())
            printOut(QStringLiteral("The line is clean.\n"));
        for (const CheckedController &k : r.controllers)
            printOut(QStringLiteral("address %1 answers after %2 ms\n")
                         .arg(k.address)
                         .arg(k.turnaroundMs));
        printOut(QStringLiteral("Adapter latency: %1\n")
                     .arg(r.latencyMs < 0 ? QStringLiteral("not measurable without an echo")
                                          : QStringLiteral("%1 ms").arg(r.latencyMs)));
        printOut(QStringLiteral("Recommended: %1\n").arg(r.recommended));
    }
    return r.clean() ? Done : Failed;
}

} // namespace CliCommands
