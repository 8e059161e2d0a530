#include "monitor/monitorengine.h"

#include "link/channelerror.h"
#include "link/errortexts.h"
#include "link/replies.h"
#include "link/valueformat.h"
#include "setup/registermap.h"
#include "ui/dialogs.h"
#include "ui/screenscale.h"

namespace {

void postWarning(const QString &text)
{
    // Never a modal box inside a channel event or an engine step.
    QTimer::singleShot(0, [text] { AppDialogs().inform(QStringLiteral("Warning"), text); });
}

int signExtend(int word)
{
    return word >= 0x8000 ? word - 0x10000 : word;
}

} // namespace

MonitorEngine::MonitorEngine(Line &line, LineSettingsSource settings, QObject *parent)
    : QObject(parent)
    , m_channel(line)
    , m_settings(std::move(settings))
    , m_collector(line, ReplyCollector::Timing::FromLastByte, MaxReceive)
{
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(1000);
    connect(&m_timer1, &QTimer::timeout, this, &MonitorEngine::Timer1Timer);
    m_channel.setTriggerHandler([this](quint16 msg, quint16 handle, quint16 data) {
        ApdComPort1Trigger(msg, handle, data);
    });
    ResetEngine();
}

const Framing &MonitorEngine::framing() const
{
    return Framing::of(m_settings().framing);
}

bool MonitorEngine::linearInput() const
{
    return m_image.at(ParameterImage::entryOfRegister(Reg::InputType)) > 12;
}

// --- Opening, closing, reset -------------------------------------------------

void MonitorEngine::FormShow()
{
    m_disconnectedForTimeouts.fill(false);
    ResetEngine();
    updateNotes();
    m_view.allImageVisible = true;
    m_view.debugVisible = false;
    for (int n = 1; n <= SlotCount; ++n)
        ClearSlotPanel(n);
    try {
        m_channel.openWith(m_settings());
        m_collector.attach();
        m_state.ReplyTimer = m_collector.timer();
    } catch (const ChannelError &e) {
        m_channel.close();
        postWarning(PortFailureText(e));
    }
    changed();
}

void MonitorEngine::FormClose()
{
    m_collector.cancel();
    m_channel.close();
    m_timer1.stop();
}

void MonitorEngine::ResetEngine()
{
    const quint16 timer = m_state.ReplyTimer;
    const int selected = 1;
    m_state = MonitorState();
    m_state.ReplyTimer = timer;
    m_state.SelectedDevice = selected;
    for (int n = 1; n <= SlotCount; ++n) {
        SlotState &s = m_state.at(n);
        s.DeviceAddress = m_view.comAddr[size_t(n)];
        if (hooks.clearHistory)
            hooks.clearHistory(n);
    }
    m_view.drawCaption = QStringLiteral("PV Monitor");
    if (hooks.hideSetupView)
        hooks.hideSetupView();
    changed();
}

// --- Slots -------------------------------------------------------------------

void MonitorEngine::RunStopBtClick(int n)
{
    if (m_state.at(n).DeviceRequested)
        DisconnectSlot(n);
    else
        ConnectSlot(n);
}

void MonitorEngine::ConnectSlot(int n)
{
    // A port that could not be opened: say so once instead of failing at
    // every send.
    if (!m_channel.isOpen()) {
        postWarning(QStringLiteral("Com port not exist"));
        return;
    }
    SlotPanel &panel = m_view.at(n);
    panel.runLed = MonitorColor::Green;
    panel.runCaption = QStringLiteral("Disconnect");
    SlotState &slot = m_state.at(n);
    if (slot.DeviceRequested) {
        changed();
        return;
    }
    slot.historyCount = 0;
    if (hooks.clearHistory)
        hooks.clearHistory(n);
    slot.DeviceRequested = true;
    m_disconnectedForTimeouts[size_t(n)] = false;
    updateNotes();
    if (m_state.ConnectedCount() == 1) {
        for (int i = 1; i <= SlotCount; ++i)
            m_state.at(i).DeviceAddress = m_view.comAddr[size_t(i)];
        slot.DeviceActive = true;
        SelectSlot(n);
        m_state.PollStep = 0;
        m_state.PollDevice = n;
        m_state.SlaveAddress = slot.DeviceAddress;
        m_state.SetupViewPending = true;
        m_view.allImageVisible = false;
        m_timer1.start();
        SendNext();
    } else {
        m_state.ApplyPending = true;
    }
    changed();
}

