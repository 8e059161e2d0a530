#pragma once

// A serial line played by the test, with a clock the test moves. It keeps
// what was sent, delivers the bytes the test makes arrive, and fires timers
// by the channel's tick rule: a timer armed for N ticks fires at the first
// millisecond whose tick (ms / 55) has passed the arming tick + N.

#include "link/channelerror.h"
#include "link/line.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class FakeLine : public Line
{
public:
    static constexpr int TickMs = 55;

    QList<QByteArray> sent; // every SendText, in order
    QList<qint64> sentAt; // the clock at each of them
    QStringList log; // "send" and "discard", in order
    LineSettings opened; // the settings of the last opening
    int openings = 0;
    bool failOpening = false; // the next openings throw "not found"
    int failSends = 0; // the next sends throw "output buffer too small"

    void setTriggerHandler(Trigger handler) override { m_trigger = std::move(handler); }

    void openWith(const LineSettings &settings) override
    {
        if (failOpening)
            throw ChannelError(ChannelError::PortNotFound, QStringLiteral("COM1 not found"));
        opened = settings;
        keepLineSettings(settings);
        m_open = true;
        m_lost = false;
        ++openings;
        m_nextHandle = 8;
    }
    void close() override
    {
        m_open = false;
        m_lost = false;
    }
    bool deviceLost() const override { return m_lost; }
    QString deviceName() const override { return QStringLiteral("/dev/ttyUSB0"); }
    // The device goes away: what is sent goes nowhere, timers go on, until
    // the line is opened again (which fails while failOpening is set).
    void lose() { m_lost = true; }
    bool isOpen() const override { return m_open; }

    void SendText(const QByteArray &bytes) override
    {
        if (!m_open)
            throw ChannelError::of(ChannelError::NotOpen);
        if (m_lost)
            return;
        if (failSends > 0) {
            --failSends;
            throw ChannelError::of(ChannelError::OutputFull);
        }
        sent.append(bytes);
        sentAt.append(m_nowMs);
        log.append(QStringLiteral("send"));
    }
    quint8 ReadByte() override
    {
        if (m_read >= m_announced.size())
            throw ChannelError::of(ChannelError::BufferEmpty);
        return quint8(m_announced.at(m_read++));
    }
    int discardInput() override
    {
        log.append(QStringLiteral("discard"));
        return 0;
    }

    quint16 AddTimer() override
    {
        if (!m_open)
            throw ChannelError::of(ChannelError::NotOpen);
        m_timers.append({m_nextHandle, 0, false, 0});
        m_nextHandle = quint16(m_nextHandle + 8);
        return m_timers.last().handle;
    }
    void ArmTimer(quint16 handle, quint32 ticks, bool active) override
    {
        if (!m_open)
            throw ChannelError::of(ChannelError::NotOpen);
        for (Timer &t : m_timers) {
            if (t.handle != handle)
                continue;
            if (active && ticks != 0)
                t.length = ticks;
            t.armed = active;
            t.expiry = tick() + t.length;
            return;
        }
        throw ChannelError::of(ChannelError::BadTriggerHandle);
    }

    // The test's side.
    qint64 now() const { return m_nowMs; }
    qint64 tick() const override { return m_nowMs / TickMs; }
    qint64 msecs() const override { return m_nowMs; }
    // Bytes arrive and are announced at once; the handler reads them.
    void receive(const QByteArray &bytes)
    {
        m_announced = bytes;
        m_read = 0;
        if (m_trigger && m_open)
            m_trigger(DataAvailable, quint16(bytes.size()), quint16(bytes.size()));
        m_announced.clear();
    }
    // Moves the clock on, firing the timers that come due on the way.
    void advance(int ms)
    {
        for (int i = 0; i < ms; ++i) {
            ++m_nowMs;
            for (int k = 0; k < m_timers.size(); ++k) {
                Timer &t = m_timers[k];
                if (!m_open || !t.armed || t.expiry >= tick())
                    continue;
                t.armed = false;
                if (m_trigger)
                    m_trigger(TimerExpired, t.handle, 0);
            }
        }
    }
    bool anyTimerArmed() const
    {
        for (const Timer &t : m_timers)
            if (t.armed)
                return true;
        return false;
    }

private:
    struct Timer
    {
        quint16 handle;
        quint32 length;
        bool armed;
        qint64 expiry;
    };
    Trigger m_trigger;
    bool m_open = false;
    bool m_lost = false;
    qint64 m_nowMs = 0;
    QList<Timer> m_timers;
    quint16 m_nextHandle = 8;
    QByteArray m_announced;
    int m_read = 0;
};
