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
        handleReply();
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
    const std::optional<Exchange> x = std::exchange(m_inFlight, std::nullopt);
    if (x && x->broadcast()) {
        // Nothing answers a broadcast: the silence paces the batch.
        jobWriteDone(*x, WriteOutcome::Written);
    } else if (x) {
        noteExchangeEnded(*x, LinkHealth::Outcome::TimedOut, 0);
        exchangeFailed(*x, TransactionResult::timedOut());
    }
    SendNext();
    changed();
}

void MonitorEngine::handleReply()
{
    MonitorState &st = m_state;
    if (!m_inFlight || st.ConnectedCount() == 0) {
        // Nothing is asked any more: the bytes mean nothing.
        st.RequestOutstanding = false;
        m_inFlight.reset();
        SendNext();
        return;
    }
    const Exchange x = *m_inFlight;
    if (x.broadcast()) {
        // Whatever talks after a broadcast, it paces the batch as silence would.
        replyWindowEnded();
        return;
    }
    const QByteArray &received = m_collector.received();
    const Reply reply = DecodeReply(framing(), received, x.frame, x.address);
    if (reply.kind == ReplyKind::NoReply) {
        replyWindowEnded();
        return;
    }
    const bool writing =
        x.serves != Serves::Poll && x.serves != Serves::SetupBlock && x.serves != Serves::JobRead;
    using O = LinkHealth::Outcome;
    const int characters = int(received.size());
    switch (reply.kind) {
    case ReplyKind::Words:
    case ReplyKind::WriteEcho:
        noteExchangeEnded(x, O::Reply, characters);
        break;
    case ReplyKind::Failure:
        noteExchangeEnded(x, O::Exception, characters);
        break;
    case ReplyKind::BadChecksum:
    case ReplyKind::NotAsked:
        noteExchangeEnded(x, O::BadChecksum, characters);
        break;
    default:
        break;
    }

    const bool good = (reply.kind == ReplyKind::Words && !writing) ||
        (reply.kind == ReplyKind::WriteEcho && writing);
    const bool refused = writing && reply.kind == ReplyKind::Failure;
    if (good || refused) {
        m_badReplies = 0;
        m_inFlight.reset();
        st.RequestOutstanding = false;
        const TransactionResult result = good ? TransactionResult::ok() : reply.result;
        const WriteOutcome outcome = good ? WriteOutcome::Written : WriteOutcome::Refused;
        if (good && !writing)
            st.ReplyWords = reply.words;
        switch (x.serves) {
        case Serves::Poll:
            pollDone(x, reply.words);
            break;
        case Serves::SetupBlock:
            setupBlockDone(x, reply.words);
            break;
        case Serves::JobRead:
            jobReadDone(x, reply.words);
            break;
        case Serves::SingleUnlock:
        case Serves::SingleWrite:
            singleDone(x, outcome, result);
            break;
        case Serves::JobUnlock:
        case Serves::JobWrite:
            jobWriteDone(x, outcome);
            break;
        }
        ReportResult(x.slot, result, false);
        SendNext();
        return;
    }

    // Not a good reply to this request: a bad checksum, a reply cut short,
    // another address, function or register count, an exception to a read.
    // Nothing is applied; the same request goes out again, and three in a
    // row count as one time-out of the slot.
    st.RequestOutstanding = false;
    m_inFlight.reset();
    if (reply.kind == ReplyKind::Failure)
        ReportResult(x.slot, reply.result, false);
    if (++m_badReplies < BadRepliesAsTimeout) {
        if (reply.kind == ReplyKind::Ignored) {
            // Another talker's frame: the request goes out again with
            // Timer1's next tick.
            m_retry = x;
        } else if (alive(x)) {
            transmit(x);
        } else {
            SendNext();
        }
        return;
    }
    m_badReplies = 0;
    exchangeFailed(x,
                   reply.kind == ReplyKind::Failure ? reply.result : TransactionResult::mismatch());
    SendNext();
}

void MonitorEngine::exchangeFailed(const Exchange &x, const TransactionResult &result)
{
    // The work the exchange served decides first; then the slot's counters,
    // which may disconnect it and end the rest of its work.
    m_yieldToPoll = true;
    switch (x.serves) {
    case Serves::Poll:
        if (x.step == m_state.PollStep && x.slot == m_state.PollDevice)
            AdvanceStep(); // the failing slot is asked again at its next turn
        break;
    case Serves::SetupBlock:
        setupBlockFailed(x);
        break;
    case Serves::SingleUnlock:
    case Serves::SingleWrite:
        singleDone(x, WriteOutcome::NoAnswer, result);
        break;
    case Serves::JobUnlock:
    case Serves::JobWrite:
        jobWriteDone(x, WriteOutcome::NoAnswer);
        break;
    case Serves::JobRead:
        jobReadFailed(x);
        break;
    }
    ReportResult(x.slot, result, true);
}