void MonitorEngine::DisconnectSlot(int n)
{
    SlotState &slot = m_state.at(n);
    if (!slot.DeviceRequested)
        return;
    slot.historyCount = 0;
    if (hooks.clearHistory)
        hooks.clearHistory(n);
    slot.DeviceActive = false;
    slot.DeviceRequested = false;
    slot.TimeoutRun = 0;
    ClearSlotPanel(n);
    // A write for a controller no longer polled is not sent.
    if (slotOfAddress(m_state.PendingWrite.address) == 0 && m_state.PendingWrite.address != 0)
        dropPendingWrite();
    if (m_state.ConnectedCount() == 0) {
        dropAllWork();
        m_timer1.stop();
        if (m_state.ChartShown) {
            m_state.ChartShown = false;
            m_view.drawCaption = QStringLiteral("PV Monitor");
        }
        if (hooks.hideSetupView)
            hooks.hideSetupView();
        m_view.allImageVisible = true;
    }
    changed();
    updateNotes();
}

int MonitorEngine::slotOfAddress(int address) const
{
    const MonitorState &st = m_state;
    if (st.at(st.SelectedDevice).DeviceRequested &&
        st.at(st.SelectedDevice).DeviceAddress == address)
        return st.SelectedDevice;
    for (int n = 1; n <= SlotCount; ++n)
        if (st.at(n).DeviceRequested && st.at(n).DeviceAddress == address)
            return n;
    return 0;
}

void MonitorEngine::dropPendingWrite()
{
    m_state.PendingWrite = {};
    m_state.WritePending = false;
    m_state.UnlockPending = false;
}

void MonitorEngine::dropAllWork()
{
    MonitorState &st = m_state;
    dropPendingWrite();
    st.WriteAll = false;
    st.BroadcastWrite = false;
    st.ProgramWriteActive = false;
    st.ProgramReadRequested = false;
    st.ProgramReadActive = false;
    st.ParamsFromFile = false;
    st.BatchCounter = 0;
    st.BatchRetry = 0;
    m_batchItems.clear();
    m_view.upLoadBar = 0;
    m_badReplies = 0;
}

void MonitorEngine::updateNotes()
{
    for (int n = 1; n <= SlotCount; ++n) {
        const SlotState &slot = m_state.at(n);
        QString note;
        if (m_disconnectedForTimeouts[size_t(n)]) {
            note = QStringLiteral("No answer \u2013 disconnected");
        } else if (slot.DeviceRequested) {
            for (int k = 1; k <= SlotCount && note.isEmpty(); ++k)
                if (k != n && m_state.at(k).DeviceRequested &&
                    m_view.comAddr[size_t(k)] == m_view.comAddr[size_t(n)])
                    note = QStringLiteral("Address %1 is also polled by slot %2")
                               .arg(m_view.comAddr[size_t(n)])
                               .arg(k);
        }
        m_view.at(n).note = note;
    }
}

void MonitorEngine::SelectSlot(int n)
{
    m_state.FactoryShown = false;
    if (m_state.at(n).DeviceRequested) {
        m_view.selPanelVisible = true;
        m_state.SelectedDevice = n;
        m_state.ParamsStale = true;
    } else {
        m_view.selPanelVisible = false;
    }
    m_view.selPanelSlot = n;
    changed();
}

void MonitorEngine::Image1Click(int n)
{
    if (m_state.at(n).DeviceActive && m_state.SelectedDevice != n)
        SelectSlot(n);
}

