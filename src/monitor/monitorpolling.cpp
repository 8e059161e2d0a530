// The monitor engine's polling: the cycle of steps over the active slots,
// the setup read of the selected one, and sending the next request.
#include "monitor/monitorengine.h"

#include "link/channelerror.h"
#include "setup/registermap.h"

#include <algorithm>

namespace {

constexpr qint64 TickMs = 55;

} // namespace

void MonitorEngine::StartCycle()
{
    // The cycle runs over the slots connected now, from the lowest; a slot
    // that is not identified, or fails, is probed between cycles.
    int lowest = 0;
    for (int n = SlotCount; n >= 1; --n) {
        SlotState &s = m_state.at(n);
        s.DeviceActive = s.DeviceRequested;
        if (s.DeviceActive)
            lowest = n;
    }
    m_state.ApplyPending = false;
    m_state.PollDevice = lowest ? lowest : 1;
    m_state.PollStep = int(PollStep::Status);
    m_probeDue = true;
}

void MonitorEngine::applyAddressChanges()
{
    for (int n = 1; n <= SlotCount; ++n) {
        SlotState &s = m_state.at(n);
        if (m_view.comAddr[size_t(n)] == s.DeviceAddress)
            continue;
        // The work asked of the controller the slot polled ends: it is not
        // sent to the one the slot polls now.
        const int was = s.DeviceAddress;
        s.DeviceAddress = m_view.comAddr[size_t(n)];
        s.identified = false;
        s.TimeoutRun = 0;
        s.historyCount = 0;
        m_guardUntil[size_t(n)] = 0;
        if (hooks.clearHistory)
            hooks.clearHistory(n);
        if (s.DeviceRequested)
            endWorkOf(n,
                      QStringLiteral("controller %1 now polls address %2 instead of %3")
                          .arg(n)
                          .arg(s.DeviceAddress)
                          .arg(was));
        if (n == m_state.SelectedDevice) {
            if (hooks.hideFactory)
                hooks.hideFactory();
            markStale();
        }
    }
}

bool MonitorEngine::healthy(int n) const
{
    const SlotState &s = m_state.at(n);
    return s.DeviceRequested && s.identified && s.TimeoutRun == 0;
}

void MonitorEngine::AdvanceStep()
{
    MonitorState &st = m_state;
    ++st.PollDevice;
    // Step-major: each step for every healthy slot before the next step.
    while (st.PollStep <= int(PollStep::ProcessValues)) {
        if (st.PollDevice <= SlotCount) {
            const SlotState &s = st.at(st.PollDevice);
            if (s.DeviceActive && healthy(st.PollDevice) &&
                (st.PollStep != int(PollStep::ProgramDisplay) || s.ProgramDisplay))
                return;
            ++st.PollDevice;
            continue;
        }
        ++st.PollStep;
        st.PollDevice = 1;
        if (st.PollStep == int(PollStep::Outputs) && !st.ReadOutputMode)
            st.PollStep = int(PollStep::ProgramDisplay);
    }
    // The cycle is complete: the selected controller's setup is read where
    // its image lacks blocks, else the next cycle begins.
    const int sel = st.SelectedDevice;
    const std::optional<int> setup = m_record.nextSetupStep();
    if (setup && !st.ParamsFromFile && !st.ApplyPending && healthy(sel)) {
        m_setupSlot = sel;
        st.PollStep = *setup;
        m_probeDue = true;
    } else {
        StartCycle();
    }
}

bool MonitorEngine::settleCursor()
{
    MonitorState &st = m_state;
    // At most a pass over the cycle and the start of the next one.
    for (int turn = 0; turn < 3; ++turn) {
        const bool setup = st.PollStep >= FirstSetupStep && st.PollStep <= LastSetupStep;
        if (setup) {
            if (m_setupSlot == st.SelectedDevice && healthy(m_setupSlot) && !st.ParamsFromFile &&
                !m_record.fresh(st.PollStep))
                return true;
            // The read was left (another controller selected, a file loaded,
            // its controller failing) or the block is in: it goes on where
            // the image lacks blocks, at the end of a cycle.
            if (const std::optional<int> next = m_record.nextSetupStep(); next &&
                m_setupSlot == st.SelectedDevice && healthy(m_setupSlot) && !st.ParamsFromFile) {
                st.PollStep = *next;
                return true;
            }
            StartCycle();
            continue;
        }
        const int n = st.PollDevice;
        if (st.PollStep >= int(PollStep::Status) && st.PollStep <= int(PollStep::ProcessValues) &&
            n >= 1 && n <= SlotCount && st.at(n).DeviceActive && healthy(n) &&
            (st.PollStep != int(PollStep::ProgramDisplay) || st.at(n).ProgramDisplay))
            return true;
        if (st.PollStep < int(PollStep::Status) || st.PollStep > int(PollStep::ProcessValues))
            StartCycle();
        else
            AdvanceStep();
    }
    return false;
}

