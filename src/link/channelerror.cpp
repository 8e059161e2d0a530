#include "link/channelerror.h"

#ifdef Q_OS_UNIX
#include <QFile>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

ChannelError ChannelError::refused(const QString &portName, const QString &device,
                                   const QString &reason)
{
#ifdef Q_OS_UNIX
    // The serial port reports a lock held by another program and a device
    // the user may not open alike; only the second calls for the user's
    // group membership.
    const QByteArray path = QFile::encodeName(device);
    if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        ChannelError e(-EACCES,
                       portName + QStringLiteral(" cannot be opened (") +
                           QString::fromLocal8Bit(std::strerror(EACCES)) + ')');
        e.m_deniedDevice = device;
        struct stat info = {};
        if (::stat(path.constData(), &info) == 0) {
            const struct group *owner = ::getgrgid(info.st_gid);
            e.m_deniedGroup =
                owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
        }
        return e;
    }
#else
    Q_UNUSED(device);
#endif
    return ChannelError(PortInUse, portName + QStringLiteral(" is in use (") + reason + ')');
}

QString PortFailureText(const ChannelError &e)
{
    QString text = QStringLiteral("Com port not exist");
    if (!e.text().isEmpty())
        text += '\n' + e.text();
    if (!e.deniedDevice().isEmpty()) {
        const QString group = e.deniedGroup().isEmpty()
            ? QStringLiteral("the group that owns it (usually dialout)")
            : QStringLiteral("the group \"%1\"").arg(e.deniedGroup());
        text += QStringLiteral("\nTo use %1 the user must be a member of %2: add the user to "
                               "that group, then log in again.")
                    .arg(e.deniedDevice(), group);
    }
    return text;
}