void MonitorEngine::setComAddr(int n, int address)
{
    m_view.comAddr[size_t(n)] = qBound(1, address, 247);
    m_disconnectedForTimeouts[size_t(n)] = false;
    updateNotes();
    changed();
}

// --- The cycle ---------------------------------------------------------------

void MonitorEngine::StartCycle()
{
    int lowest = 0;
    for (int n = SlotCount; n >= 1; --n) {
        SlotState &s = m_state.at(n);
        s.DeviceActive = s.DeviceRequested;
        if (s.DeviceActive)
            lowest = n;
    }
    if (lowest)
        m_state.PollDevice = lowest;

    bool addressChanged = false;
    for (int n = 1; n <= SlotCount; ++n) {
        SlotState &s = m_state.at(n);
        if (m_view.comAddr[size_t(n)] != s.DeviceAddress) {
            s.DeviceAddress = m_view.comAddr[size_t(n)];
            s.historyCount = 0;
            if (hooks.clearHistory)
                hooks.clearHistory(n);
            addressChanged = true;
        }
    }
    if (addressChanged) {
        m_state.FactoryShown = false;
        m_state.ParamsStale = true;
        // Identification of every active slot, from the lowest one.
        m_state.PollDevice = lowest ? lowest : 1;
        m_state.PollStep = 0;
    } else {
        m_state.PollStep = 1;
    }
}

void MonitorEngine::AdvanceStep()
{
    MonitorState &st = m_state;
    ++st.PollDevice;
    // Step-major: each step for every active slot before the next step. A
    // cycle in which no slot is active (slots requested but not yet active)
    // completes, so that they join.
    while (st.ConnectedCount() > 0) {
        if (st.PollDevice <= SlotCount) {
            const SlotState &s = st.at(st.PollDevice);
            if (s.DeviceActive && (st.PollStep != 3 || s.ProgramDisplay))
                break;
            ++st.PollDevice;
            continue;
        }
        ++st.PollStep;
        st.PollDevice = 1;
        if (st.PollStep == 2 && !st.ReadOutputMode)
            st.PollStep = 3;
        if (st.PollStep > 5)
            break;
    }
    if (st.PollStep <= 5)
        return;

    if (st.ApplyPending) {
        for (int n = 1; n <= SlotCount; ++n)
            st.at(n).DeviceActive = st.at(n).DeviceRequested;
        StartCycle();
        st.PollStep = 0;
        st.ApplyPending = false;
    } else if (st.ParamsStale && !st.ParamsFromFile) {
        st.ParamsStale = false;
        st.PollStep = FirstSetupStep;
    } else {
        StartCycle();
    }
}

// --- Sending -----------------------------------------------------------------

void MonitorEngine::SendNext()
{
    MonitorState &st = m_state;
    if (st.SaveToFilePending && hooks.saveToFile)
        hooks.saveToFile();
    prepareBatchItem();
    if (st.ConnectedCount() == 0)
        return;

    // A write asked for without its frame has nothing to send.
    if (st.WritePending && st.PendingWrite.isEmpty()) {
        st.WritePending = false;
        st.UnlockPending = false;
    }
    if (st.WritePending || st.UnlockPending) {
        // A write is charged to the slot it is addressed to; a broadcast to
        // the selected one (nothing answers it). A write for an address no
        // connected slot polls is not sent.
        const int address = st.PendingWrite.address;
        const int target = address == 0 ? st.SelectedDevice : slotOfAddress(address);
        if (target == 0) {
            dropPendingWrite();
            // A batch whose controller is gone ends.
            if (st.WriteAll && !st.BroadcastWrite)
                endWriteAllBatch(false);
            st.ProgramWriteActive = false;
        } else {
            st.RequestSlot = target;
            ++st.at(target).RequestCount;
            sendWrite();
            return;
        }
    }

    const bool selected = st.PollStep > 5 || st.ProgramReadActive;
    const int slot = selected ? st.SelectedDevice : st.PollDevice;
    const ReadBlock *block = nullptr;
    ReadBlock programBlock;
    if (st.ProgramReadActive) {
        const QList<ReadBlock> blocks = ProgramReadBlocks();
        if (st.ProgramReadStep >= 0 && st.ProgramReadStep < 4) {
            programBlock = blocks.at(st.ProgramReadStep);
            block = &programBlock;
        } else if (st.ProgramReadStep == 4 && st.ProgramStepCounter >= 0 &&
                   st.ProgramStepCounter < ProgramReg::Steps) {
            programBlock = {4, ProgramReg::setValue(st.ProgramStepCounter), 8, -1};
            block = &programBlock;
        }
    } else {
        block = ReadBlockForStep(st.PollStep);
    }
    if (!block || slot < 1 || slot > SlotCount)
        return;
    st.RequestSlot = slot;
    ++st.at(slot).RequestCount;
    st.SlaveAddress = st.at(slot).DeviceAddress;
    sendRead(st.SlaveAddress, block->start, block->count);
}

