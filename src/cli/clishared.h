#pragma once

#include "cli/commands.h"

#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <atomic>
#include <functional>

class CliDialogs;

// What every command uses: printing, waiting on the event loop, and the
// checks of the arguments.
namespace CliCommands {

// The signal (SIGINT, SIGTERM, SIGHUP) that asked the command to stop, 0
// for none; every wait ends then.
extern std::atomic<int> stopAsked;

// While set: the loss of the command's line (empty while it is there). A
// wait ends when the line is lost, and the loss is said once.
extern std::function<QString()> lineLoss;
// Says `text` (naming the line and the reason) on standard error, once per
// run; false when it is empty.
bool sayLoss(const QString &text);

// Standard output, checked: the first write that fails ends every wait and
// the command's exit status says so (outputFailure() names the reason).
void printOut(const QString &text);
QString outputFailure();
// "duva-cli: TEXT" on standard error. Kept too for the "error" object of
// --json.
void printErr(const QString &text);
QString errorsSaid();
// The command's result for --json: one object, printed by main() once the
// command has ended (with its "error" object when it failed).
void printJson(const QJsonObject &value);
QJsonObject jsonResult();
// One JSON object on a line of its own, at once (record --json).
void printJsonLine(const QJsonObject &value);

// Progress on standard error, only where a person watches it.
void progress(const QString &text);
void progressDone();

// Runs the event loop until `done` says so, the time is up (-1: no limit)
// or, when `interruptible`, a signal came or standard output failed; or the
// line set in lineLoss is lost; the result of `done`.
bool waitFor(const std::function<bool()> &done, qint64 timeoutMs = -1, bool interruptible = true);
// -v: every frame sent and received is printed on standard error as the
// waits go by.
void traceFrames(bool on);
void printFrames();

// True once a signal or a failed standard output has ended the waits.
bool interrupted();

// What the logic said since `from`, once it has been posted (the windows'
// boxes open after the event in hand).
QString saidSince(const CliDialogs &dialogs, qsizetype from);

// A CSV field: quoted when it holds a comma, a quote or a line end.
QString csvFieldOf(const QString &text);

// "0x4701".
QString hex4(int reg);

QList<int> addressesOf(const QStringList &args);

// A whole number low..high given to `option`; bad usage otherwise.
int wholeNumber(const QString &option, const QString &text, int low, int high);

// The addresses --from N (1) to --to M (`last` when not given); bad usage
// when they are out of 1..247 or M is below N.
QPair<int, int> addressRange(const Context &c, int last);

// Bad usage unless the command has low..high arguments (high -1: no limit).
void needArgs(const Context &c, int low, int high, const QString &usage);

} // namespace CliCommands
