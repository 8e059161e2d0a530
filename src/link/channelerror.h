#pragma once

#include "link/duvaerror.h"

// A failure of the serial channel: the numeric code and the text the user
// sees when the exception reaches the error box. Failures of the system's
// own calls carry the negated system error number as their code.
class ChannelError : public DuvaError
{
public:
    static constexpr int PortNotFound = 2001;
    static constexpr int NotOpen = 2007;
    static constexpr int PortInUse = 2008;
    static constexpr int NoPortChosen = 2011;
    static constexpr int NetworkDown = 2012; // a network line's connection is down
    static constexpr int OutputFull = 3006;
    static constexpr int BufferEmpty = 3007;
    static constexpr int BadTriggerHandle = 5003;

    ChannelError(int code, const QString &text)
        : DuvaError(text)
        , m_code(code)
    { }
    int code() const { return m_code; }

    // The fixed text of the codes that have one; empty for the others.
    static QString standardText(int code)
    {
        switch (code) {
        case NotOpen:
            return QStringLiteral("ie_NOpen - device not open");
        case OutputFull:
            return QStringLiteral("Output buffer too small for block");
        case BufferEmpty:
            return QStringLiteral("Buffer is empty");
        case BadTriggerHandle:
            return QStringLiteral("Bad trigger handle");
        case NoPortChosen:
            return QStringLiteral("No serial port chosen");
        default:
            return QString();
        }
    }
    // The error of a code with its fixed text.
    static ChannelError of(int code) { return ChannelError(code, standardText(code)); }

    // The error of port `portName` (device `device`) that the system refused
    // for want of permission (`reason` is what it said). On Unix that is
    // either a lock held by another program (PortInUse) or a device the
    // user may not read and write (-EACCES, naming the device and its group).
    static ChannelError refused(const QString &portName, const QString &device,
                                const QString &reason);

    // For a device the user may not open: the device and the group that
    // owns it ("" when unknown). Both empty for other failures.
    const QString &deniedDevice() const { return m_deniedDevice; }
    const QString &deniedGroup() const { return m_deniedGroup; }

private:
    int m_code;
    QString m_deniedDevice;
    QString m_deniedGroup;
};

// What a window shows when its port cannot be opened: "Com port not exist",
// beneath it the reason, and for a device the user may not open, what to do
// about it.
QString PortFailureText(const ChannelError &e);
