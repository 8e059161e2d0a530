#pragma once

#include "link/linesettings.h"

#include <QCommandLineParser>
#include <QStringList>

// The commands of duva-cli. Each drives the logic the windows use and
// prints what it found; it returns the exit status (0 done, 1 a controller
// refused or did not answer, or a file could not be read or written) and
// throws CliUsageError for bad usage, CliFailure for a failure said in one
// message.
namespace CliCommands {

enum Status { Done = 0, Failed = 1, BadUsage = 2 };

struct Context
{
    LineSettings line;
    const QCommandLineParser *parser = nullptr;
    QStringList args; // the command's own arguments
    bool json = false;
    bool quiet = false;
    bool verbose = false; // -v: every frame on standard error
    int waitSeconds = 0; // --wait: how long a busy port is waited for
};

int scan(const Context &c);
int get(const Context &c);
int set(const Context &c);
int backup(const Context &c);
int restore(const Context &c);
int diff(const Context &c);
int programGet(const Context &c);
int programPut(const Context &c);
int record(const Context &c);
int params(const Context &c);
int show(const Context &c);
int watch(const Context &c);
int checkLine(const Context &c);

// The address an argument names (1..247); bad usage otherwise.
int address(const QString &arg);

} // namespace CliCommands

// A failure said in one message (exit status 1): a file that cannot be
// read, a value the register cannot hold.
struct CliFailure
{
    QString text;
};