void MonitorEngine::requestWrite(int address, int reg, int value, bool unlock)
{
    MonitorState &st = m_state;
    st.PendingWrite = WriteRequest(address, reg, value);
    st.WritePending = true;
    st.UnlockPending = unlock;
    if (st.ConnectedCount() > 0 && !st.RequestOutstanding)
        SendNext();
}

void MonitorEngine::startWriteAll(const QList<WriteItem> &items, bool broadcast)
{
    MonitorState &st = m_state;
    if (items.isEmpty() || st.ConnectedCount() == 0)
        return;
    m_batchItems = items;
    st.WriteAll = true;
    st.BroadcastWrite = broadcast;
    st.ProgramWriteActive = false;
    st.BatchCounter = 0;
    st.BatchRetry = 0;
    if (!st.RequestOutstanding)
        SendNext();
}

void MonitorEngine::startProgramWrite(const QList<WriteItem> &items)
{
    MonitorState &st = m_state;
    if (items.isEmpty() || st.ConnectedCount() == 0 || st.WriteAll)
        return;
    m_batchItems = items;
    m_programNext = 0;
    st.ProgramWriteActive = true;
    st.BatchRetry = 0;
    if (!st.RequestOutstanding)
        SendNext();
}

void MonitorEngine::prepareBatchItem()
{
    MonitorState &st = m_state;
    const int address = st.BroadcastWrite ? 0 : st.at(st.SelectedDevice).DeviceAddress;
    if (st.WriteAll) {
        // The same item until its echo or its fourth failure; a write
        // refused or mismatched is prepared again, with its unlock write.
        if (st.WritePending || st.UnlockPending || st.BatchCounter < 0 ||
            st.BatchCounter >= m_batchItems.size())
            return;
        const WriteItem &item = m_batchItems.at(st.BatchCounter);
        st.PendingWrite = WriteRequest(address, item.reg, item.value);
        st.WritePending = true;
        st.UnlockPending = item.unlock;
    } else if (st.ProgramWriteActive) {
        // Every send takes the next item: a failed one is not repeated.
        if (st.WritePending)
            return;
        if (m_programNext >= m_batchItems.size()) {
            st.ProgramWriteActive = false;
            StartCycle();
            st.ParamsStale = true;
            return;
        }
        const WriteItem &item = m_batchItems.at(m_programNext++);
        st.PendingWrite = WriteRequest(address, item.reg, item.value);
        st.WritePending = true;
        st.UnlockPending = item.unlock;
    }
}

void MonitorEngine::requestProgramRead()
{
    m_state.ProgramReadRequested = true;
    m_state.ProgramReadStep = 0;
    m_state.ProgramStepCounter = 0;
    if (m_state.ConnectedCount() > 0 && !m_state.RequestOutstanding)
        SendNext();
}

void MonitorEngine::sendRead(int address, int reg, int count)
{
    send(ReadRequest(address, reg, count), ReadWindowTicks);
}

