#include "cli/cliport.h"

#include "cli/clidialogs.h"
#include "cli/cliline.h"
#include "cli/clishared.h"
#include "link/comports.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace CliPort {

namespace {

// The settings saved before the open, for the paths that end the program
// without closing the port (a second signal).
struct Saved
{
    char device[256] = {};
    struct termios settings = {};
    std::atomic<bool> held {false};
};
Saved saved;

void saveSettings(const QString &device)
{
    saved.held = false;
    const QByteArray path = QFile::encodeName(device);
    if (path.isEmpty() || size_t(path.size()) >= sizeof saved.device)
        return;
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::tcgetattr(fd, &saved.settings) == 0)
        qstrncpy(saved.device, path.constData(), sizeof saved.device);
    else
        saved.device[0] = 0;
    ::close(fd);
}

QString serialDevice(const CliCommands::Context &c)
{
    return c.line.isNetwork() ? QString() : comPortDevice(c.line.comNumber);
}

// The system's reason without the windows' own first line, where the
// system said more.
QString reasonOf(const QString &said)
{
    QStringList lines = said.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.size() > 1 &&
        (lines.first() == QLatin1String("Com port not exist") ||
         lines.first() == QLatin1String("Comport did not exist !!!")))
        lines.removeFirst();
    return lines.join(QStringLiteral("; "));
}

} // namespace

QString label(const CliCommands::Context &c)
{
    if (c.line.isNetwork())
        return QStringLiteral("%1:%2").arg(c.line.network.host).arg(c.line.network.port);
    const QString device = comPortDevice(c.line.comNumber);
    if (c.parser && c.parser->isSet(QStringLiteral("port")) &&
        c.parser->value(QStringLiteral("port")).contains(QLatin1Char('/')))
        return device;
    const QString port = QStringLiteral("COM%1").arg(c.line.comNumber);
    return device.isEmpty() || device == port ? port : QStringLiteral("%1 (%2)").arg(port, device);
}

QString holderOf(const QString &device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QString self = QString::number(::getpid());
    // The serial port's lock file names the program that holds the port;
    // another program may merely keep the device open (a simulator its
    // line, a terminal a console).
    QString lockName = target;
    if (lockName.startsWith(QLatin1String("/dev/")))
        lockName = lockName.mid(5);
    lockName = QStringLiteral("LCK..") + lockName.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &dir :
         {QStringLiteral("/var/lock"), QStringLiteral("/etc/locks"),
          QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"), QDir::tempPath(),
          QStringLiteral("/run/lock")}) {
        QFile lock(dir + QLatin1Char('/') + lockName);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = lock.readAll().split('\n');
        const QString pid = QString::fromLatin1(lines.value(0).trimmed());
        if (!pid.isEmpty() && pid != self && QFileInfo::exists(QStringLiteral("/proc/") + pid)) {
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly)
                ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                : QString::fromLocal8Bit(lines.value(1).trimmed());
            return QStringLiteral("%1 (pid %2)").arg(name, pid);
        }
    }
    const QDir proc(QStringLiteral("/proc"));
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        pid.toInt(&number);
        if (!number || pid == self)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
            if (QFile::symLinkTarget(fds.filePath(fd)) != target)
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly)
                ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                : QStringLiteral("a program");
            return QStringLiteral("%1 (pid %2)").arg(name, pid);
        }
    }
    return QString();
}

bool openLine(const CliCommands::Context &c, CliDialogs &dialogs, const std::function<bool()> &open,
              const std::function<void()> &close)
{
    using namespace CliCommands;
    const QString device = serialDevice(c);
    if (!c.line.isNetwork() && (device.isEmpty() || !QFileInfo::exists(device))) {
        printErr(QStringLiteral("%1: not found (no such device)").arg(label(c)));
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    bool waitSaid = false;
    for (;;) {
        if (!device.isEmpty())
            saveSettings(device);
        const qsizetype from = dialogs.messages.size();
        if (open()) {
            saved.held = saved.device[0] != 0;
            return true;
        }
        const QString said = saidSince(dialogs, from);
        close();
        if (!said.contains(QLatin1String("is in use"))) {
            printErr(QStringLiteral("%1: %2").arg(label(c), reasonOf(said)));
            return false;
        }
        const QString holder = holderOf(device);
        const QString busy =
            QStringLiteral("%1 is in use%2")
                .arg(label(c), holder.isEmpty() ? QString() : QStringLiteral(" by ") + holder);
        if (waited.elapsed() >= qint64(c.waitSeconds) * 1000) {
            printErr(c.waitSeconds > 0
                         ? QStringLiteral("%1 (waited %2 s)").arg(busy).arg(c.waitSeconds)
                         : QStringLiteral("%1; --wait SECONDS waits for it").arg(busy));
            return false;
        }
        if (!waitSaid && !c.quiet)
            std::fprintf(stderr, "duva-cli: %s: waiting up to %d s\n", qPrintable(busy),
                         c.waitSeconds);
        waitSaid = true;
        waitFor([] { return false; }, 500);
        if (interrupted())
            return false;
    }
}

void restoreSettingsNow()
{
    if (!saved.held.exchange(false))
        return;
    const int fd = ::open(saved.device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    ::tcsetattr(fd, TCSANOW, &saved.settings);
    ::close(fd);
}

} // namespace CliPort
