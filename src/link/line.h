#pragma once

#include "link/linesettings.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <utility>

// The seam between a talking window's logic and its serial line. The
// program's line is SerialChannel; tests use a fake line with a fake clock.
//
// Events reach the window one at a time through the trigger handler: data
// available (with the number of unread bytes, which ReadByte then returns in
// order) and timer expired (with the timer's handle). Timers are one-shot and
// count in ticks of 55 ms. Failures are thrown as ChannelError.
class Line
{
public:
    static constexpr quint16 DataAvailable = 0x7E01;
    static constexpr quint16 TimerExpired = 0x7E03;

    using Trigger = std::function<void(quint16 msg, quint16 triggerHandle, quint16 data)>;

    virtual ~Line() = default;

    virtual void setTriggerHandler(Trigger handler) = 0;

    // Applies the port number and the line settings (in the order port,
    // baud rate, parity, data bits, stop bits) and opens the line.
    virtual void openWith(const LineSettings &settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Brings the line back after its device was lost, with `settings`
    // (throws ChannelError when it cannot). A line whose device comes back
    // by itself keeps it and only throws while it is still away.
    virtual void reopen(const LineSettings &settings)
    {
        close();
        openWith(settings);
    }

    virtual void SendText(const QByteArray &bytes) = 0;
    virtual quint8 ReadByte() = 0;
    // Throws away what has arrived and not been read (outside a handler).
    virtual int discardInput() = 0;

    virtual quint16 AddTimer() = 0;
    virtual void ArmTimer(quint16 handle, quint32 ticks, bool active) = 0;
    // The line's clock, in ticks of 55 ms.
    virtual qint64 tick() const = 0;
    // The same clock in milliseconds.
    virtual qint64 msecs() const = 0;
    // True while the line is open but its device went away (an adapter
    // pulled out): nothing is sent or received until it is opened again.
    virtual bool deviceLost() const = 0;
    // The device the open line is, for messages.
    virtual QString deviceName() const = 0;
    // What to tell the user while deviceLost() is true.
    virtual QString lossText() const
    {
        return QStringLiteral("The serial device %1 was removed").arg(deviceName());
    }
    // Ticks every reply window gets on top of the framing's own (the
    // network's delays).
    virtual int replyMarginTicks() const { return 0; }
    // Whether a request to address 0 reaches every controller (a Modbus TCP
    // gateway does not pass broadcasts on).
    virtual bool carriesBroadcast() const { return true; }
    // True while a network line is still making its first connection: a
    // request waits for it, so that its reply window starts when it leaves.
    virtual bool connecting() const { return false; }

    // The settings of the last opening, which every reply window on the
    // line follows (echo, reply time-out, retries, pause).
    const LineSettings &lineSettings() const { return m_lineSettings; }
    // Whether the request was heard coming back since the line's settings
    // were last applied. noteEcho() says it, and is true only the first time.
    bool echoHeard() const { return m_echoHeard; }
    bool noteEcho() { return !std::exchange(m_echoHeard, true); }
    // A reply heard without the request before it: the line does not echo
    // (or no longer does), whatever was taken for an echo before.
    void forgetEcho() { m_echoHeard = false; }
    // What to tell the user once the line is known to echo.
    static QString echoText()
    {
        return QStringLiteral("The line echoes: each request comes back before its reply "
                              "and is removed");
    }

protected:
    // Called by every line with the settings it opens with.
    void keepLineSettings(const LineSettings &settings)
    {
        if (settings.talk.echo != m_lineSettings.talk.echo)
            m_echoHeard = false;
        m_lineSettings = settings;
    }

private:
    LineSettings m_lineSettings;
    bool m_echoHeard = false;
};

// Where a window reads the settings whenever it needs them.
using LineSettingsSource = std::function<LineSettings()>;