void MonitorEngine::sendWrite()
{
    MonitorState &st = m_state;
    // The write, and its unlock write, go to the address the write was
    // prepared for, even if the selection changed meanwhile.
    const int address = st.PendingWrite.address;
    st.SlaveAddress = address;
    const ModbusRequest request =
        st.UnlockPending ? WriteRequest(address, UnlockRegister, UnlockKey) : st.PendingWrite;
    send(request, st.BroadcastWrite ? BroadcastWindowTicks : ReadWindowTicks);
}

void MonitorEngine::send(const ModbusRequest &request, int textWindowTicks)
{
    MonitorState &st = m_state;
    const Framing &f = framing();
    discardWaitingInput();
    st.ReplyTicks = quint16(f.replyTicks(textWindowTicks, m_settings().baud));
    st.LastRequest = f.wrap(request);
    st.RequestOutstanding = true;
    m_requestTick = m_channel.tick();
    m_collector.send(st.LastRequest, f, st.ReplyTicks);
    changed();
}

void MonitorEngine::discardWaitingInput()
{
    // Bytes of an earlier exchange that are still waiting would be taken for
    // the start of the next reply. Inside a data event the channel hands out
    // only the bytes it announced, which the handler has read already.
    if (m_channel.isOpen())
        m_channel.discardInput();
}

// --- Receiving ---------------------------------------------------------------

void MonitorEngine::ApdComPort1Trigger(int msg, int triggerHandle, int data)
{
    switch (m_collector.take(quint16(msg), quint16(triggerHandle), quint16(data))) {
    case ReplyCollector::Event::Reply:
        if (m_state.ConnectedCount() > 0)
            handleReply();
        else
            m_state.RequestOutstanding = false;
        break;
    case ReplyCollector::Event::TimedOut:
        replyWindowEnded();
        break;
    default:
        break;
    }
}

void MonitorEngine::replyWindowEnded()
{
    MonitorState &st = m_state;
    st.RequestOutstanding = false;
    m_badReplies = 0;
    if (st.BroadcastWrite) {
        // Nothing answers a broadcast: the silence paces the batch.
        if (st.UnlockPending) {
            st.UnlockPending = false; // the unlock went out; its write follows
        } else {
            st.WritePending = false;
            advanceWriteAll(true);
        }
    } else {
        st.ErrorCode = ErrTimeout;
        ReportResult();
    }
    if (st.ConnectedCount() > 0)
        SendNext();
    changed();
}

void MonitorEngine::handleReply()
{
    MonitorState &st = m_state;
    const Reply reply =
        DecodeReply(framing(), m_collector.received(), st.LastRequest, st.SlaveAddress);
    const bool writing = st.WritePending || st.UnlockPending;
    if (reply.kind == ReplyKind::Words || reply.kind == ReplyKind::WriteEcho || writing) {
        m_badReplies = 0;
    } else if (reply.kind != ReplyKind::NoReply && ++m_badReplies >= BadRepliesAsTimeout) {
        // A controller that keeps answering wrongly would be asked again
        // without end and starve the others: three bad replies in a row to
        // one request count as one time-out of its slot.
        m_badReplies = 0;
        st.RequestOutstanding = false;
        st.ErrorCode = reply.kind == ReplyKind::Failure ? reply.errorCode : ErrEchoMismatch;
        m_countAsTimeout = true;
        ReportResult();
        SendNext();
        return;
    }
    switch (reply.kind) {
    case ReplyKind::Ignored:
    case ReplyKind::OtherFunction:
        // Not the reply to our request: Timer1 sends the request again.
        st.RequestOutstanding = false;
        return;
    case ReplyKind::NoReply:
        replyWindowEnded();
        return;
    case ReplyKind::BadChecksum:
        // Nothing applied and nothing advanced: the same request again.
        break;
    case ReplyKind::Words:
        st.ReplyWords = reply.words;
        if (st.ProgramReadActive) {
            if (hooks.programReply)
                hooks.programReply(st.ReplyWords);
        } else if (st.PollStep > 5) {
            ApplySetupReply();
        } else {
            ApplyMonitorReply();
            AdvanceStep();
        }
        break;
    case ReplyKind::WriteEcho:
        if (st.UnlockPending) {
            st.UnlockPending = false;
        } else if (st.WritePending) {
            st.BatchRetry = 0;
            finishWriteItem();
        }
        break;
    case ReplyKind::Failure:
        st.ErrorCode = reply.errorCode;
        break;
    }
    st.RequestOutstanding = false;
    if (st.ProgramReadRequested) {
        st.ProgramReadRequested = false;
        st.ProgramReadActive = true;
    }
    ReportResult();
    SendNext();
}