Scheduler::Records MonitorEngine::records() const
{
    Scheduler::Records r;
    const qint64 now = m_channel.msecs();
    const bool setup = m_state.PollStep >= FirstSetupStep;
    const int cycleSlot = setup ? m_setupSlot : m_state.PollDevice;
    for (int n = 1; n <= SlotCount; ++n) {
        Scheduler::SlotRecord &s = r.slot[size_t(n)];
        s.polled = m_state.at(n).DeviceRequested;
        // Two slots polling one address ask one controller: one that fails
        // through either slot fails for both. One whose replies may still
        // come late may fail too: the others are asked first.
        const int address = m_state.at(n).DeviceAddress;
        bool sharedFails = false;
        for (int m = 1; m <= SlotCount; ++m)
            sharedFails = sharedFails ||
                (m != n && m_state.at(m).DeviceRequested && m_state.at(m).TimeoutRun > 0 &&
                 m_state.at(m).DeviceAddress == address);
        s.healthy = healthy(n) && !sharedFails;
        s.inDoubt = m_late.any(address);
        s.otherShapeFirst = m_otherShapeDue[size_t(n)];
        // Owed its turn since a failure, or not asked lately: either way it
        // is asked before anything that may fail. While the cycle reads a
        // controller's setup, one not asked lately is owed a turn between
        // its blocks, not every turn: were the others slow to answer, their
        // turns alone would fill the line and that controller never be asked.
        const bool turnTaken = setup && cycleSlot >= 1 && cycleSlot <= SlotCount &&
            n != cycleSlot && m_lastAsked[size_t(n)] > m_lastAsked[size_t(cycleSlot)];
        const bool stale = now - m_lastAsked[size_t(n)] > FreshMs && !turnTaken;
        s.owed = s.healthy && (m_owed[size_t(n)] || stale);
        s.overdue = s.healthy && (m_owed[size_t(n)] || now - m_lastAsked[size_t(n)] > OverdueMs);
        s.askedAt = m_lastAsked[size_t(n)];
        s.guarded = m_guardUntil[size_t(n)] > now;
    }
    for (size_t i = 0; i < m_singles.size() && !r.pairSlot; ++i)
        if (m_singles.at(i).unlocked) {
            r.pairSlot = m_singles.at(i).slot;
            r.pairIndex = int(i);
        }
    if (!r.pairSlot && !m_jobs.empty() && m_jobs.front().unlocked) {
        r.pairSlot = m_jobs.front().broadcast() ? 0 : m_jobs.front().slot;
        r.pairIsJob = true;
    }
    // A write waits for an earlier one to the same address: each controller
    // takes its changes in the order they were made.
    QList<int> addresses;
    for (const SingleWrite &w : m_singles) {
        r.singleSlots << (addresses.contains(w.address) ? -1 : w.slot);
        addresses << w.address;
    }
    if (!m_jobs.empty())
        r.jobSlot = m_jobs.front().broadcast() ? 0 : m_jobs.front().slot;
    r.probeDue = m_probeDue;
    r.lastProbe = m_lastProbe;
    r.cycleSlot = cycleSlot;
    r.cycleReadsSetup = setup;
    return r;
}

void MonitorEngine::SendNext()
{
    if (m_deciding) {
        m_askAgain = true; // asked from inside a decision: decided again there
        return;
    }
    if (m_paused || m_closing || m_state.RequestOutstanding)
        return; // the save runs, the window closes, or an exchange is on the line
    if (m_state.ConnectedCount() == 0 || !m_channel.isOpen() || m_lineLost)
        return; // nothing to poll, or the window closed
    m_deciding = true;
    // Changes that waited for the line to be free take effect first; they
    // may end work, whose reports may ask for more.
    for (int turn = 0; turn < 8 && !m_state.RequestOutstanding; ++turn) {
        m_askAgain = false;
        applyAddressChanges();
        if (m_state.ConnectedCount() == 0 || m_paused)
            break;
        const bool cycle = settleCursor();
        m_late.age(m_channel.msecs(), lateHorizonMs());
        Scheduler::Records r = records();
        if (!cycle)
            r.cycleSlot = 0;
        const Scheduler::Decision d = Scheduler::decide(r);
        if (d.next == Scheduler::Next::Nothing) {
            // A guard holds the only slots with work: wake when it ends.
            qint64 wake = 0;
            for (int n = 1; n <= SlotCount; ++n)
                if (m_state.at(n).DeviceRequested && m_guardUntil[size_t(n)] > m_channel.msecs())
                    wake = wake ? std::min(wake, m_guardUntil[size_t(n)]) : m_guardUntil[size_t(n)];
            if (wake && m_guardTimer)
                m_channel.ArmTimer(m_guardTimer, quint32((wake - m_channel.msecs()) / TickMs + 1),
                                   true);
            if (!m_askAgain)
                break;
            continue;
        }
        if (carryOut(d) || !m_askAgain)
            break;
    }
    m_deciding = false;
}

