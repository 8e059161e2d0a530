#pragma once

#include "link/errortexts.h"
#include "link/line.h"
#include "link/replycollector.h"
#include "recorder/recorderdata.h"
#include "recorder/recordfile.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <array>
#include <functional>

// What the recorder's controls show besides the devices' boxes.
struct RecorderView
{
    bool recording = false;
    bool backgroundRed = false; // BackGndP: lime while idle, red while recording
    // DisplayMd, OpenBt, SaveBt, SampleTime and LoopCnt.
    bool idleControlsEnabled = true;
    QString startCaption = QStringLiteral("START");
    QString startHint = QStringLiteral("Start record process");
    bool devicePanelsEnabled = false; // Panel1 .. PanelA
    bool comAddrPanelEnabled = true; // ComAddrPL
    bool timePanelVisible = true; // TimePL
    bool viewing = false; // a record file is shown
    QString loopCnt = QStringLiteral(" 00000000");
    QString startTime; // STARTTIME's time stamp
    QString lastTime; // NOWTHETIME's time stamp
    QString errMess; // ErrMess, hidden: the last error
    bool saveArmed = false; // SavePL maroon: the next recording is written to a file
};

// The calls the acquisition makes into the trend chart and the record file.
struct RecorderHooks
{
    std::function<void()> chartClear;
    std::function<void(bool)> chartActive;
    // A scan completed: sample index (the scan counter before it rises) and
    // its time stamp.
    std::function<void(qint64 index, const QString &time)> chartUpdate;
    // The record file, when one is armed: created with its header at the
    // start, an entry per device and scan, a line end per scan, "End".
    std::function<bool()> fileArmed;
    std::function<void()> fileStart;
    std::function<void(int device, qint32 sample)> fileSample;
    std::function<void(int device)> fileMissing;
    std::function<void(const QString &time, const QString &date)> fileLineEnd;
    std::function<void()> fileEnd;
};

// The recorder's acquisition: one scan per Timer1 tick, asking the process
// value of every device in use in device order on the window's own line,
// each until it answers or is given up after three failures; the samples go
// into the devices' rings, the chart and the record file.
class RecorderAcquisition : public QObject
{
    Q_OBJECT
public:
    static constexpr int TextReplyTicks = 18;
    static constexpr int FailuresToGiveUp = 3;
    static constexpr int MaxSampleSeconds = 120;

    RecorderAcquisition(Line &line, LineSettingsSource settings, Recorder::Data &data,
                        QObject *parent = nullptr);

    RecorderHooks hooks;
    // The time stamps' clock; the system's by default.
    std::function<QDateTime()> clock = [] { return QDateTime::currentDateTime(); };

    const RecorderView &view() const { return m_view; }
    bool recording() const { return m_view.recording; }
    qint64 scanCounter() const { return m_scanCounter; }
    int currentDevice() const { return m_current; }
    bool requestOutstanding() const { return m_requestOutstanding; }
    QTimer &timer1() { return m_timer1; }
    bool holdsPort() const { return m_line.isOpen(); }

    // ComAddrn (device 0..9): taken when a recording starts.
    void setComAddr(int device, int address);
    int comAddr(int device) const { return m_comAddr[size_t(device)]; }
    // SampleTime, 1..120 seconds.
    void setSampleTime(int seconds);
    int sampleTime() const { return m_sampleTime; }

    void FormShow();
    void StartBtClick();
    // "Save to File": the next recording is written to the file chosen now
    // (only while no recording runs).
    void SaveBtClick();
    bool saveArmed() const { return m_view.saveArmed; }
    // Opening a record file disarms saving.
    void disarm() { disarmSaving(); }
    // A record file is viewed: its counter shown, the time panel hidden,
    // the device panels enabled.
    void showViewing(const QString &loopCnt);
    // The window closes: a recording ends as by STOP.
    void FormClose();
    void Timer1Timer();
    void ApdComPort1Trigger(int msg, int triggerHandle, int data);

    // The US time and date of a time stamp.
    static QString TimeText(const QDateTime &t);
    static QString DateText(const QDateTime &t);

signals:
    void viewChanged();

private:
    void start();
    void stop();
    void idleState();
    void sendRequest();
    void replyArrived();
    void timedOut();
    // Runs after every reply and time-out: counts the failure of the current
    // device (or clears the count of the one that answered) and asks the
    // next device, or completes the scan.
    void afterResult(const TransactionResult &result, int answered);
    // From device `from` on: failed devices get their missing entries,
    // unused ones are skipped; the current device becomes the next one in
    // service, or 10 when the scan has passed them all.
    void advanceFrom(int from, qint64 index);
    void completeScan();
    void lineLost();
    // True when the line is there (again); tries to reopen a lost one.
    bool lineBack();
    void changed() { emit viewChanged(); }

    Line &m_line;
    LineSettingsSource m_settings;
    Recorder::Data &m_data;
    ReplyCollector m_collector;
    RecorderView m_view;
    QTimer m_timer1;
    std::array<int, Recorder::DeviceCount> m_comAddr {1};
    int m_sampleTime = 1;
    int m_current = 0;
    qint64 m_scanCounter = 0;
    bool m_requestOutstanding = false;
    bool m_fileOpen = false;
    bool m_lostSaid = false; // until a request goes out again
    QByteArray m_lastRequest;
    QString m_savePath;
    RecordFile::Writer m_writer;
    void disarmSaving();
};
