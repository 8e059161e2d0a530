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
    // Unbuffered, so that a write cut short (a full disk, a file-size
    // limit) is seen here: a buffered one fails only partly at commit,
    // which then replaces the file with the part written.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return file.errorString();
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            // The system's reason comes with the write that wrote nothing.
            const QString reason = file.errorString();
            file.cancelWriting();
            return reason;
        }
        done += n;
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
