#pragma once

#include "link/line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <memory>

// The line options every command takes, and the line they make.
namespace CliLine {

// --port, --baud, --parity, --data, --stop, --ascii, --rtu, --network,
// --gateway, --timeout, --retries, --echo.
QList<QCommandLineOption> options();

// The settings of SETDUVA.$$$ in the working directory (as the windows use
// them), changed by the options given. A value the options do not take
// throws CliUsageError; a settings file the windows would refuse is said on
// `warning` and the defaults are used, as in the windows.
LineSettings settingsFrom(const QCommandLineParser &parser, QString *warning);

// How the line is named in messages: "COM1 (ASCII 9600 bit/s 7E1)".
QString describe(const LineSettings &settings);

// Whether the opened line reaches its device: a network line's connection is
// waited for (at most the connect time-out). When it does not, the reason
// (naming the host) is said on standard error.
bool reached(Line &line, const LineSettings &settings);

// The line the settings name. Nothing is opened yet.
std::unique_ptr<Line> create(const LineSettings &settings);

} // namespace CliLine

// Bad usage: the message, and exit status 2.
struct CliUsageError
{
    QString text;
};