bool MonitorEngine::carryOut(const Scheduler::Decision &d)
{
    using Scheduler::Next;
    switch (d.next) {
    case Next::Pair:
    case Next::Single:
        return sendSingle(d.index);
    case Next::Job:
        return sendJob();
    case Next::Probe:
        m_probeDue = false;
        m_lastProbe = d.slot;
        return sendProbe(d.slot, int(PollStep::Identification));
    case Next::Owed:
        return sendProbe(d.slot, int(PollStep::ProcessValues));
    case Next::OtherShape:
        return sendOtherShape(d.slot);
    case Next::Cycle:
        return sendPoll();
    case Next::Nothing:
        break;
    }
    return false;
}

bool MonitorEngine::alive(const Exchange &x)
{
    const bool polled = x.slot >= 1 && x.slot <= SlotCount && m_state.at(x.slot).DeviceRequested &&
        m_state.at(x.slot).DeviceAddress == x.address;
    return polled && (x.work == 0 || singleOf(x.work) || jobOf(x.work));
}

bool MonitorEngine::sendPoll()
{
    MonitorState &st = m_state;
    const bool setup = st.PollStep >= FirstSetupStep && st.PollStep <= LastSetupStep;
    const int slot = setup ? m_setupSlot : st.PollDevice;
    const ReadBlock *block = ReadBlockForStep(st.PollStep);
    if (!block || slot < 1 || slot > SlotCount)
        return false;
    Exchange x;
    x.serves = setup ? Serves::SetupBlock : Serves::Poll;
    x.slot = slot;
    x.address = st.at(slot).DeviceAddress;
    x.step = st.PollStep;
    return send(x, ReadRequest(x.address, block->start, block->count), ReadWindowTicks);
}

bool MonitorEngine::sendProbe(int n, int step)
{
    const ReadBlock *block = ReadBlockForStep(step);
    Exchange x;
    x.serves = Serves::Probe;
    x.slot = n;
    x.address = m_state.at(n).DeviceAddress;
    x.step = step;
    return send(x, ReadRequest(x.address, block->start, block->count), ReadWindowTicks);
}

bool MonitorEngine::send(Exchange exchange, const ModbusRequest &request, int textWindowTicks)
{
    MonitorState &st = m_state;
    const Framing &f = framing();
    exchange.frame = f.wrap(request);
    m_late.expire(exchange.address, m_channel.msecs());
    if (mustWaitForOtherShape(exchange)) {
        // Not now: the scheduler sends a read of another shape first.
        m_otherShapeDue[size_t(exchange.slot)] = true;
        m_askAgain = true;
        return false;
    }
    st.ReplyTicks = quint16(f.replyTicks(textWindowTicks, m_settings().baud));
    return transmit(exchange);
}

qint64 MonitorEngine::lateHorizonMs() const
{
    // A text read's whole window and the guard after it, in either
    // framing: a binary window is a silence, not a bound on lateness.
    return qint64(ReadWindowTicks + 1) * TickMs + GuardMs;
}

bool MonitorEngine::mustWaitForOtherShape(const Exchange &x)
{
    // Where a late reply could be taken for this exchange's answer, a read
    // of another shape goes first: its answer shows that nothing late is
    // left before it.
    if (x.slot < 1 || x.slot > SlotCount)
        return false;
    // The unlock and its write travel together: nothing goes between them,
    // so an unlock goes only where no write's reply is in doubt.
    const bool unlock = x.serves == Serves::SingleUnlock || x.serves == Serves::JobUnlock;
    const bool pair = (x.serves == Serves::SingleWrite && singleOf(x.work) &&
                       singleOf(x.work)->unlocked) ||
        (x.serves == Serves::JobWrite && jobOf(x.work) && jobOf(x.work)->unlocked);
    if (pair)
        return false;
    return unlock ? m_late.inDoubt(framing(), x.address, x.frame)
                  : m_late.confusable(framing(), x.address, x.frame);
}

