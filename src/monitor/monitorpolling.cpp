// The monitor engine's polling: the cycle of steps over the active slots,
// the setup read of the selected one, and sending the next request.
#include "monitor/monitorengine.h"

#include "setup/registermap.h"

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
            // The work asked of the controller the slot polled ends: it is
            // not sent to the one the slot polls now.
            const int was = s.DeviceAddress;
            s.DeviceAddress = m_view.comAddr[size_t(n)];
            if (s.DeviceRequested)
                endWorkOf(n,
                          QStringLiteral("controller %1 now polls address %2 instead of %3")
                              .arg(n)
                              .arg(s.DeviceAddress)
                              .arg(was));
            s.identified = false;
            s.historyCount = 0;
            if (hooks.clearHistory)
                hooks.clearHistory(n);
            addressChanged = true;
        }
    }
    // A controller that has not answered its identification is asked again
    // before anything else of it.
    bool unidentified = false;
    for (int n = 1; n <= SlotCount; ++n)
        unidentified = unidentified || (m_state.at(n).DeviceActive && !m_state.at(n).identified);
    if (addressChanged) {
        if (hooks.hideFactory)
            hooks.hideFactory();
        markStale();
    }
    if (addressChanged || unidentified) {
        // Identification of every active slot, from the lowest one.
        m_state.PollDevice = lowest ? lowest : 1;
        m_state.PollStep = int(PollStep::Identification);
    } else {
        m_state.PollStep = int(PollStep::Status);
    }
}

void MonitorEngine::AdvanceStep()
{
    MonitorState &st = m_state;
    ++st.PollDevice;
    // Step-major: each step for every active slot before the next step. A
    // slot whose identification is not in yet takes part only in it. A cycle
    // in which no slot is active (slots requested but not yet active)
    // completes, so that they join.
    while (st.ConnectedCount() > 0) {
        if (st.PollDevice <= SlotCount) {
            const SlotState &s = st.at(st.PollDevice);
            const bool takesPart = st.PollStep == int(PollStep::Identification) || s.identified;
            if (s.DeviceActive && takesPart &&
                (st.PollStep != int(PollStep::ProgramDisplay) || s.ProgramDisplay))
                break;
            ++st.PollDevice;
            continue;
        }
        ++st.PollStep;
        st.PollDevice = 1;
        if (st.PollStep == int(PollStep::Outputs) && !st.ReadOutputMode)
            st.PollStep = int(PollStep::ProgramDisplay);
        if (st.PollStep > int(PollStep::ProcessValues))
            break;
    }
    if (st.PollStep <= int(PollStep::ProcessValues))
        return;

    if (st.ApplyPending) {
        for (int n = 1; n <= SlotCount; ++n)
            st.at(n).DeviceActive = st.at(n).DeviceRequested;
        StartCycle();
        st.PollStep = int(PollStep::Identification);
        st.ApplyPending = false;
    } else if (st.ParamsStale && !st.ParamsFromFile && st.at(st.SelectedDevice).DeviceActive &&
               st.at(st.SelectedDevice).identified) {
        st.ParamsStale = false;
        m_setupSlot = st.SelectedDevice;
        if (m_setupNext == FirstSetupStep)
            m_setupClean = true;
        st.PollStep = m_setupNext;
    } else {
        StartCycle();
    }
}

void MonitorEngine::SendNext()
{
    if (m_paused || m_state.RequestOutstanding)
        return; // the save runs, or an exchange is on the line
    if (m_state.ConnectedCount() == 0 || !m_channel.isOpen())
        return; // nothing to poll, or the window closed
    if (const std::optional<Exchange> retry = std::exchange(m_retry, std::nullopt)) {
        // The request whose reply came from another talker, unless its
        // work ended meanwhile.
        if (alive(*retry)) {
            transmit(*retry);
            return;
        }
    }
    sendWork();
}

bool MonitorEngine::alive(const Exchange &x)
{
    const bool polled = x.slot >= 1 && x.slot <= SlotCount && m_state.at(x.slot).DeviceRequested &&
        m_state.at(x.slot).DeviceAddress == x.address;
    return polled && (x.work == 0 || singleOf(x.work) || jobOf(x.work));
}

bool MonitorEngine::sendWork()
{
    // The other half of an unlock pair goes before anything else.
    if (!m_singles.empty() && m_singles.front().unlocked)
        return sendSingle();
    if (!m_jobs.empty() && m_jobs.front().unlocked)
        return sendJob();
    // After a failed exchange the polling takes a turn, so that one
    // controller that does not answer holds nobody else up.
    if (m_yieldToPoll) {
        m_yieldToPoll = false;
        if (sendPoll())
            return true;
    }
    if (sendSingle())
        return true;
    if (sendJob())
        return true;
    return sendPoll();
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
    send(x, ReadRequest(x.address, block->start, block->count), ReadWindowTicks);
    return true;
}

void MonitorEngine::send(Exchange exchange, const ModbusRequest &request, int textWindowTicks)
{
    MonitorState &st = m_state;
    const Framing &f = framing();
    exchange.frame = f.wrap(request);
    st.ReplyTicks = quint16(f.replyTicks(textWindowTicks, m_settings().baud));
    transmit(exchange);
}

void MonitorEngine::transmit(const Exchange &exchange)
{
    MonitorState &st = m_state;
    discardWaitingInput();
    st.LastRequest = exchange.frame;
    st.SlaveAddress = exchange.address;
    st.RequestOutstanding = true;
    m_requestTick = m_channel.tick();
    const int n = exchange.slot;
    if (n >= 1 && n <= SlotCount) {
        ++st.at(n).RequestCount;
        m_health[size_t(n)].sent(m_channel.msecs(), int(exchange.frame.size()));
    }
    m_inFlight = exchange;
    m_collector.send(st.LastRequest, framing(), st.ReplyTicks);
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
