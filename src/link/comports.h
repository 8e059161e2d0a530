#pragma once

#include <QString>
#include <QStringList>

// How the program's port numbers reach devices. COMn is, in this order:
// - an entry named "COMn" in the current working directory (usually a
//   symbolic link to a device or to a simulator's pseudo-terminal); such an
//   entry decides alone, even when it leads nowhere;
// - otherwise the n-th serial port present on the machine, USB adapters
//   (ttyUSB*) first, then ACM devices (ttyACM*), then built-in ports (ttyS*),
//   each group by number, then any others by name; the kernel's active
//   console is left out.
// On Windows COMn is the system's COMn.

// Highest port number the "Select Port" dialog offers.
constexpr int LastListedComPort = 50;

// The device that COMn reaches (a path such as "/dev/ttyUSB0" or
// "/dev/pts/3"), or an empty string when it reaches nothing. Nothing is opened.
QString comPortDevice(int n);

// Makes COMn reach `device` (a path such as "/dev/ttyUSB0") for the rest of
// the run, before any of the rules above: a device the user named by its
// path, as on the command line. An empty `device` ends that.
void setComPortDevice(int n, const QString &device);

// "COMn" for every n in 1..last that reaches a device, in order. Nothing is
// opened: opening raises DTR and RTS and can reset what is attached.
QStringList comPortEntries(int last = LastListedComPort);

// The serial port names present (as "ttyS0", "ttyUSB1", ...), sorted into
// the order in which they are numbered COM1, COM2, ...
QStringList orderedSerialPortNames(QStringList names);

// The names that COM1, COM2, ... reach: `names` in the order above, without
// the ports the kernel uses as its console (a login console must not be
// locked, reset and written frames to). `activeConsoles` is the content of
// /sys/class/tty/console/active: names separated by blanks, such as
// "tty0 ttyS0".
QStringList numberedSerialPortNames(const QStringList &names, const QString &activeConsoles);

// A serial device present on the machine, as the settings dialog offers it
// for a COM number.
struct SerialDevice
{
    QString device; // "/dev/ttyUSB0"
    QString stableName; // "/dev/serial/by-id/usb-FTDI_..." when there is one, else empty
    QString description; // maker, product and serial number, as far as known
};

// The serial devices present, in the order they are numbered, the kernel's
// console left out. Nothing is opened.
QList<SerialDevice> presentSerialDevices();

// The name under `byIdDir` (a folder of symbolic links, such as
// /dev/serial/by-id) that leads to `device`, or an empty string.
QString stableNameOf(const QString &device,
                     const QString &byIdDir = QStringLiteral("/dev/serial/by-id"));

// Binds COMn to `device` by writing the symbolic link "COMn" in the working
// directory (replacing an earlier link), so the number keeps reaching the
// same adapter when others are plugged in. Refuses, with the reason in
// `error`, when "COMn" is something other than a link or cannot be written.
bool bindComPort(int n, const QString &device, QString *error = nullptr);
