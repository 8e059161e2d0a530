#include "app/settingsfile.h"

#include "ui/files.h"

#include "link/duvaerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

const char SettingsFileName[] = "SETDUVA.$$$";

namespace {

// A settings line is a few characters; a longer one is judged whole up to
// this length and refused beyond it.
constexpr qsizetype MaxLineBytes = 4096;
// How much of a refused line the error box shows.
constexpr qsizetype ShownLineBytes = 100;

QString settingsPath(const QString &dir)
{
    return QDir(dir).filePath(QString::fromLatin1(SettingsFileName));
}

// The line as the error box shows it: printable ASCII as it stands, every
// other byte (control, NUL, 8-bit) as \xNN, a long line cut short.
QString shownLine(const QByteArray &line)
{
    QString out;
    for (const char c : line.left(ShownLineBytes)) {
        const uchar byte = uchar(c);
        if (byte >= 0x20 && byte < 0x7F)
            out += QLatin1Char(char(byte));
        else
            out += QStringLiteral("\\x%1").arg(QString::number(byte, 16).toUpper(), 2,
                                               QLatin1Char('0'));
    }
    if (line.size() > ShownLineBytes)
        out += QLatin1String("...");
    return out;
}

// The error of a settings file that is not used: what is wrong, the file,
// and what the program does instead.
[[noreturn]] void refuse(const QString &what, const QString &path)
{
    throw DuvaError(what + QStringLiteral("\nSettings file: ") +
                    QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) +
                    QStringLiteral("\nThe default settings are used."));
}

} // namespace

void LoadSettingsFile(ComSettings &settings, const QString &dir)
{
    const QString path = settingsPath(dir);
    const QFileInfo info(path);
    if (!info.exists()) {
        settings.selectDefaults();
        return;
    }
    // Opening a FIFO would wait for a writer forever, a device could be
    // anything: only a regular file is read.
    if (!info.isFile())
        refuse(QStringLiteral("Cannot read the file: it is not a regular file"), path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Cannot read the file: %1").arg(file.errorString()), path);
    // The whole first line with its end; a line that does not end within
    // the limit is refused whole, never judged by its beginning.
    QByteArray line = file.readLine(MaxLineBytes + 3);
    const bool whole = line.endsWith('\n') || file.atEnd();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    // Editors on some systems put a UTF-8 byte-order mark first.
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    // The conversion would stop at a NUL byte and take what stands before it.
    bool ok = false;
    const int code = whole && line.size() <= MaxLineBytes && !line.contains('\0')
        ? QString::fromLatin1(line).toInt(&ok, 10)
        : 0;
    if (!ok)
        refuse(QStringLiteral("'%1' is not a valid integer value").arg(shownLine(line)), path);
    settings.applyCode(code);
}

void SaveSettingsFile(const ComSettings &settings, const QString &dir)
{
    const QString path = settingsPath(dir);
    const QString failure = WriteFileWhole(path, QByteArray::number(settings.code()) + "\r\n");
    if (!failure.isEmpty())
        throw DuvaError(QStringLiteral("Cannot write %1: %2").arg(path, failure));
}
