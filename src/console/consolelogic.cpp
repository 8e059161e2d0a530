#include "console/consolelogic.h"

#include "link/channelerror.h"
#include "link/duvaerror.h"
#include "link/replies.h"
#include "ui/dialogs.h"

namespace {

// Posted: never a modal box inside a line or timer event.
void postBox(const QString &title, const QString &text)
{
    QTimer::singleShot(0, [title, text] { AppDialogs().inform(title, text); });
}

void postError(const QString &text)
{
    QTimer::singleShot(0, [text] { AppDialogs().error(text); });
}

} // namespace

ConsoleLogic::ConsoleLogic(Line &line, LineSettingsSource settings, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_settings(std::move(settings))
    , m_collector(line, ReplyCollector::Timing::FromSend, MaxReply)
{
    m_collector.setTrafficSource("Console");
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(1000);
    connect(&m_timer1, &QTimer::timeout, this, &ConsoleLogic::Timer1Timer);
    m_line.setTriggerHandler([this](quint16 msg, quint16 handle, quint16 data) {
        ApdComPort1Trigger(msg, handle, data);
    });
}

const Framing &ConsoleLogic::framing() const
{
    return Framing::of(m_settings().framing);
}

void ConsoleLogic::open()
{
    m_open = true;
    followFraming();
    changed();
    try {
        m_line.openWith(m_settings());
        m_collector.attach();
    } catch (const ChannelError &e) {
        m_line.close();
        AppDialogs().inform(QStringLiteral("Warning"), PortFailureText(e));
    }
}

void ConsoleLogic::SExitBtClick()
{
    endWork();
    m_open = false;
    m_view.received.clear();
    changed();
}

void ConsoleLogic::endWork()
{
    m_lineLost = false;
    stopRepeating();
    m_collector.cancel();
    m_line.close();
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
    m_fields.dataWords[size_t(index)] = text;
    build();
}

void ConsoleLogic::setSendText(const QString &text)
{
    // The user's own frame: sent as it stands.
    m_view.sendText = text;
    m_frameInvalid = false;
    m_textMode = framing().mode();
}

void ConsoleLogic::followFraming()
{
    const Framing &f = framing();
    m_view.checkSumCaption = f.checkFieldCaption();
    if (m_textMode == f.mode())
        return;
    m_textMode = f.mode();
    if (!m_view.sendText.isEmpty()) {
        // A frame of the other format would go out as garbage.
        m_view.sendText.clear();
        m_view.checkSum.clear();
        build();
    }
}

void ConsoleLogic::build()
{
    std::optional<ConsoleFrame> frame;
    try {
        frame = BuildConsoleFrame(m_fields, framing());
    } catch (const DuvaError &e) {
        // The word count is not a number: say so, and keep the old frame
        // from going out as if it were this one.
        m_frameInvalid = true;
        m_view.checkSum.clear();
        m_view.sendText = QStringLiteral("WORD COUNT is not a number");
        changed();
        postError(e.text());
        return;
    }
    if (frame) {
        m_frameInvalid = frame->invalid;
        m_view.checkSum = frame->checkField;
        m_view.sendText = frame->sendText;
        m_view.received.clear();
        m_view.decoded.clear();
        m_textMode = framing().mode();
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
    if (m_collector.waiting())
        return;
    followFraming();
    if (m_view.sendText.isEmpty() || m_frameInvalid) {
        changed();
        return;
    }
    QString problem;
    const std::optional<QByteArray> bytes = framing().frameFromText(m_view.sendText, &problem);
    if (!bytes) {
        m_view.decoded = QStringLiteral("Not sent: ") + problem;
        changed();
        return;
    }
    m_lastRequest = *bytes;
    m_requestMode = framing().mode();
    sendLastRequest();
}

void ConsoleLogic::Timer1Timer()
{
    if (m_collector.waiting() || m_lastRequest.isEmpty())
        return;
    if (m_requestMode != framing().mode()) {
        // The repeated frame is of the other Modbus format now.
        stopRepeating();
        m_view.decoded = QStringLiteral("Repeat stopped: the Modbus format changed");
        changed();
        return;
    }
    sendLastRequest();
}

bool ConsoleLogic::lineBack()
{
    if (m_line.deviceLost()) {
        m_lineLost = true;
        m_lostText = m_line.lossText();
    }
    if (!m_lineLost)
        return true;
    const QString text = m_lostText;
    try {
        m_collector.cancel();
        m_line.reopen(m_settings());
        m_collector.reattach();
        m_lossTold = false;
        m_lineLost = false;
        return true;
    } catch (const ChannelError &) {
        if (!m_lossTold) {
            m_lossTold = true;
            postBox(QStringLiteral("Warning"), text);
        }
        return false;
    }
}

void ConsoleLogic::sendLastRequest()
{
    if (!lineBack()) {
        stopRepeating();
        changed();
        return;
    }
    // A closed line (its opening failed) would fail every second with an
    // error box; say it once and stop repeating instead.
    if (!m_line.isOpen()) {
        stopRepeating();
        changed();
        postBox(QStringLiteral("Warning"), QStringLiteral("Com port not exist"));
        return;
    }
    m_collector.send(m_lastRequest, framing(), ReplyWindowTicks);
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
    m_view.decoded.clear();
    changed();
}

void ConsoleLogic::ApdComPort1Trigger(int msg, int triggerHandle, int data)
{
    switch (m_collector.take(quint16(msg), quint16(triggerHandle), quint16(data))) {
    case ReplyCollector::Event::None:
        return;
    case ReplyCollector::Event::Bytes:
        // Shown as it grows.
        m_view.received = framing().frameText(m_collector.received());
        m_view.decoded.clear();
        break;
    case ReplyCollector::Event::Reply:
        // A complete text reply without its CR LF, and read beneath.
        m_view.received = framing().frameText(m_collector.received());
        m_view.decoded = DescribeReply(framing(), m_collector.received(), m_lastRequest);
        if (!m_collector.echo().isEmpty())
            m_view.decoded += QStringLiteral("\n(the request's echo came first and was removed)");
        break;
    case ReplyCollector::Event::TimedOut:
        m_collector.clear();
        m_view.received = QStringLiteral("Time out");
        m_view.decoded.clear();
        if (!m_collector.echo().isEmpty())
            m_view.decoded = QStringLiteral("Only the request's echo came back: the line echoes, "
                                            "and no controller answered");
        if (m_line.deviceLost() && !m_lossTold) {
            m_lossTold = true;
            m_view.decoded = m_line.lossText();
            postBox(QStringLiteral("Warning"), m_line.lossText());
        }
        break;
    }
    changed();
}
