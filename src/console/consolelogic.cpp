#include "consolelogic.h"

#include "applysettings.h"
#include "comsettings.h"
#include "dialogs.h"
#include "hexcodec.h"
#include "serialchannel.h"

namespace {

void warnNoPort()
{
    // Posted: never open a modal box inside a channel or timer event.
    QTimer::singleShot(0, [] {
        AppDialogs().inform(QStringLiteral("Warning"), QStringLiteral("Com port not exist"));
    });
}

} // namespace

ConsoleLogic::ConsoleLogic(SerialChannel &channel, const ComSettings &settings, QObject *parent)
    : QObject(parent)
    , m_channel(channel)
    , m_settings(&settings)
{
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(1000);
    connect(&m_timer1, &QTimer::timeout, this, &ConsoleLogic::Timer1Timer);
}

void ConsoleLogic::open()
{
    m_open = true;
    const bool rtu = m_settings->modbusMode() == ModbusMode::Rtu;
    m_view.checkSumCaption = rtu ? QStringLiteral("CRC") : QStringLiteral("LRC");
    changed();
    try {
        ApplyComSettings(m_channel, *m_settings);
        m_channel.setOpen(true);
        m_replyTimer = m_channel.AddTimer();
        m_channel.ArmTimer(static_cast<quint16>(m_replyTimer), ReplyWindowTicks, false);
    } catch (const ChannelError &e) {
        m_channel.setOpen(false);
        AppDialogs().inform(QStringLiteral("Warning"), PortFailureText(e));
    }
}

void ConsoleLogic::SExitBtClick()
{
    stopRepeating();
    m_waitingReply = false;
    m_channel.setOpen(false);
    m_open = false;
    m_view.received.clear();
    changed();
}

void ConsoleLogic::SCmdBoxSelect(int index)
{
    m_fields.command =
        (index >= 0 && index < ConsoleCommandCount) ? ConsoleCommand(index) : ConsoleCommand::None;
    const ConsoleCommandInfo &info = CommandInfo(m_fields.command);
    m_view.dataLenMaxLength = info.dataLenMaxLength;
    m_view.dataLenCaption = QString::fromLatin1(info.dataLenCaption);
    m_view.multiWriteVisible = m_fields.command == ConsoleCommand::WriteMultiWords;
    m_view.userCmdVisible = m_fields.command == ConsoleCommand::UserDefine;
    build();
}

void ConsoleLogic::setAddress(const QString &text)
{
    m_fields.address = text;
    build();
}

void ConsoleLogic::setFunc(const QString &text)
{
    m_fields.func = text;
    build();
}

void ConsoleLogic::setDataLen(const QString &text)
{
    m_fields.dataLen = text;
    build();
}

void ConsoleLogic::UserCmdChange(const QString &text)
{
    m_fields.userCmd = text;
    build();
}

void ConsoleLogic::Edit1Change(int editNumber, const QString &text)
{
    const int index = DataWordIndexOfEdit(editNumber);
    if (index < 0)
        return;
    m_fields.dataWords[size_t(index)] = PadHex(text, 4);
    build();
}

void ConsoleLogic::setSendText(const QString &text)
{
    m_view.sendText = text;
}

void ConsoleLogic::build()
{
    // A word count that is not a number throws before anything changes.
    const auto frame = BuildConsoleFrame(m_fields, m_settings->modbusMode());
    if (frame) {
        m_view.checkSum = frame->checkField;
        m_view.sendText = frame->sendText;
        m_view.received.clear();
    }
    changed();
}

void ConsoleLogic::SendBtClick(bool repeatButton)
{
    if (repeatButton) {
        if (m_repeating) {
            stopRepeating();
        } else {
            m_repeating = true;
            m_view.repeatCaption = QStringLiteral("Stop");
            m_timer1.start();
        }
        changed();
    }
    if (m_waitingReply || m_view.sendText.isEmpty())
        return;
    m_lastRequest = ConsoleRequestBytes(m_view.sendText, m_settings->modbusMode());
    sendLastRequest();
}

void ConsoleLogic::Timer1Timer()
{
    if (m_waitingReply)
        return;
    sendLastRequest();
}

void ConsoleLogic::sendLastRequest()
{
    // A closed channel (its opening failed) would fail every second with an
    // error box; say it once and stop repeating instead.
    if (!m_channel.Open()) {
        stopRepeating();
        changed();
        warnNoPort();
        return;
    }
    m_replyBuffer.clear();
    m_channel.SendText(m_lastRequest);
    m_channel.ArmTimer(static_cast<quint16>(m_replyTimer), ReplyWindowTicks, true);
    m_waitingReply = true;
}

void ConsoleLogic::stopRepeating()
{
    m_repeating = false;
    m_view.repeatCaption = QStringLiteral("Repeat");
    m_timer1.stop();
}

void ConsoleLogic::SClearBtClick()
{
    m_view.received.clear();
    changed();
}

void ConsoleLogic::ApdComPort1Trigger(int msg, int triggerHandle, int data)
{
    const bool rtu = m_settings->modbusMode() == ModbusMode::Rtu;
    if (msg == SerialChannel::DataAvailable) {
        char last = 0;
        for (int i = 0; i < data; ++i) {
            last = static_cast<char>(m_channel.ReadByte());
            // Noise without an end must not grow the buffer without limit.
            if (m_replyBuffer.size() < MaxReply)
                m_replyBuffer.append(last);
        }
        if (rtu) {
            QByteArray hex;
            for (const char c : std::as_const(m_replyBuffer))
                hex += ByteToHex(static_cast<unsigned char>(c));
            m_view.received = QString::fromLatin1(hex);
        } else {
            if (data > 0 && last == '\n') {
                m_replyBuffer.chop(qMin<qsizetype>(2, m_replyBuffer.size()));
                m_channel.ArmTimer(static_cast<quint16>(m_replyTimer), 0, false);
                m_waitingReply = false;
            }
            m_view.received = QString::fromLatin1(m_replyBuffer);
        }
        changed();
    } else if (msg == SerialChannel::TimerExpired && triggerHandle == m_replyTimer) {
        // In RTU the reply window is the normal end of every exchange; a
        // window that ends with nothing received is a time-out in both modes.
        if (!rtu || m_replyBuffer.isEmpty())
            m_view.received = QStringLiteral("Time out");
        m_replyBuffer.clear();
        m_channel.ArmTimer(static_cast<quint16>(m_replyTimer), 0, false);
        m_waitingReply = false;
        changed();
    }
}
