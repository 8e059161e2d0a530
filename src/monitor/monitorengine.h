#pragma once

#include "link/line.h"
#include "link/linkhealth.h"
#include "link/replycollector.h"
#include "monitor/monitorstate.h"
#include "monitor/monitorview.h"
#include "setup/parameterimage.h"
#include "setup/registerwrite.h"
#include "setup/writeall.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <functional>

// The hooks through which the window's other parts take part in the chain.
// Each is optional; the engine calls it at the point its name says.
struct MonitorHooks
{
    // A setup reply (steps 6 to 13) after the engine stored its entries.
    std::function<void(int step, const QList<quint16> &words)> setupReply;
    // The setup read cycle ended (after step 13).
    std::function<void()> setupCycleDone;
    // The setup view is to be hidden and its editing disabled (no slot
    // left, or the window reset).
    std::function<void()> hideSetupView;
    // The factory box is to be hidden (another controller selected, or an
    // address changed).
    std::function<void()> hideFactory;
    // Whether values are scaled as a linear input's; by default from the
    // image's input type.
    std::function<bool()> linearInput;
    // The parameter file is to be saved. Called outside the line's events,
    // with the engine paused until it returns: it may open dialogs.
    std::function<void()> saveToFile;
    // A write-all item done (echo, time-out of a broadcast, or given up):
    // the gauge in percent.
    std::function<void(int percent)> writeAllProgress;
    // The write-all batch ended, after polling restarted. Called from the
    // line's events: it must not open dialogs itself.
    std::function<void(const BatchWriteReport &report)> writeAllEnded;
    // A program write item done (echo or failure): how many are done.
    std::function<void(int done)> programWriteProgress;
    // The program write ended: after its last item, or when its controller
    // went away or the engine was reset; the items not written.
    std::function<void(const BatchWriteReport &report)> programWriteEnded;
    // A program-read reply: its phase (0 to 4) and, in phase 4, the first
    // of the four steps its words carry. The engine moves the read on.
    std::function<void(int phase, int firstStep, const QList<quint16> &words)> programReply;
    // The program read has all 64 steps (complete), or was dropped: its
    // controller went away or the engine was reset. Polling resumes.
    std::function<void(bool complete)> programReadEnded;
    // Timer1 while a request is outstanding: the trend chart's sampling.
    std::function<void()> trendSample;
    // A slot's trend history is cleared.
    std::function<void(int slot)> clearHistory;
    // The trend chart was switched on: it is drawn afresh at the next tick.
    std::function<void()> chartOn;
};

// The transaction engine of the monitor window: one request at a time on
// the window's channel, each reply checked, applied and followed at once by
// the next request; a one-second timer restarts a stalled chain.
class MonitorEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int WriteAllItems = 40; // the last item of a full write-all
    static constexpr int MaxReceive = 512;
    // The reply windows of text frames, in ticks, counted from the last byte.
    static constexpr int ReadWindowTicks = 36;
    static constexpr int BroadcastWindowTicks = 9;
    // Time-outs in a row that disconnect a slot.
    static constexpr int TimeoutsToDisconnect = 5;
    // Bad replies in a row to one request that count as one time-out.
    static constexpr int BadRepliesAsTimeout = 3;
    // The program read's last phase, which reads the steps by blocks.
    static constexpr int ProgramReadLastPhase = 4;
    static constexpr int ProgramStepsPerBlock = 4;

    MonitorEngine(Line &line, LineSettingsSource settings, QObject *parent = nullptr);

    // True while the window's line is open: the port is taken.
    bool holdsPort() const { return m_channel.isOpen(); }
    MonitorHooks hooks;

    // The engine's record, read-only: other parts hand it work through the
    // typed calls below.
    const MonitorState &state() const { return m_state; }
    MonitorView &view() { return m_view; }
    const MonitorView &view() const { return m_view; }
    ParameterImage &image() { return m_image; }
    QTimer &timer1() { return m_timer1; }

    // The window's show and close: reset, apply the settings, open the port
    // with its reply timer ("Com port not exist" when that fails); close.
    void FormShow();
    void FormClose();

    void ResetEngine();
    // RunBtn: connects the slot when it is not requested, else disconnects.
    void RunStopBtClick(int n);
    void ConnectSlot(int n);
    void DisconnectSlot(int n);
    void SelectSlot(int n);
    // A click on a slot's picture or displays.
    void Image1Click(int n);
    void StartCycle();
    void AdvanceStep();
    void SendNext();
    void ReportResult();
    void Timer1Timer();
    void ApdComPort1Trigger(int msg, int triggerHandle, int data);
    void ErrClearBt1MouseDown(int n);
    // ComAddrn changed by the user (1..247).
    void setComAddr(int n, int address);

    // Typed work for the engine, taken at the next request.
    // A single write of `value` to `reg` of the controller at `address`,
    // after the unlock write when `unlock` is set. Its result is charged to
    // the slot that polls the address; the parameters are read back after
    // its echo. Dropped when no connected slot polls the address.
    void requestWrite(int address, int reg, int value, bool unlock);
    // The selected controller's setup is read again at the end of the
    // polling cycle.
    void requestSetupRead();
    // The heating/cooling assignment of the outputs is read in the next cycle.
    void requestOutputModeRead();
    // The trend chart shown in place of the setup view, or hidden; DrawBt's
    // caption follows.
    void setChartShown(bool shown);
    // The debug counters and the status text, shown or hidden.
    void setDebugVisible(bool visible);
    // The event indicators of the panels are hidden until the next poll of
    // the event inputs.
    void hideEventIndicators();
    // The program read of the selected controller (fixed at the request),
    // in place of the polling until its 64 steps are in. False, and nothing
    // starts, while other work runs.
    bool requestProgramRead();
    // One register of a batch, with the unlock write before it when asked.
    using WriteItem = RegisterWrite;
    // Write-all: the items in order to the selected controller (its address
    // fixed at the start), each given four attempts, or by broadcast to
    // every controller, each paced by the short reply window since nothing
    // answers. The gauge (the view's upLoadBar) counts the items' steps when
    // they carry them. writeAllEnded follows the last item, or the loss of
    // the controller; then the parameters are read back. False, and nothing
    // starts, when no controller is connected or other work runs.
    bool startWriteAll(const QList<WriteItem> &items, bool broadcast);
    // Program write: the items in order to the selected controller (its
    // address fixed at the start), one attempt each; programWriteProgress
    // follows every item, programWriteEnded the last. False, and nothing
    // starts, when no controller is connected or other work runs.
    bool startProgramWrite(const QList<WriteItem> &items);
    // The parameter file is saved (saveToFile) at the next chance to send,
    // once a setup read in progress has ended.
    void requestSave();
    // A parameter file's image replaces the parameter image, and stays until
    // closeParameterFile or the end of write-all: the polls and setup reads
    // leave it alone.
    void loadParameterFile(const ParameterImage &file);
    // The file is dropped: the selected controller's identification and
    // setup come back into the image.
    void closeParameterFile();
    // True while the engine waits for the save to end.
    bool paused() const { return m_paused; }
    // Reads the setup of the controller in slot `n` into an image of its own,
    // with no effect on the window, and hands it to `done` (with false when
    // the slot went away first). Polling resumes afterwards.
    using SetupReadDone = std::function<void(bool ok, const ParameterImage &image)>;
    void readSetupOf(int n, SetupReadDone done);
    // The requested slot that polls `address`, the selected one first; 0 for none.
    int slotOfAddress(int address) const;
    // Slot n's link health now.
    LinkHealth::Figures health(int n) const;

    void ApplyMonitorReply();
    void ApplySetupReply();
    void ClearSlotPanel(int n);

