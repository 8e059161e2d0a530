#include "link/comports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <cstdio>
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

// Devices named for COM numbers by setComPortDevice.
QHash<int, QString> &namedDevices()
{
    static QHash<int, QString> devices;
    return devices;
}

// The device of COMn; `present` is filled on first need.
QString deviceOf(int n, std::optional<QStringList> &present)
{
    if (n < 1)
        return QString();
    if (const auto named = namedDevices().constFind(n); named != namedDevices().constEnd())
        return *named;
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

void setComPortDevice(int n, const QString &device)
{
    if (device.isEmpty())
        namedDevices().remove(n);
    else
        namedDevices().insert(n, device);
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

QString stableNameOf(const QString &device, const QString &byIdDir)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QDir dir(byIdDir);
    for (const QFileInfo &entry :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        if (entry.isSymLink() && entry.canonicalFilePath() == target)
            return entry.absoluteFilePath();
    return QString();
}

QList<SerialDevice> presentSerialDevices()
{
    QList<SerialDevice> out;
#ifndef Q_OS_WIN
    QHash<QString, QSerialPortInfo> infos;
    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        infos.insert(info.portName(), info);
        names.append(info.portName());
    }
    for (const QString &name : numberedSerialPortNames(names, activeConsoles())) {
        const QSerialPortInfo &info = infos[name];
        QStringList about;
        for (const QString &part : {info.manufacturer(), info.description()})
            if (!part.isEmpty() && !about.contains(part))
                about << part;
        if (!info.serialNumber().isEmpty())
            about << QStringLiteral("serial number %1").arg(info.serialNumber());
        out.append({info.systemLocation(), stableNameOf(info.systemLocation()),
                    about.join(QStringLiteral(", "))});
    }
#endif
    return out;
}

bool bindComPort(int n, const QString &device, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (n < 1 || n > LastListedComPort || device.isEmpty())
        return fail(QStringLiteral("no such COM number or device"));
    const QString name = QStringLiteral("COM%1").arg(n);
    const QFileInfo entry(QDir::current(), name);
    if ((entry.exists() || entry.isSymLink()) && !entry.isSymLink())
        return fail(QStringLiteral("%1 in %2 is not a link; it is left as it is")
                        .arg(name, QDir::currentPath()));
    // Written beside and renamed into place, so COMn is never missing.
    const QString temporary = name + QStringLiteral(".new");
    QFile::remove(temporary);
    if (!QFile::link(device, temporary))
        return fail(QStringLiteral("%1 cannot be written in %2").arg(name, QDir::currentPath()));
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(name).constData()) !=
        0) {
        QFile::remove(temporary);
        return fail(QStringLiteral("%1 cannot be written in %2").arg(name, QDir::currentPath()));
    }
    return true;
}
