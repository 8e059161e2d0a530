#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// A child process that serves a line (duva-sim, the pymodbus slave): it
// prints the device it serves as its first line of output and ends when its
// standard input closes. It is ended when this object goes: input closed
// first, killed if it lingers.
class DeviceProcess
{
public:
    DeviceProcess() = default;
    DeviceProcess(const QString &program, const QStringList &arguments, int timeoutMs = 15000)
    {
        start(program, arguments, timeoutMs);
    }
    ~DeviceProcess()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
    DeviceProcess(const DeviceProcess &) = delete;
    DeviceProcess &operator=(const DeviceProcess &) = delete;

    // Starts the program and waits for its first line; false when none came.
    bool start(const QString &program, const QStringList &arguments, int timeoutMs = 15000)
    {
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        const QDeadlineTimer deadline(timeoutMs);
        while (!m_process.canReadLine() && !deadline.hasExpired() &&
               m_process.waitForReadyRead(int(deadline.remainingTime()))) { }
        m_device = QString::fromUtf8(m_process.readLine()).trimmed();
        return !m_device.isEmpty();
    }

    QString device() const { return m_device; }
    QString errors() { return QString::fromUtf8(m_process.readAllStandardError()); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_device;
};
