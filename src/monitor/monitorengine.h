#pragma once

#include "link/line.h"
#include "link/linkhealth.h"
#include "link/replycollector.h"
#include "monitor/enginework.h"
#include "monitor/imagerecord.h"
#include "monitor/latereplies.h"
#include "monitor/monitorstate.h"
#include "monitor/monitorview.h"
#include "monitor/scheduler.h"
#include "setup/parameterimage.h"
#include "setup/registerwrite.h"
#include "setup/writeall.h"

#include <QObject>
#include <QTimer>
#include <array>
#include <deque>
#include <functional>
#include <optional>

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
    // with the engine paused until it returns: it may open dialogs. The
    // image then holds one controller's whole setup (or a file's).
    std::function<void()> saveToFile;
    // A save or a wait for the image could not be carried out: `text` says
    // why. Called outside the line's events.
    std::function<void(const QString &text)> refused;
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
    // The program read has all 64 steps (complete), or ended without them:
    // `why` tells the user why (its controller went away, a block got no
    // good reply, the window closed). Polling resumes.
    std::function<void(bool complete, const QString &why)> programReadEnded;
    // A single write ended: echoed, refused, unanswered or not sent.
    std::function<void(const SingleWriteReport &report)> singleWriteEnded;
    // A wait for the selected controller's whole setup (a save or a
    // comparison) began or ended; `text` says what waits, empty at the end.
    std::function<void(const QString &text)> waiting;
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
    // How long a slot whose request timed out is left alone, in ms: a late
    // reply to that request is heard out before it is asked anything again.
    static constexpr int GuardMs = 300;
    // A slot that answers and was not asked for this long is asked before
    // anything goes that may fail, so that a failure never comes on top of
    // a long wait.
    static constexpr int FreshMs = 300;
    // A slot that answers and was not asked for this long is polled before
    // single writes to other slots.
    static constexpr int OverdueMs = 1000;
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
    void Timer1Timer();
    void ApdComPort1Trigger(int msg, int triggerHandle, int data);
    void ErrClearBt1MouseDown(int n);
    // ComAddrn changed by the user (1..247).
    void setComAddr(int n, int address);

    // Typed work for the engine. Single writes are sent before anything
    // else but the other half of an unlock pair, in the order committed; a
    // newer write to the same register of the same controller replaces one
    // that has not gone out. Jobs (write-all, program write and read, the
    // read of another slot) run one after the other, in the order asked,
    // each fixed to the slot selected (or named) when asked.

    // A single write of `value` to `reg` of the controller at `address`,
    // after the unlock write when `unlock` is set. Its result is charged to
    // the slot that polls the address; the parameters are read back after
    // its echo. Reported at once as not sent when no connected slot polls
    // the address.
    void requestWrite(int address, int reg, int value, bool unlock);
    // The single writes not yet ended, in the order they go out.
    QList<SingleWrite> queuedWrites() const { return {m_singles.begin(), m_singles.end()}; }
    // True while any work besides polling waits or runs.
    bool busy() const { return !m_singles.empty() || !m_jobs.empty(); }
    // The jobs that wait or run (the first one runs).
    int jobsQueued() const { return int(m_jobs.size()); }
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
    // is queued, when the selected slot is not connected.
    bool requestProgramRead();
    // One register of a batch, with the unlock write before it when asked.
    using WriteItem = RegisterWrite;
    // Write-all: the items in order to the selected controller (its address
    // fixed now), each given four attempts, or by broadcast to every
    // controller, each paced by the short reply window since nothing
    // answers. The gauge (the view's upLoadBar) counts the items' steps when
    // they carry them. writeAllEnded follows the last item, or the loss of
    // the controller; then the parameters are read back. False, and nothing
    // is queued, when the selected slot is not connected.
    bool startWriteAll(const QList<WriteItem> &items, bool broadcast);
    // Program write: the items in order to the selected controller (its
    // address fixed now), one attempt each; programWriteProgress follows
    // every item, programWriteEnded the last. False, and nothing is queued,
    // when the selected slot is not connected.
    bool startProgramWrite(const QList<WriteItem> &items);
    // The parameter file is saved (saveToFile) once the image holds the
    // selected controller's whole setup read since it was selected, since a
    // file was closed or since a write (at once when it does, or when a
    // parameter file is loaded).
    void requestSave();
    // `then` runs, outside the line's events, once the image holds one
    // controller's whole setup as for a save (with true), or when that
    // cannot come (with false, after `refused` has said why: the controller
    // went away or another was selected); `text` names the action for the
    // waiting notice and for the refusal.
    void whenImageWhole(const QString &text, std::function<void(bool ok)> then);
    // True when the image holds the selected controller's whole setup, read
    // since it was selected (or a parameter file).
    bool imageWhole() const;
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
    // the slot went away first, a block got no good reply, or the window
    // closed). Polling resumes afterwards.
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
    // Builds and sends the exchange; the reply is judged against it.
    bool send(Exchange exchange, const ModbusRequest &request, int textWindowTicks);
    // Puts the exchange's frame on the line. False when the line refused
    // it: the exchange failed.
    bool transmit(const Exchange &exchange);
    // True while the exchange's slot polls its address and its work waits.
    bool alive(const Exchange &x);
    // The scheduler's records, taken from the engine's.
    Scheduler::Records records() const;
    // Carries out the scheduler's decision; false when nothing was sent.
    bool carryOut(const Scheduler::Decision &d);
    // The polling cycle's cursor on a slot and step that may be asked, or
    // the cycle moved on; false when it has nobody to ask.
    bool settleCursor();
    // Whether slot n takes part in the polling cycle now.
    bool healthy(int n) const;
    // The slots' new addresses take effect (no exchange is on the line).
    void applyAddressChanges();
    bool sendPoll();
    // A poll of slot n outside the cycle's order.
    bool sendProbe(int n, int step);
    bool sendSingle(int index);
    bool sendJob();
    void replyWindowEnded();
    void handleReply();
    // A whole write frame that came outside its own exchange: true when it
    // settled a write waiting on it.
    bool takeLateEcho(const QByteArray &frame);
    // What a good reply, a refusal or a failed exchange means, once per
    // kind of work.
    void pollDone(const Exchange &x, const QList<quint16> &words);
    void probeDone(const Exchange &x, const QList<quint16> &words);
    // A write asked again goes after its unlock again.
    void relock(const Exchange &x);
    // A poll reply of `step` to slot n into its panel and, for the selected
    // slot, into the image.
    void applyPoll(int n, int step, const QList<quint16> &words, quint64 sent);
    void setupBlockDone(const Exchange &x, const QList<quint16> &words);
    void setupBlockFailed(const Exchange &x);
    void singleDone(const Exchange &x, WriteOutcome outcome, const TransactionResult &error);
    void jobWriteDone(const Exchange &x, WriteOutcome outcome);
    void jobReadDone(const Exchange &x, const QList<quint16> &words);
    void jobReadFailed(const Exchange &x);
    // Attempts a write or a transfer's item gets: four, or one more than the
    // line's retries.
    int itemAttempts() const;
    // The exchange got no good reply: a time-out, or three bad replies.
    void exchangeFailed(const Exchange &x, const TransactionResult &result);
    // The slot's counters, lamps and notes after a result; disconnects it
    // after five time-outs in a row over at least ten seconds.
    void ReportResult(int n, const TransactionResult &result, bool countsAsTimeout);
    SingleWrite *singleOf(quint64 id);
    // A job of slot n, its address taken now; queued, it runs after those
    // before it.
    Job newJob(JobKind kind, int n, const QList<WriteItem> &items = {});
    void queueJob(Job job);
    Job *jobOf(quint64 id);
    // Ends single writes and jobs: those of slot `n` (0: all), with `why`.
    void endWorkOf(int n, const QString &why);
    void endSingle(std::deque<SingleWrite>::iterator it, WriteOutcome outcome,
                   const TransactionResult &error, const QString &why);
    void endJob(quint64 id, bool complete, const QString &why);
    // The exchange on the line has ended (reply, window, or nothing left to
    // judge it against): work ended meanwhile ends now, a close completes.
    void flightEnded();
    void finishClose();
    // A write (not an unlock) is on the line: what it did is waited for.
    bool writeInFlight() const;
    struct EndLater
    {
        int slot;
        QString why;
    };
    QList<EndLater> m_endAfterFlight;
    bool m_closing = false; // the window closed; the line closes after the exchange
    void startNextJob();
    // The selected controller's image must be read again, every block; it is
    // not whole until then.
    void markStale();
    // The refusal for a wait that cannot be served: the block that failed.
    QString blockText(int step) const;
    // The waits for a whole image: run those that can, refuse the others.
    void serveImageWaits();
    void refuseImageWaits(const QString &why);
    void discardWaitingInput();
    // The save, posted out of the line's event that found it due.
    void runSave();
    // The selected slot's identification words into the image.
    void copyIdentification();
    void writeAllProgress(const Job &job);
    void updateNotes();
    // The line's device went away: every connected slot shows it at once, and
    // the window says so once.
    void lineLost();
    // Opens the line again after its device went away; true when it is back.
    bool reopenLine();
    bool linearInput() const;
    void changed() { emit viewChanged(); }
    QString slotName(int n) const;

    Line &m_channel;
    LineSettingsSource m_settings;
    ReplyCollector m_collector;
    // Each slot's link health, fed by its exchanges (broadcasts aside).
    std::array<LinkHealth, SlotCount + 1> m_health;
    void noteExchangeEnded(const Exchange &x, LinkHealth::Outcome outcome, int characters);
    void showHealth();
    // The work: the exchange in flight, the single writes, the jobs.
    std::optional<Exchange> m_inFlight;
    std::deque<SingleWrite> m_singles;
    std::deque<Job> m_jobs; // the front one runs
    quint64 m_nextId = 1;
    // Bad replies in a row to one request, and the request they were to.
    int m_badReplies = 0;
    QByteArray m_badFrame;
    quint64 m_badWork = 0;
    // Every request gets the next number when it leaves; the image's blocks
    // are dated by it.
    quint64 m_sendCount = 0;
    quint64 m_inFlightSent = 0;
    // The scheduler's own records: who is owed an exchange after a failure,
    // whether a probe is due, who was probed last, and the guards after a
    // time-out (line milliseconds until which the slot is not asked).
    std::array<bool, SlotCount + 1> m_owed {};
    bool m_probeDue = false;
    int m_lastProbe = 0;
    std::array<qint64, SlotCount + 1> m_guardUntil {};
    // Requests whose replies may still come late: one whose reply could not
    // be told from theirs waits for the answer to a read of another shape.
    LateReplies m_late;
    // Whether the reply to `exchange` could be taken for a late one: a
    // read of another shape must be answered first.
    bool mustWaitForOtherShape(const Exchange &exchange);
    bool sendOtherShape(int n);
    std::array<bool, SlotCount + 1> m_otherShapeDue {};
    // How long after its request a late reply may still come.
    qint64 lateHorizonMs() const;
    std::array<qint64, SlotCount + 1> m_lastAsked {}; // line ms of each slot's last request
    quint16 m_guardTimer = 0; // the line's timer that ends a guard when nothing else goes
    void attachLine(); // the line's timers, after every opening
    bool m_guarding = false; // the exchange's window ended: its guard is listened out
    bool m_deciding = false; // inside SendNext: a nested call only asks again
    bool m_askAgain = false;
    // The selected controller's image: which blocks were read since its mark.
    ImageRecord m_record;
    int m_setupSlot = 0; // the slot whose setup the cycle's steps 6 to 13 read
    // Actions that wait for the image to hold one controller's whole setup.
    struct ImageWait
    {
        QString text;
        std::function<void(bool)> then;
        bool save = false; // the Save to File of the window
    };
    QList<ImageWait> m_imageWaits;
    bool m_paused = false; // the save is running: nothing is sent
    bool m_lineLost = false; // the device went away and is not back yet
    qint64 m_requestTick = 0; // when the request in flight left
    // Slots disconnected for time-outs, until the user acts on them.
    std::array<bool, SlotCount + 1> m_disconnectedForTimeouts {};
    MonitorState m_state;
    MonitorView m_view;
    ParameterImage m_image;
    QTimer m_timer1;
};