void MonitorEngine::finishWriteItem()
{
    MonitorState &st = m_state;
    if (st.WriteAll)
        advanceWriteAll(false);
    if (!st.WriteAll && !st.ProgramWriteActive) {
        // A single write (or the batch's end): read the parameters back.
        StartCycle();
        st.ParamsStale = true;
    }
    if (st.ProgramWriteActive && hooks.programWriteProgress)
        hooks.programWriteProgress();
    st.WritePending = false;
    st.PendingWrite = {};
}

void MonitorEngine::advanceWriteAll(bool resetTicks)
{
    MonitorState &st = m_state;
    ++st.BatchCounter;
    st.BatchRetry = 0;
    const int last = std::max(1, int(m_batchItems.size()) - 1);
    m_view.upLoadBar = std::min(100, st.BatchCounter * 100 / last);
    if (st.BatchCounter >= m_batchItems.size())
        endWriteAllBatch(resetTicks);
}

void MonitorEngine::endWriteAllBatch(bool resetTicks)
{
    MonitorState &st = m_state;
    if (resetTicks)
        st.ReplyTicks = 18;
    st.ParamsFromFile = false;
    st.WriteAll = false;
    st.BroadcastWrite = false;
    st.WritePending = false;
    st.UnlockPending = false;
    st.PendingWrite = {};
    m_batchItems.clear();
    m_view.upLoadBar = 0;
    StartCycle();
    st.ParamsStale = true;
    if (hooks.writeAllEnded)
        hooks.writeAllEnded();
}

void MonitorEngine::ReportResult()
{
    MonitorState &st = m_state;
    // The slot the request was addressed to carries the result.
    const int n = st.RequestSlot;
    SlotState &slot = st.at(n);
    SlotPanel &panel = m_view.at(n);
    const bool timeout = st.ErrorCode == ErrTimeout || m_countAsTimeout;
    m_countAsTimeout = false;
    if (st.ErrorCode == ErrNone) {
        slot.TimeoutRun = 0;
    } else {
        m_view.errText = MonitorErrorText(st.ErrorCode);
        if (timeout) {
            if (slot.TimeoutRun++ == 0)
                slot.timeoutRunStart = m_requestTick;
            // Five in a row, and over at least the time of five text reply
            // windows: a burst of noise on a fast line drops nobody.
            if (slot.TimeoutRun >= TimeoutsToDisconnect &&
                m_channel.tick() - slot.timeoutRunStart >= TimeoutsToDisconnect * ReadWindowTicks) {
                m_disconnectedForTimeouts[size_t(n)] = true;
                DisconnectSlot(n);
                if (st.ConnectedCount() > 0)
                    StartCycle();
                else
                    ResetEngine();
                updateNotes();
            }
        }
    }
    panel.doCount = QString::number(slot.RequestCount);
    panel.lost = slot.TimeoutRun != 0;
    if (st.ErrorCode != ErrNone) {
        m_view.errColor = MonitorColor::Red;
        ++slot.ErrorCount;
        panel.errCount = QString::number(slot.ErrorCount);
        panel.runLed = slot.DeviceActive ? MonitorColor::Red : MonitorColor::Grey;
        // A slot that fails while its address was corrected goes on with
        // the new address: identified and its setup read again.
        if (slot.DeviceRequested && m_view.comAddr[size_t(n)] != slot.DeviceAddress)
            StartCycle();
    }
    if (st.ErrorCode > 20 && (st.WritePending || st.UnlockPending)) {
        st.WritePending = false;
        st.UnlockPending = false;
        st.ParamsStale = true;
    }
    if ((st.WriteAll || st.ProgramWriteActive) && st.ErrorCode != ErrNone) {
        ++st.BatchRetry;
        if (st.BatchRetry > 3) {
            // Given up after four attempts: the batch moves on as after an echo.
            st.BatchRetry = 0;
            finishWriteItem();
        }
    }
    st.ErrorCode = ErrNone;
    changed();
}

