#pragma once

#include "console/consoleframe.h"
#include "link/line.h"
#include "link/replycollector.h"

#include <QObject>
#include <QTimer>

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
    QString decoded; // DecodeLb: the reply read for people, or why nothing was sent
    QString repeatCaption = QStringLiteral("Repeat"); // RSendBt
};

// The command-test console: builds a request from hex fields, sends it once
// or every second on the main window's line, and shows the raw reply. The
// reply window is 18 ticks from the send; a reply complete for the framing
// ends it earlier.
class ConsoleLogic : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReplyWindowTicks = 18;
    static constexpr int MaxReply = 4096;

    ConsoleLogic(Line &line, LineSettingsSource settings, QObject *parent = nullptr);

    const ConsoleView &view() const { return m_view; }
    const ConsoleFields &fields() const { return m_fields; }
    bool isOpen() const { return m_open; }
    // True while the console's line is open: the port is taken.
    bool holdsPort() const { return m_line.isOpen(); }
    bool repeating() const { return m_repeating; }
    bool waitingReply() const { return m_collector.waiting(); }
    QTimer &timer1() { return m_timer1; }

    // Opens the console on the line with the current settings. A failed
    // opening leaves the line closed and shows "Com port not exist".
    void open();
    // Closes the console and its line.
    void SExitBtClick();
    // The program ends: stop without asking anything and close the line.
    void endWork();

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
    const Framing &framing() const;
    void build();
    // The Modbus format changed since SendEdit's text was made: its caption
    // and its frame are made anew from the fields.
    void followFraming();
    // The line's device went away: said once; true when it could be opened
    // again under its name.
    bool lineBack();
    void sendLastRequest();
    void stopRepeating();
    void changed() { emit viewChanged(); }

    Line &m_line;
    LineSettingsSource m_settings;
    ReplyCollector m_collector;
    ConsoleFields m_fields;
    ConsoleView m_view;
    QTimer m_timer1;
    QByteArray m_lastRequest;
    bool m_frameInvalid = false; // the fields give no frame: Send sends nothing
    bool m_lossTold = false; // the removed device was reported
    bool m_lineLost = false; // the device went away and is not back yet
    QString m_lostText; // what to say about the line lost
    ModbusMode m_textMode = ModbusMode::Ascii; // the framing SendEdit's text is in
    ModbusMode m_requestMode = ModbusMode::Ascii; // the framing m_lastRequest is in
    bool m_repeating = false;
    bool m_open = false;
};
