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
            s.DeviceAddress = m_view.comAddr[size_t(n)];
            s.historyCount = 0;
            if (hooks.clearHistory)
                hooks.clearHistory(n);
            addressChanged = true;
        }
    }
    if (addressChanged) {
        if (hooks.hideFactory)
            hooks.hideFactory();
        m_state.ParamsStale = true;
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
    // cycle in which no slot is active (slots requested but not yet active)
    // completes, so that they join.
    while (st.ConnectedCount() > 0) {
        if (st.PollDevice <= SlotCount) {
            const SlotState &s = st.at(st.PollDevice);
            if (s.DeviceActive &&
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
    } else if (st.ParamsStale && !st.ParamsFromFile) {
        st.ParamsStale = false;
        st.PollStep = FirstSetupStep;
    } else {
        StartCycle();
    }
}

void MonitorEngine::SendNext()
{
    MonitorState &st = m_state;
    if (m_paused)
        return; // the save runs; it sends again when it ends
    // The save comes first, but not in the middle of a setup read: the file
    // would mix two reads. It runs out of this event, since it opens dialogs.
    const bool setupRead = st.work == EngineWork::Polling && st.PollStep >= FirstSetupStep &&
        st.PollStep <= LastSetupStep;
    if (st.SaveToFilePending && !setupRead) {
        st.SaveToFilePending = false;
        m_paused = true;
        QTimer::singleShot(0, this, [this] { runSave(); });
        return;
    }
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
            // A batch whose controller is gone ends, unfinished.
            if (st.WriteAll() && !st.BroadcastWrite())
                endWriteAllBatch(false, false);
            if (st.work == EngineWork::ProgramWrite) {
                --m_programNext; // prepared, never sent
                endProgramWrite(false);
            }
        } else {
            st.RequestSlot = target;
            ++st.at(target).RequestCount;
            sendWrite();
            return;
        }
    }

    if (st.work == EngineWork::SetupReadOtherRequested)
        st.work = EngineWork::SetupReadOther;
    const bool selected = st.PollStep >= int(PollStep::FirstSetup) || st.ProgramReadActive();
    int slot = selected ? st.SelectedDevice : st.PollDevice;
    const ReadBlock *block = nullptr;
    ReadBlock programBlock;
    if (st.work == EngineWork::SetupReadOther) {
        slot = m_otherSlot;
        block = ReadBlockForStep(m_otherStep);
    } else if (st.ProgramReadActive()) {
        slot = m_programSlot;
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

void MonitorEngine::sendRead(int address, int reg, int count)
{
    send(ReadRequest(address, reg, count), ReadWindowTicks);
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
    if (!st.BroadcastWrite() && st.RequestSlot >= 1 && st.RequestSlot <= SlotCount)
        m_health[size_t(st.RequestSlot)].sent(m_channel.msecs(), int(st.LastRequest.size()));
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

void MonitorEngine::noteExchangeEnded(LinkHealth::Outcome outcome, int characters)
{
    const int n = m_state.RequestSlot;
    if (!m_state.BroadcastWrite() && n >= 1 && n <= SlotCount)
        m_health[size_t(n)].ended(m_channel.msecs(), outcome, characters);
}

LinkHealth::Figures MonitorEngine::health(int n) const
{
    return m_health[size_t(n)].figures(m_channel.msecs(), CharacterMs(m_settings()));
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