void MonitorEngine::Timer1Timer()
{
    if (m_state.ConnectedCount() == 0)
        return;
    if (!m_state.RequestOutstanding)
        SendNext();
    else if (hooks.trendSample)
        hooks.trendSample();
}

void MonitorEngine::ErrClearBt1MouseDown(int n)
{
    SlotState &slot = m_state.at(n);
    slot.RequestCount = 0;
    slot.ErrorCount = 0;
    m_view.at(n).doCount = QStringLiteral("0");
    m_view.at(n).errCount = QStringLiteral("0");
    bool allClear = true;
    for (int i = 1; i <= SlotCount; ++i)
        allClear = allClear && m_state.at(i).ErrorCount == 0;
    if (allClear) {
        m_view.errColor = MonitorColor::Teal;
        m_view.errText = QStringLiteral("No Error");
    }
    changed();
}

// --- Applying replies ----------------------------------------------------------

void MonitorEngine::ApplyMonitorReply()
{
    MonitorState &st = m_state;
    const int n = st.PollDevice;
    if (n < 1 || n > SlotCount)
        return;
    SlotState &slot = st.at(n);
    if (!slot.DeviceActive)
        return;
    SlotPanel &panel = m_view.at(n);
    const QList<quint16> &w = st.ReplyWords;
    auto word = [&w](int i) { return i < w.size() ? int(w.at(i)) : 0; };
    const bool selected = n == st.SelectedDevice;

    switch (st.PollStep) {
    case 0: {
        if (word(1) != IdentificationValue) {
            DisconnectSlot(n);
            return;
        }
        st.ReadOutputMode = true;
        const int cls = ClassOfModel(word(2));
        if (cls)
            slot.DeviceModel = cls;
        if (selected) {
            m_image[ParameterImage::ModelEntry] = NormalizedModelCode(word(2));
            m_image[ParameterImage::Identification2Entry] = word(3);
            m_image[ParameterImage::Identification1Entry] = word(0);
        }
        panel.modelClass = slot.DeviceModel;
        panel.modelCode = word(2);
        panel.visible = true;
        break;
    }
    case 1: {
        slot.DecimalPlaces = word(0);
        if (selected && !st.ParamsFromFile)
            m_image[ParameterImage::entryOfRegister(Reg::DecimalPoint)] = word(0);
        slot.OnlineConfig = word(1) != 0;
        panel.lamps = StatusLamps(word(3), slot.DeviceModel);
        if (selected && slot.autoTuning != -1 && word(2) != slot.autoTuning)
            st.ParamsStale = true;
        slot.autoTuning = word(2);
        if (!(word(4) & 1) && selected)
            st.ParamsStale = true;
        if (selected && !st.ParamsFromFile)
            m_image.setFirmware(quint16(word(5)));
        slot.ProgramDisplay = word(6) == 1;
        break;
    }
    case 2: {
        const OutputAssignment a = OutputAssignmentOf(word(0));
        panel.outLabel1 = a.label1;
        panel.outLabel2 = a.label2;
        panel.outQty1Color = a.bar1;
        panel.outQty2Color = a.bar2;
        panel.outRow1Visible = true;
        panel.outRow2Visible = a.secondRow;
        st.ReadOutputMode = false;
        break;
    }
    case 3: {
        const ProgramText t = ProgramDisplayText(w, slot.lastSv, slot.DecimalPlaces, linearInput());
        panel.svText = t.text;
        panel.svTimeDisplay = t.timeDisplay;
        if (selected)
            slot.programDisplayMode = word(0);
        break;
    }
    case 4: {
        const bool e1 = word(0) & EventInput1Bit;
        const bool e2 = word(0) & EventInput2Bit;
        if (e1 != slot.EventFlag1 || e2 != slot.EventFlag2)
            st.ParamsStale = true;
        slot.EventFlag1 = e1;
        slot.EventFlag2 = e2;
        panel.event1 = e1;
        panel.event2 = e2;
        break;
    }
    case 5: {
        if (selected && !st.ParamsFromFile) {
            for (int i = 1; i <= 3; ++i)
                m_image[i] = word(i);
        }
        int pv = word(0);
        const auto code = PvStatusCode(pv);
        panel.pvStatus = code.has_value();
        if (code) {
            panel.pvText = PvStatusText(*code);
            if (PvStatusAsksReread(*code))
                st.ParamsStale = true;
            pv = 0;
        } else {
            panel.pvText = ScaledFormat(pv, slot.DecimalPlaces, linearInput());
        }
        const QString svText = ScaledFormat(word(1), slot.DecimalPlaces, linearInput());
        slot.output1 = word(2);
        slot.output2 = word(3);
        slot.lastSv = signExtend(word(1));
        slot.lastPv = signExtend(pv);
        if (!slot.ProgramDisplay) {
            panel.svText = svText;
            panel.svTimeDisplay = false;
        }
        panel.outQty1 = qBound(0, word(2), 1000);
        panel.outQty2 = qBound(0, word(3), 1000);
        break;
    }
    default:
        return;
    }
    panel.runLed = MonitorColor::Green;
    changed();
}

