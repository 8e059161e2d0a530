#pragma once

#include "consoleframe.h"

#include <QObject>
#include <QTimer>

class ComSettings;
class SerialChannel;

// What the console panel shows: one entry per control that changes.
struct ConsoleView
{
    QString checkSumCaption = QStringLiteral("LRC"); // CheckSumSendLb
    QString dataLenCaption = QStringLiteral("WRITE DATA"); // DataLenLb
    int dataLenMaxLength = 4; // SDataLen
    bool userCmdVisible = false; // UserCmd
    bool multiWriteVisible = false; // MutiWrBox (Image2 shows otherwise)
    QString checkSum; // SChkSum
    QString sendText; // SendEdit
    QString received; // RcvEdit
    QString repeatCaption = QStringLiteral("Repeat"); // RSendBt
};

// The command-test console: builds a request from hex fields, sends it once
// or every second on the main window's channel, and shows the raw reply.
class ConsoleLogic : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReplyWindowTicks = 18;
    static constexpr int MaxReply = 4096;

    ConsoleLogic(SerialChannel &channel, const ComSettings &settings, QObject *parent = nullptr);

    // The settings the console reads (the settings dialog's selections).
    void setSettings(const ComSettings &settings) { m_settings = &settings; }

    const ConsoleView &view() const { return m_view; }
    const ConsoleFields &fields() const { return m_fields; }
    bool isOpen() const { return m_open; }
    bool repeating() const { return m_repeating; }
    bool waitingReply() const { return m_waitingReply; }
    QTimer &timer1() { return m_timer1; }

    // Opens the console on the channel with the current settings. A failed
    // opening leaves the channel closed and shows "Com port not exist".
    void open();
    // Closes the console and its channel.
    void SExitBtClick();

    // Field changes; each rebuilds the frame.
    void SCmdBoxSelect(int index);
    void setAddress(const QString &text);
    void setFunc(const QString &text);
    void setDataLen(const QString &text);
    void UserCmdChange(const QString &text);
    void Edit1Change(int editNumber, const QString &text);
    // The user's own edit of the frame text (no rebuild).
    void setSendText(const QString &text);

    void SendBtClick(bool repeatButton);
    void Timer1Timer();
    void SClearBtClick();
    void ApdComPort1Trigger(int msg, int triggerHandle, int data);

signals:
    void viewChanged();

private:
    void build();
    void sendLastRequest();
    void stopRepeating();
    void changed() { emit viewChanged(); }

    SerialChannel &m_channel;
    const ComSettings *m_settings;
    ConsoleFields m_fields;
    ConsoleView m_view;
    QTimer m_timer1;
    QByteArray m_replyBuffer;
    QByteArray m_lastRequest;
    int m_replyTimer = 0;
    bool m_waitingReply = false;
    bool m_repeating = false;
    bool m_open = false;
};
