#include "settingsfile.h"

#include "duvaerror.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

const char SettingsFileName[] = "SETDUVA.$$$";

static QString settingsPath(const QString &dir)
{
    return QDir(dir).filePath(QString::fromLatin1(SettingsFileName));
}

void LoadSettingsFile(ComSettings &settings, const QString &dir)
{
    const QString path = settingsPath(dir);
    QFile file(path);
    if (!file.exists()) {
        settings.selectDefaults();
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        throw DuvaError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
    // A settings line is a few characters; anything longer is not a code.
    QByteArray line = file.readLine(64);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    const QString text = QString::fromLatin1(line);
    bool ok = false;
    const int code = text.toInt(&ok, 10);
    if (!ok)
        throw DuvaError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    settings.applyCode(code);
}

void SaveSettingsFile(const ComSettings &settings, const QString &dir)
{
    const QString path = settingsPath(dir);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw DuvaError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    }
    file.write(QByteArray::number(settings.code()) + "\r\n");
    if (!file.commit())
        throw DuvaError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}
