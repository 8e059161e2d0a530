#pragma once

#include <QByteArray>
#include <QString>

// The file handling the windows share: reading a small file whole, replacing
// a file safely, and asking where to write one.

// A file's bytes, or why there are none.
struct FileBytes
{
    enum class Kind { Ok, Missing, Unreadable };
    Kind kind = Kind::Ok;
    QByteArray bytes; // at most maxBytes + 1, so a longer file shows as longer
    QString reason; // the system's reason when Unreadable
};
FileBytes ReadFileBytes(const QString &path, qint64 maxBytes);

// Replaces the file at `path` with `bytes` through QSaveFile, so a failure
// leaves the old file as it was; the empty string on success, else the
// system's reason.
QString WriteFileWhole(const QString &path, const QByteArray &bytes);

// The save dialog of the program's dialogs; a name typed without an
// extension gets `suffix`, and an existing file is replaced only when the
// user answers OK to "Do you want to overwrite file : <name>". Empty when
// the user cancelled either.
QString ChooseFileToWrite(const QString &title, const QString &filter, const QString &suffix);