void MonitorEngine::pollDone(const Exchange &x, const QList<quint16> &words)
{
    MonitorState &st = m_state;
    // A reply to a step the cycle has left (the slot was disconnected, the
    // cycle restarted) is not applied.
    if (x.step != st.PollStep || x.slot != st.PollDevice)
        return;
    st.ReplyWords = words;
    ApplyMonitorReply();
    if (st.ConnectedCount() > 0)
        AdvanceStep();
}

void MonitorEngine::setupBlockDone(const Exchange &x, const QList<quint16> &words)
{
    MonitorState &st = m_state;
    if (x.slot != m_setupSlot || x.step != st.PollStep)
        return; // the read was left for another controller's
    m_setupFailures = 0;
    st.ReplyWords = words;
    ApplySetupReply();
}

void MonitorEngine::setupBlockFailed(const Exchange &x)
{
    MonitorState &st = m_state;
    if (x.slot != m_setupSlot || x.step != st.PollStep)
        return;
    // The polling goes on; the read continues at this block in a later
    // cycle, and is given up after its fourth failure.
    m_setupNext = x.step;
    if (++m_setupFailures < 4) {
        st.ParamsStale = true;
    } else {
        const ReadBlock *b = ReadBlockForStep(x.step);
        const QString why = QStringLiteral("%1 gave no good reply to the read of %2 (%3 registers)")
                                .arg(slotName(x.slot))
                                .arg(b->start, 4, 16, QLatin1Char('0'))
                                .arg(b->count)
                                .toUpper();
        m_view.errText = QStringLiteral("Setup read stopped: ") + why;
        m_setupNext = FirstSetupStep;
        m_setupFailures = 0;
        refuseImageWaits(why);
    }
    StartCycle();
}

void MonitorEngine::ReportResult(int n, const TransactionResult &result, bool countsAsTimeout)
{
    MonitorState &st = m_state;
    if (n < 1 || n > SlotCount)
        return; // a broadcast: nobody answers it
    SlotState &slot = st.at(n);
    SlotPanel &panel = m_view.at(n);
    const bool timeout = result.kind == TransactionResult::Kind::TimedOut || countsAsTimeout;
    if (!result.isError()) {
        slot.TimeoutRun = 0;
    } else {
        m_view.errText = MonitorErrorText(result);
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
    if (result.isError()) {
        m_view.errColor = MonitorColor::Red;
        ++slot.ErrorCount;
        panel.errCount = QString::number(slot.ErrorCount);
        panel.runLed = slot.DeviceActive ? MonitorColor::Red : MonitorColor::Grey;
        // A slot that fails while its address was corrected goes on with
        // the new address: identified and its setup read again.
        if (slot.DeviceRequested && m_view.comAddr[size_t(n)] != slot.DeviceAddress)
            StartCycle();
    }
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
    if (st.PollStep == int(PollStep::Identification)) {
        st.at(n).identified = true;
        if (n == st.SelectedDevice)
            copyIdentification();
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
    const bool shown = !st.ParamsFromFile && m_setupSlot == st.SelectedDevice;
    if (block && shown) {
        if (step == 6 && words.size() > 4)
            selected.OnlineConfig = words.at(4) & 1;
        if (step == 10 && words.size() > 3 && words.at(3) > 3)
            words[3] = 0; // an unknown run/stop state counts as stopped
        if (step >= 6 && step <= 11)
            m_image.setBlock(block->start, words.mid(0, block->count));
        if (step == 7)
            m_view.at(st.SelectedDevice).runLed = MonitorColor::Yellow;
    }
    if (hooks.setupReply && shown)
        hooks.setupReply(step, words);
    if (step < LastSetupStep) {
        ++st.PollStep;
    } else {
        // The view is shown after the first read since the first connection.
        if (hooks.setupCycleDone && shown)
            hooks.setupCycleDone();
        st.SetupViewPending = false;
        m_setupNext = FirstSetupStep;
        m_setupFailures = 0;
        if (shown && m_setupClean && selected.identified) {
            copyIdentification();
            m_imageWhole = true;
        }
        m_setupClean = false;
        StartCycle();
        serveImageWaits();
    }
    changed();
}
