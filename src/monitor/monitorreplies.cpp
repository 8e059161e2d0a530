// The monitor engine's replies: what the line hands over, the checks, what a
// result means for its slot, and applying the data to the window's models.
#include "monitor/monitorengine.h"

#include "link/errortexts.h"
#include "link/replies.h"
#include "monitor/pollreplies.h"
#include "setup/registermap.h"

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
    if (m_channel.deviceLost()) {
        // Not the controllers' silence: the line itself is gone.
        lineLost();
        return;
    }
    st.RequestOutstanding = false;
    m_badReplies = 0;
    if (st.BroadcastWrite()) {
        // Nothing answers a broadcast: the silence paces the batch.
        if (st.UnlockPending) {
            st.UnlockPending = false; // the unlock went out; its write follows
        } else {
            st.WritePending = false;
            advanceWriteAll(true);
        }
    } else {
        noteExchangeEnded(LinkHealth::Outcome::TimedOut, 0);
        st.ErrorCode = TransactionResult::timedOut();
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
    {
        const int received = int(m_collector.received().size());
        using O = LinkHealth::Outcome;
        switch (reply.kind) {
        case ReplyKind::Words:
        case ReplyKind::WriteEcho:
            noteExchangeEnded(O::Reply, received);
            break;
        case ReplyKind::Failure:
            noteExchangeEnded(O::Exception, received);
            break;
        case ReplyKind::BadChecksum:
            noteExchangeEnded(O::BadChecksum, received);
            break;
        default:
            break;
        }
    }
    const bool writing = st.WritePending || st.UnlockPending;
    if (reply.kind == ReplyKind::Words || reply.kind == ReplyKind::WriteEcho || writing) {
        m_badReplies = 0;
    } else if (reply.kind != ReplyKind::NoReply && ++m_badReplies >= BadRepliesAsTimeout) {
        // A controller that keeps answering wrongly would be asked again
        // without end and starve the others: three bad replies in a row to
        // one request count as one time-out of its slot.
        m_badReplies = 0;
        st.RequestOutstanding = false;
        st.ErrorCode =
            reply.kind == ReplyKind::Failure ? reply.result : TransactionResult::mismatch();
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
        if (st.work == EngineWork::SetupReadOther) {
            applyOtherSetupReply();
        } else if (st.ProgramReadActive()) {
            if (hooks.programReply)
                hooks.programReply(st.ProgramReadStep, st.ProgramStepCounter, st.ReplyWords);
            advanceProgramRead();
        } else if (st.PollStep >= int(PollStep::FirstSetup)) {
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
        st.ErrorCode = reply.result;
        break;
    }
    st.RequestOutstanding = false;
    if (st.work == EngineWork::ProgramReadRequested) {
        st.work = EngineWork::ProgramRead;
    }
    ReportResult();
    SendNext();
}

void MonitorEngine::ReportResult()
{
    MonitorState &st = m_state;
    // The slot the request was addressed to carries the result.
    const int n = st.RequestSlot;
    SlotState &slot = st.at(n);
    SlotPanel &panel = m_view.at(n);
    const bool timeout = st.ErrorCode.kind == TransactionResult::Kind::TimedOut || m_countAsTimeout;
    m_countAsTimeout = false;
    if (!st.ErrorCode.isError()) {
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
    if (st.ErrorCode.isError()) {
        m_view.errColor = MonitorColor::Red;
        ++slot.ErrorCount;
        panel.errCount = QString::number(slot.ErrorCount);
        panel.runLed = slot.DeviceActive ? MonitorColor::Red : MonitorColor::Grey;
        // A slot that fails while its address was corrected goes on with
        // the new address: identified and its setup read again.
        if (slot.DeviceRequested && m_view.comAddr[size_t(n)] != slot.DeviceAddress)
            StartCycle();
    }
    if (st.ProgramWriteActive() && st.ErrorCode.isError() &&
        (st.WritePending || st.UnlockPending)) {
        // A program write that failed is not repeated: the next send takes
        // the next item.
        if (m_programNext > 0 && m_programNext <= m_batchItems.size())
            m_notWritten.append(m_batchItems.at(m_programNext - 1));
        dropPendingWrite();
        ++m_programDone;
        if (hooks.programWriteProgress)
            hooks.programWriteProgress(m_programDone);
    }
    if (st.ErrorCode.writeFailed() && (st.WritePending || st.UnlockPending)) {
        st.WritePending = false;
        st.UnlockPending = false;
        st.ParamsStale = true;
    }
    if (st.WriteAll() && st.ErrorCode.isError()) {
        ++st.BatchRetry;
        if (st.BatchRetry > 3) {
            // Given up after four attempts: the batch moves on as after an echo.
            st.BatchRetry = 0;
            if (st.WriteAll() && m_batchIndex >= 0 && m_batchIndex < m_batchItems.size())
                m_notWritten.append(m_batchItems.at(m_batchIndex));
            finishWriteItem();
        }
    }
    st.ErrorCode = TransactionResult::ok();
    changed();
}

void MonitorEngine::ErrClearBt1MouseDown(int n)
{
    SlotState &slot = m_state.at(n);
    slot.RequestCount = 0;
    slot.ErrorCount = 0;
    m_health[size_t(n)].clear();
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

void MonitorEngine::ApplyMonitorReply()
{
    MonitorState &st = m_state;
    const int n = st.PollDevice;
    if (n < 1 || n > SlotCount || !st.at(n).DeviceActive)
        return;
    const PollContext context {n == st.SelectedDevice, st.ParamsFromFile, linearInput()};
    const PollEffects fx =
        DecodePollReply(PollStep(st.PollStep), st.ReplyWords, context, st.at(n), m_view.at(n));
    if (fx.notAController) {
        DisconnectSlot(n);
        return;
    }
    for (const auto &[entry, value] : fx.imageEntries)
        m_image[entry] = value;
    if (fx.firmware)
        m_image.setFirmware(*fx.firmware);
    if (fx.readOutputMode)
        st.ReadOutputMode = *fx.readOutputMode;
    if (fx.paramsStale)
        st.ParamsStale = true;
    changed();
}

void MonitorEngine::ApplySetupReply()
{
    MonitorState &st = m_state;
    QList<quint16> words = st.ReplyWords;
    const int step = st.PollStep;
    const ReadBlock *block = ReadBlockForStep(step);
    SlotState &selected = st.at(st.SelectedDevice);
    // A parameter file loaded meanwhile stays as it is, in the image and
    // in the view; the read only runs to its end.
    const bool fromFile = st.ParamsFromFile;
    if (block && !fromFile) {
        if (step == 6 && words.size() > 4)
            selected.OnlineConfig = words.at(4) & 1;
        if (step == 10 && words.size() > 3 && words.at(3) > 3)
            words[3] = 0; // an unknown run/stop state counts as stopped
        if (step >= 6 && step <= 11)
            m_image.setBlock(block->start, words.mid(0, block->count));
        if (step == 7)
            m_view.at(st.SelectedDevice).runLed = MonitorColor::Yellow;
    }
    if (hooks.setupReply && !fromFile)
        hooks.setupReply(step, words);
    if (step < LastSetupStep) {
        ++st.PollStep;
    } else {
        // The view is shown after the first read since the first connection.
        if (hooks.setupCycleDone && !fromFile)
            hooks.setupCycleDone();
        st.SetupViewPending = false;
        StartCycle();
    }
    changed();
}
