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
