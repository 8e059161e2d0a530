#include "link/comports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

// Sort key of a port name: its group, its number, then the name itself.
std::tuple<int, qint64, QString> portOrderKey(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^tty(USB|ACM|S)(\\d{1,9})$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return {3, 0, name};
    const QString kind = match.captured(1);
    const int group = kind == QLatin1String("USB") ? 0 : kind == QLatin1String("ACM") ? 1 : 2;
    return {group, match.captured(2).toLongLong(), name};
}

} // namespace

QStringList orderedSerialPortNames(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return portOrderKey(a) < portOrderKey(b);
    });
    return names;
}

QStringList numberedSerialPortNames(const QStringList &names, const QString &activeConsoles)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList consoles = activeConsoles.split(blanks, Qt::SkipEmptyParts);
    QStringList out;
    for (const QString &name : orderedSerialPortNames(names))
        if (!consoles.contains(name))
            out.append(name);
    return out;
}

namespace {

// The ports the kernel writes its console to ("" where there is no such file).
QString activeConsoles()
{
#ifdef Q_OS_LINUX
    QFile file(QStringLiteral("/sys/class/tty/console/active"));
    if (file.open(QIODevice::ReadOnly))
        return QString::fromLatin1(file.read(4096));
#endif
    return QString();
}

// The devices of the present serial ports, in COM order.
QStringList presentPorts()
{
    QStringList names;
    QHash<QString, QString> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        names.append(info.portName());
#ifdef Q_OS_WIN
        devices.insert(info.portName(), info.portName());
#else
        devices.insert(info.portName(), info.systemLocation());
#endif
    }
    QStringList out;
    for (const QString &name : numberedSerialPortNames(names, activeConsoles()))
        out.append(devices.value(name));
    return out;
}

// The device of COMn; `present` is filled on first need.
QString deviceOf(int n, std::optional<QStringList> &present)
{
    if (n < 1)
        return QString();
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("COM%1").arg(n);
    if (!present)
        present = presentPorts();
    for (const QString &port : *present)
        if (port.compare(name, Qt::CaseInsensitive) == 0)
            return name;
    return QString();
#else
    const QFileInfo entry(QDir::current(), QStringLiteral("COM%1").arg(n));
    if (entry.isSymLink() || entry.exists())
        return entry.canonicalFilePath(); // empty for a link that leads nowhere
    if (!present)
        present = presentPorts();
    return n <= present->size() ? present->at(n - 1) : QString();
#endif
}

} // namespace

QString comPortDevice(int n)
{
    std::optional<QStringList> present;
    return deviceOf(n, present);
}

QStringList comPortEntries(int last)
{
    std::optional<QStringList> present;
    QStringList entries;
    for (int n = 1; n <= last; ++n)
        if (!deviceOf(n, present).isEmpty())
            entries.append(QStringLiteral("COM%1").arg(n));
    return entries;
}
