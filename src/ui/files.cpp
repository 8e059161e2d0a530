#include "ui/files.h"

#include "ui/dialogs.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

FileBytes ReadFileBytes(const QString &path, qint64 maxBytes)
{
    FileBytes r;
    QFile file(path);
    if (!file.exists()) {
        r.kind = FileBytes::Kind::Missing;
        return r;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        r.kind = FileBytes::Kind::Unreadable;
        r.reason = file.errorString();
        return r;
    }
    r.bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        r.kind = FileBytes::Kind::Unreadable;
        r.reason = file.errorString();
        r.bytes.clear();
    }
    return r;
}

QString WriteFileWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return QString();
}

QString ChooseFileToWrite(const QString &title, const QString &filter, const QString &suffix)
{
    QString path = AppDialogs().chooseSaveFile(title, filter, suffix);
    if (path.isEmpty())
        return QString();
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + suffix;
    const QFileInfo info(path);
    if (info.exists() &&
        !AppDialogs().askOkCancel(QStringLiteral("Confirm"),
                                  QStringLiteral("Do you want to overwrite file : ") +
                                      info.fileName()))
        return QString();
    return path;
}
