#pragma once

// The far end of a serial line for channel tests: a pseudo-terminal pair
// made by the test, its device linked as "COMn" in the working directory.
// The test holds both sides; it talks through the master side, the channel
// opens the slave side by its COMn name.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class PtyPeer
{
public:
    PtyPeer()
    {
        termios raw {};
        cfmakeraw(&raw);
        cfsetspeed(&raw, B9600);
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
            m_master = m_slave = -1;
            return;
        }
        m_device = QString::fromLocal8Bit(name);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPeer()
    {
        closeMaster();
        closeSlave();
    }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString device() const { return m_device; }
    int slaveFd() const { return m_slave; }

    // Links the device as `name` (such as "COM3") in the working directory.
    bool linkAs(const QString &name) const
    {
        QFile::remove(name);
        return QFile::link(m_device, name);
    }

    // Writes every byte, letting the event loop run while the line is full.
    bool write(const QByteArray &bytes, int timeoutMs = 5000)
    {
        QDeadlineTimer deadline(timeoutMs);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (deadline.hasExpired())
                return false;
            QTest::qWait(5);
        }
        return true;
    }

    // Reads until `count` bytes came or the time is up, running the event
    // loop meanwhile (the channel writes from it).
    QByteArray read(qsizetype count, int timeoutMs = 3000)
    {
        QByteArray got;
        QDeadlineTimer deadline(timeoutMs);
        while (got.size() < count) {
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, n);
                continue;
            }
            if (deadline.hasExpired())
                break;
            QTest::qWait(2);
        }
        return got;
    }

    // Whatever arrives within `ms`.
    QByteArray readFor(int ms) { return read(1 << 30, ms); }

    // The far end goes away, as when an adapter is pulled.
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }
    void closeSlave()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_device;
};