signals:
    void viewChanged();

private:
    const Framing &framing() const;
    void sendRead(int address, int reg, int count);
    void sendWrite();
    void send(const ModbusRequest &request, int textWindowTicks);
    void replyWindowEnded();
    void dropPendingWrite();
    // No slot is left: queued writes, batches and program transfers end.
    void dropAllWork();
    // The notes beside the slots: a disconnection for time-outs, or an
    // address that another connected slot polls too.
    void updateNotes();
    // The line's device went away: every connected slot shows it at once, and
    // the window says so once.
    void lineLost();
    // Opens the line again after its device went away; true when it is back.
    bool reopenLine();
    // After an accepted program-read reply: the next phase or block, or the end.
    void advanceProgramRead();
    void endProgramRead(bool complete);
    void endProgramWrite(bool complete);
    // A program transfer that runs or waits ends, unfinished.
    void dropProgramTransfers();
    // A setup-read reply of another slot; ends the read after its last block.
    void applyOtherSetupReply();
    void endOtherSetupRead(bool ok);
    // The batch's next item into PendingWrite, when a batch runs.
    void prepareBatchItem();
    void discardWaitingInput();
    void handleReply();
    void endWriteAllBatch(bool resetTicks, bool complete = true);
    // The batch's step number of an item (its position when it has none).
    int stepOf(int index) const;
    // The save, posted out of the line's event that found it pending.
    void runSave();
    // The selected slot's identification words into the image.
    void copyIdentification();
    void advanceWriteAll(bool resetTicks);
    // A write answered by its echo, or given up: the batch or the cycle goes on.
    void finishWriteItem();
    bool linearInput() const;
    void changed() { emit viewChanged(); }

    Line &m_channel;
    LineSettingsSource m_settings;
    ReplyCollector m_collector;
    // Each slot's link health, fed by its exchanges (broadcasts aside).
    std::array<LinkHealth, SlotCount + 1> m_health;
    void noteExchangeEnded(LinkHealth::Outcome outcome, int characters);
    void showHealth();
    QList<WriteItem> m_batchItems; // of the write-all or program write that runs
    int m_batchIndex = 0; // the write-all's current item
    int m_batchAddress = 0; // where the batch goes: fixed at its start
    QList<WriteItem> m_notWritten; // write-all items given up
    bool m_paused = false; // the save is running: nothing is sent
    int m_programNext = 0; // the program write's next item
    int m_programDone = 0; // program write items answered or failed
    int m_programSlot = 0; // the slot the program read reads
    // The setup read of another slot: which, its step, its image.
    int m_otherSlot = 0;
    int m_otherStep = 0;
    ParameterImage m_otherImage;
    SetupReadDone m_otherDone;
    int m_badReplies = 0; // bad replies in a row to the request in flight
    bool m_lineLost = false; // the device went away and is not back yet
    bool m_countAsTimeout = false; // the result being reported counts as a time-out
    qint64 m_requestTick = 0; // when the request in flight left
    // Slots disconnected for time-outs, until the user acts on them.
    std::array<bool, SlotCount + 1> m_disconnectedForTimeouts {};
    MonitorState m_state;
    MonitorView m_view;
    ParameterImage m_image;
    QTimer m_timer1;
};
