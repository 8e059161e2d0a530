#pragma once

#include "app/comsettings.h"

#include <QString>

// The one-line settings file SETDUVA.$$$ in the working directory.
extern const char SettingsFileName[];

// Loads the settings file from `dir` into `settings`. A missing file selects
// the defaults without a message. A file that is not a regular file, cannot
// be read, or whose first line is not an integer, throws DuvaError and leaves
// `settings` unchanged; the text names the file, shows the line with its
// unprintable bytes as \xNN and says that the defaults are used.
void LoadSettingsFile(ComSettings &settings, const QString &dir = QStringLiteral("."));

// Writes the code of `settings` as one decimal line ended by CR LF. The old
// file survives a failed save; the failure is thrown as DuvaError with the
// file name and the reason.
void SaveSettingsFile(const ComSettings &settings, const QString &dir = QStringLiteral("."));

// The network line's file SETDUVA.NET beside it: lines "key=value" ended by
// CR LF, in this order:
//     line=serial | device-server | gateway
//     host=10.0.0.5
//     port=4001
//     margin=300
//     echo=automatic | on | off
//     timeout=auto | 1..60000 (ms; auto: each window's own reply window)
//     retries=auto | 0..20 (auto: each window's own)
//     pause=0..10000 (ms between the end of one exchange and the next request)
// The last four may be missing (older files): they then take these
// defaults, automatic, auto, auto and 0. A missing file is a serial line (nothing else changes). A
// file that is not a regular file, cannot be read, or holds anything else (an unknown key or line
// kind, an empty host, a port outside 1..65535, a margin outside 0..5000 ms) throws DuvaError
// naming the file and the line, and leaves `settings` unchanged.
extern const char NetworkFileName[];
void LoadNetworkFile(ComSettings &settings, const QString &dir = QStringLiteral("."));
// Writes the network line of `settings` whole; a failed save keeps the old
// file and throws DuvaError with the file name and the reason.
void SaveNetworkFile(const ComSettings &settings, const QString &dir = QStringLiteral("."));
