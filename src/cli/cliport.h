#pragma once

#include "cli/commands.h"

#include <QString>
#include <functional>

class CliDialogs;

// The port as the command line opens it: named in the user's terms, a busy
// port said once with its holder (and waited for with --wait), and its
// terminal settings put back however the program ends.
namespace CliPort {

// The line as the user named it: the device path given with --port, "COM1
// (/dev/ttyUSB0)" for a COM number, "HOST:PORT" for the network.
QString label(const CliCommands::Context &c);

// Opens the line through `open` (true when the port is held). A port that
// another program holds is tried again every half second for --wait
// seconds; `close` undoes a failed attempt. False when the line cannot be
// opened, said once on standard error naming the port (and its holder).
bool openLine(const CliCommands::Context &c, CliDialogs &dialogs, const std::function<bool()> &open,
              const std::function<void()> &close);

// Puts back the terminal settings the port had before the program opened
// it; nothing when it never held the port. Safe in a signal handler.
void restoreSettingsNow();

// Who holds the device open besides this program: "NAME (pid N)", or empty
// when nobody can be found.
QString holderOf(const QString &device);

} // namespace CliPort
