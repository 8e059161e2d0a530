// The monitor engine's replies: what the line hands over, the checks, what a
// result means for its slot, and applying the data to the window's models.
#include "monitor/monitorengine.h"

#include "link/errortexts.h"
#include "link/replies.h"
#include "monitor/pollreplies.h"
#include "setup/registermap.h"

#include <algorithm>

void MonitorEngine::ApdComPort1Trigger(int msg, int triggerHandle, int data)
{
    const ReplyCollector::Event event =
        m_collector.take(quint16(msg), quint16(triggerHandle), quint16(data));
    // Whole frames outside their own exchange first: a late echo may settle
    // a write the scheduler would otherwise send again.
    for (const QByteArray &frame : m_collector.takeStrayFrames())
        takeLateEcho(frame);
    switch (event) {
    case ReplyCollector::Event::Reply:
        handleReply();
        break;
    case ReplyCollector::Event::TimedOut:
        replyWindowEnded();
        break;
    case ReplyCollector::Event::None:
        // A guard ended: what waited for it goes now.
        if (msg == Line::TimerExpired && quint16(triggerHandle) == m_guardTimer && m_guardTimer)
            SendNext();
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
    // A write whose short window (a silence that ends a frame) ended is
    // listened out for a guard more: an echo that comes then is late, but
    // still the answer to this write, which the controller took.
    const bool write = m_inFlight &&
        (m_inFlight->serves == Serves::SingleWrite || m_inFlight->serves == Serves::JobWrite);
    if (write && framing().silenceEndsFrame() && !m_guarding && m_channel.isOpen()) {
        m_guarding = true;
        m_collector.listen(m_inFlight->frame, framing(), GuardMs / 55 + 1);
        return;
    }
    m_guarding = false;
    st.RequestOutstanding = false;
    m_badReplies = 0;
    const std::optional<Exchange> x = std::exchange(m_inFlight, std::nullopt);
    if (x && x->broadcast()) {
        // Nothing answers a broadcast: the silence paces the batch.
        jobWriteDone(*x, WriteOutcome::Written);
    } else if (x) {
        noteExchangeEnded(*x, LinkHealth::Outcome::TimedOut, 0);
        if (x->slot >= 1 && x->slot <= SlotCount)
            m_guardUntil[size_t(x->slot)] = m_channel.msecs() + GuardMs;
        exchangeFailed(*x, TransactionResult::timedOut());
    }
    flightEnded();
    SendNext();
    changed();
}

void MonitorEngine::handleReply()
{
    MonitorState &st = m_state;
    m_guarding = false;
    if (!m_inFlight || m_inFlight->broadcast())
        takeLateEcho(m_collector.received()); // not the answer to what is asked
    if (!m_inFlight) {
        // Nothing is asked any more: the bytes mean nothing.
        st.RequestOutstanding = false;
        flightEnded();
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
    // A write's echo, but not this request's: another write's, late (its
    // write is settled by it), or one to another register. Not this
    // request's answer, which may still come.
    bool otherEcho = false;
    if (const UnwrappedFrame got = framing().unwrap(received); reply.kind != ReplyKind::Ignored &&
        got.checksumOk && got.function == FnWriteRegister && got.data.size() == 4 &&
        received != x.frame) {
        const UnwrappedFrame asked = framing().unwrap(x.frame);
        otherEcho = takeLateEcho(received) || asked.function != FnWriteRegister ||
            asked.data.left(2) != got.data.left(2);
    }
    // Another talker's frame (another address), or the late answer to an
    // earlier request of this controller's still in doubt, too: the reply
    // to this request may still come, in what is left of its window.
    if (reply.kind == ReplyKind::Ignored)
        takeLateEcho(received);
    const bool lateOne = reply.kind == ReplyKind::NotAsked &&
        m_late.couldAnswer(framing(), x.address, received);
    if ((reply.kind == ReplyKind::Ignored || otherEcho || lateOne) &&
        ++m_badReplies < BadRepliesAsTimeout) {
        // A text window: what is left of it, so that another talker never
        // lengthens it; a binary one: its silence after that frame.
        const qint64 left = m_requestTick + st.ReplyTicks - m_channel.tick();
        m_collector.listen(x.frame, framing(),
                           framing().silenceEndsFrame() ? st.ReplyTicks
                                                        : int(std::clamp<qint64>(left, 1, st.ReplyTicks)));
        return;
    }
    const bool writing = x.serves != Serves::Poll && x.serves != Serves::Probe &&
        x.serves != Serves::SetupBlock && x.serves != Serves::JobRead;
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
    const bool refused = writing && reply.kind == ReplyKind::Failure && !otherEcho;
    if (good || refused) {
        m_badReplies = 0;
        m_late.answered(framing(), x.address, x.frame);
        m_inFlight.reset();
        st.RequestOutstanding = false;
        const TransactionResult result = good ? TransactionResult::ok() : reply.result;
        const WriteOutcome outcome = good ? WriteOutcome::Written : WriteOutcome::Refused;
        if (good && !writing)
            st.ReplyWords = reply.words;
        // The slot's counters first: an answer makes it healthy again, so
        // that what the reply asks for next sees it so.
        ReportResult(x.slot, result, false);
        switch (x.serves) {
        case Serves::Poll:
            pollDone(x, reply.words);
            break;
        case Serves::Probe:
            probeDone(x, reply.words);
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
        flightEnded();
        SendNext();
        return;
    }

    // Not a good reply to this request: a bad checksum, a reply cut short,
    // another address, function or register count, an exception to a read.
    // Nothing is applied; the same request goes out again, and three in a
    // row count as one time-out of the slot.
    // The request is asked again by the scheduler, which finds the same work
    // in hand; a protected write goes again after its unlock, since the
    // controller may have taken the first one.
    st.RequestOutstanding = false;
    m_inFlight.reset();
    m_late.failed(x.address, x.frame, x.sentMs); // its own reply may still come
    const bool failure = reply.kind == ReplyKind::Failure && !otherEcho;
    if (failure)
        ReportResult(x.slot, reply.result, false);
    relock(x);
    if (reply.kind != ReplyKind::Ignored && !otherEcho && !lateOne &&
        ++m_badReplies < BadRepliesAsTimeout) {
        flightEnded();
        SendNext();
        return;
    }
    m_badReplies = 0;
    exchangeFailed(x, failure ? reply.result : TransactionResult::mismatch());
    flightEnded();
    SendNext();
}

bool MonitorEngine::takeLateEcho(const QByteArray &frame)
{
    // A write is echoed only once its controller has taken it: an echo that
    // comes after its window, or in another exchange's, still settles the
    // single write or batch item waiting on it. Only writes already sent
    // qualify, and never the frame on the line (its echo is its answer);
    // its unlock may be (a retry), which then answers nothing.
    const UnwrappedFrame u = framing().unwrap(frame);
    if (!u.checksumOk || u.function != FnWriteRegister || u.data.size() != 4 || u.address == 0)
        return false;
    const int reg = (quint8(u.data.at(0)) << 8) | quint8(u.data.at(1));
    const int value = (quint8(u.data.at(2)) << 8) | quint8(u.data.at(3));
    if (reg == UnlockRegister)
        return false; // an unlock settles nothing: its write goes with a new one
    if (m_inFlight && m_inFlight->frame == frame)
        return false;
    for (auto it = m_singles.begin(); it != m_singles.end(); ++it) {
        if (it->address != u.address || it->write.reg != reg || it->write.value != value ||
            !it->sent)
            continue;
        endSingle(it, WriteOutcome::Written, TransactionResult::ok(), QString());
        if (u.address == m_state.at(m_state.SelectedDevice).DeviceAddress)
            markStale();
        changed();
        return true;
    }
    for (Job &job : m_jobs) {
        if (!job.writes() || job.broadcast() || job.address != u.address || !job.started)
            continue;
        // An item that ended unanswered becomes written; the item in hand,
        // once a frame of it went out, is written and the batch goes on.
        for (int i = 0; i < job.next && i < job.outcomes.size(); ++i)
            if (job.outcomes.at(i) == WriteOutcome::NoAnswer && job.items.at(i).reg == reg &&
                job.items.at(i).value == value) {
                job.outcomes[i] = WriteOutcome::Written;
                return true;
            }
        if (job.next < job.items.size() && job.sentItem == job.next &&
            job.items.at(job.next).reg == reg && job.items.at(job.next).value == value) {
            Exchange x;
            x.serves = Serves::JobWrite;
            x.slot = job.slot;
            x.address = job.address;
            x.work = job.id;
            x.item = job.next;
            jobWriteDone(x, WriteOutcome::Written);
            changed();
            return true;
        }
        return false; // only the batch in hand has items on the line
    }
    return false;
}

void MonitorEngine::exchangeFailed(const Exchange &x, const TransactionResult &result)
{
    // The work the exchange served decides first; then the slot's counters,
    // which may disconnect it and end the rest of its work.
    relock(x);
    if (!x.broadcast())
        m_late.failed(x.address, x.frame, x.sentMs); // its reply may still come
    switch (x.serves) {
    case Serves::Poll:
        if (x.step == m_state.PollStep && x.slot == m_state.PollDevice)
            AdvanceStep(); // the failing slot is probed until it answers again
        break;
    case Serves::Probe:
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
    // Every controller that answers is asked before anything goes to one
    // that does not.
    for (int n = 1; n <= SlotCount; ++n)
        m_owed[size_t(n)] = n != x.slot && healthy(n);
}

void MonitorEngine::relock(const Exchange &x)
{
    // The unlock and its write travel together: a write that is asked again
    // is unlocked again.
    if (x.serves == Serves::SingleWrite) {
        if (SingleWrite *w = singleOf(x.work))
            w->unlocked = false;
    } else if (x.serves == Serves::JobWrite) {
        if (Job *j = jobOf(x.work); j && j->next == x.item)
            j->unlocked = false;
    }
}

void MonitorEngine::pollDone(const Exchange &x, const QList<quint16> &words)
{
    MonitorState &st = m_state;
    // A reply to a step the cycle has left (the slot was disconnected, the
    // cycle restarted) is not applied.
    if (x.step != st.PollStep || x.slot != st.PollDevice)
        return;
    st.ReplyWords = words;
    applyPoll(x.slot, x.step, words, m_inFlightSent);
    if (st.ConnectedCount() > 0)
        AdvanceStep();
}

void MonitorEngine::probeDone(const Exchange &x, const QList<quint16> &words)
{
    if (!alive(x))
        return;
    m_state.at(x.slot).DeviceActive = true;
    applyPoll(x.slot, x.step, words, m_inFlightSent);
}

void MonitorEngine::setupBlockDone(const Exchange &x, const QList<quint16> &words)
{
    MonitorState &st = m_state;
    if (x.slot != m_setupSlot || x.step != st.PollStep)
        return; // the read was left for another controller's
    st.ReplyWords = words;
    ApplySetupReply();
}

void MonitorEngine::setupBlockFailed(const Exchange &x)
{
    if (x.slot != m_setupSlot || x.slot != m_state.SelectedDevice)
        return;
    // The block is read again, never skipped; what waits for the image is
    // refused after its fourth failure, naming it.
    if (m_record.failed(x.step) % 4 != 0)
        return;
    const QString why = QStringLiteral("%1 gave no good reply to the read of %2")
                            .arg(slotName(x.slot), blockText(x.step));
    m_view.errText = QStringLiteral("Setup read stopped: ") + why;
    refuseImageWaits(why);
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
        if (timeout && slot.DeviceRequested) {
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
    applyPoll(m_state.PollDevice, m_state.PollStep, m_state.ReplyWords, m_inFlightSent);
}

void MonitorEngine::applyPoll(int n, int step, const QList<quint16> &words, quint64 sent)
{
    MonitorState &st = m_state;
    if (n < 1 || n > SlotCount || !st.at(n).DeviceRequested)
        return;
    const bool selected = n == st.SelectedDevice;
    const PollContext context {selected, st.ParamsFromFile, linearInput()};
    const PollEffects fx = DecodePollReply(PollStep(step), words, context, st.at(n), m_view.at(n));
    if (fx.notAController) {
        DisconnectSlot(n);
        return;
    }
    if (step == int(PollStep::Identification)) {
        st.at(n).identified = true;
        if (selected)
            copyIdentification();
    }
    for (const auto &[entry, value] : fx.imageEntries)
        m_image[entry] = value;
    if (fx.firmware)
        m_image.setFirmware(*fx.firmware);
    if (fx.readOutputMode)
        st.ReadOutputMode = *fx.readOutputMode;
    if (fx.paramsStale && selected)
        markStale();
    if (selected && !st.ParamsFromFile) {
        m_record.read(step, sent);
        serveImageWaits();
    }
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
        m_record.read(step, m_inFlightSent);
    }
    if (hooks.setupReply && shown)
        hooks.setupReply(step, words);
    // The read goes on where the image lacks blocks; it ends when none is
    // left (or it was left for a file or another controller).
    const std::optional<int> next = shown ? m_record.nextSetupStep() : std::nullopt;
    if (next) {
        st.PollStep = *next;
    } else {
        // The view is shown after the first read since the first connection.
        if (hooks.setupCycleDone && shown)
            hooks.setupCycleDone();
        st.SetupViewPending = false;
        st.ParamsStale = !shown;
        if (shown && selected.identified)
            copyIdentification();
        StartCycle();
        serveImageWaits();
    }
    changed();
}
