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

// Set by SIGINT/SIGTERM where a command asks for it; every wait ends then.
extern std::atomic<bool> stopAsked;

// While set: the loss of the command's line (empty while it is there). A
// wait ends when the line is lost, and the loss is said once.
extern std::function<QString()> lineLoss;
// Says `text` (naming the line and the reason) on standard error, once per
// run; false when it is empty.
bool sayLoss(const QString &text);

void printOut(const QString &text);
// "duva-cli: TEXT" on standard error.
void printErr(const QString &text);
void printJson(const QJsonValue &value);

// Progress on standard error, only where a person watches it.
void progress(const QString &text);
void progressDone();

// Runs the event loop until `done` says so, the time is up (-1: no limit),
// SIGINT/SIGTERM came or the line set in lineLoss is lost; the result of
// `done`.
bool waitFor(const std::function<bool()> &done, qint64 timeoutMs = -1);

// What the logic said since `from`, once it has been posted (the windows'
// boxes open after the event in hand).
QString saidSince(const CliDialogs &dialogs, qsizetype from);

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