bool MonitorEngine::sendOtherShape(int n)
{
    m_otherShapeDue[size_t(n)] = false;
    // The events (one word), the status (seven) or the identification
    // (four), whichever is not in doubt itself.
    const int address = m_state.at(n).DeviceAddress;
    for (const PollStep step : {PollStep::Events, PollStep::Status, PollStep::Identification}) {
        const ReadBlock *block = ReadBlockForStep(int(step));
        if (!m_late.inDoubt(framing(), address,
                            framing().wrap(ReadRequest(address, block->start, block->count))))
            return sendProbe(n, int(step));
    }
    // Every shape is in doubt there: the controller is left alone for as
    // long as a late reply may take, what is on its way comes meanwhile,
    // and then nothing is in doubt any more.
    const qint64 until = m_channel.msecs() + lateHorizonMs();
    m_late.hush(address, until);
    m_guardUntil[size_t(n)] = until;
    m_askAgain = true;
    return false;
}

bool MonitorEngine::transmit(const Exchange &exchange)
{
    MonitorState &st = m_state;
    discardWaitingInput();
    st.LastRequest = exchange.frame;
    st.SlaveAddress = exchange.address;
    m_requestTick = m_channel.tick();
    const int n = exchange.slot;
    if (n >= 1 && n <= SlotCount) {
        ++st.at(n).RequestCount;
        m_health[size_t(n)].sent(m_channel.msecs(), int(exchange.frame.size()));
        m_owed[size_t(n)] = false;
        m_lastAsked[size_t(n)] = m_channel.msecs();
    }
    // Bad replies are counted per request, an unlock pair as one: another
    // request starts afresh.
    const QByteArray asked = exchange.work ? QByteArray::number(exchange.item) : exchange.frame;
    if (asked != m_badFrame || exchange.work != m_badWork) {
        m_badReplies = 0;
        m_badFrame = asked;
        m_badWork = exchange.work;
    }
    try {
        m_collector.send(st.LastRequest, framing(), st.ReplyTicks);
    } catch (const ChannelError &e) {
        // The line refused the request: a failed exchange. The chain goes
        // on with Timer1's next tick, not at once against the same refusal.
        if (n >= 1 && n <= SlotCount)
            noteExchangeEnded(exchange, LinkHealth::Outcome::TimedOut, 0);
        exchangeFailed(exchange, TransactionResult::timedOut());
        m_view.errText = e.text();
        changed();
        return true;
    }
    m_inFlightSent = ++m_sendCount;
    st.RequestOutstanding = true;
    m_inFlight = exchange;
    m_inFlight->sentMs = m_channel.msecs();
    changed();
    return true;
}

void MonitorEngine::discardWaitingInput()
{
    // Bytes of an earlier exchange that are still waiting would be taken for
    // the start of the next reply. Inside a data event the channel hands out
    // only the bytes it announced, which the handler has read already.
    if (m_channel.isOpen())
        m_channel.discardInput();
}

void MonitorEngine::noteExchangeEnded(const Exchange &x, LinkHealth::Outcome outcome,
                                      int characters)
{
    const int n = x.slot;
    if (n >= 1 && n <= SlotCount)
        m_health[size_t(n)].ended(m_channel.msecs(), outcome, characters);
}

LinkHealth::Figures MonitorEngine::health(int n) const
{
    LinkHealth::Figures f =
        m_health[size_t(n)].figures(m_channel.msecs(), CharacterMs(m_settings()));
    f.echoes = m_channel.echoHeard();
    return f;
}

void MonitorEngine::showHealth()
{
    for (int n = 1; n <= SlotCount; ++n) {
        const bool shown = m_state.at(n).DeviceRequested;
        m_view.at(n).health = shown ? LinkHealth::Text(health(n)) : QString();
    }
    changed();
}

void MonitorEngine::Timer1Timer()
{
    if (m_state.ConnectedCount() == 0)
        return;
    if (m_lineLost || m_channel.deviceLost()) {
        // Polling resumes once the device is back under its name.
        lineLost();
        if (!reopenLine())
            return;
    }
    showHealth();
    if (!m_state.RequestOutstanding)
        SendNext();
    else if (hooks.trendSample)
        hooks.trendSample();
}