void MonitorEngine::ApplySetupReply()
{
    MonitorState &st = m_state;
    QList<quint16> words = st.ReplyWords;
    const int step = st.PollStep;
    const ReadBlock *block = ReadBlockForStep(step);
    SlotState &selected = st.at(st.SelectedDevice);
    if (block) {
        if (step == 6 && words.size() > 4)
            selected.OnlineConfig = words.at(4) & 1;
        if (step == 10 && words.size() > 3 && words.at(3) > 3)
            words[3] = 0; // an unknown run/stop state counts as stopped
        if (step >= 6 && step <= 11)
            m_image.setBlock(block->start, words.mid(0, block->count));
        if (step == 7)
            m_view.at(st.SelectedDevice).runLed = MonitorColor::Yellow;
    }
    if (hooks.setupReply)
        hooks.setupReply(step, words);
    if (step < LastSetupStep) {
        ++st.PollStep;
    } else {
        st.SetupViewPending = false;
        if (hooks.setupCycleDone)
            hooks.setupCycleDone();
        StartCycle();
    }
    changed();
}

void MonitorEngine::ClearSlotPanel(int n)
{
    SlotPanel &panel = m_view.at(n);
    panel.visible = false;
    panel.pvText.clear();
    panel.svText.clear();
    panel.lamps.fill(MonitorColor::Grey);
    panel.runLed = MonitorColor::Grey;
    panel.event1 = panel.event2 = false;
    panel.runCaption = QStringLiteral("Connect");
    panel.lost = false;
    panel.outQty1 = panel.outQty2 = 0;
    if (n == m_state.SelectedDevice) {
        int next = 0;
        for (int i = 1; i <= SlotCount && !next; ++i)
            if (m_state.at(i).DeviceActive)
                next = i;
        for (int i = 1; i <= SlotCount && !next; ++i)
            if (m_state.at(i).DeviceRequested)
                next = i;
        SelectSlot(next ? next : n);
    }
    changed();
}
