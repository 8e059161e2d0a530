// The monitor engine's writes: single writes with their unlock, write-all
// to one controller or by broadcast, the program write, and dropping work
// whose controller is gone.
#include "monitor/monitorengine.h"

#include "setup/registermap.h"

#include <utility>

void MonitorEngine::requestWrite(int address, int reg, int value, bool unlock)
{
    MonitorState &st = m_state;
    st.PendingWrite = WriteRequest(address, reg, value);
    st.WritePending = true;
    st.UnlockPending = unlock;
    if (st.ConnectedCount() > 0 && !st.RequestOutstanding)
        SendNext();
}

void MonitorEngine::requestSetupRead()
{
    m_state.ParamsStale = true;
}

void MonitorEngine::requestOutputModeRead()
{
    m_state.ReadOutputMode = true;
}

void MonitorEngine::setDebugVisible(bool visible)
{
    m_view.debugVisible = visible;
    changed();
}

void MonitorEngine::hideEventIndicators()
{
    for (int n = 1; n <= SlotCount; ++n)
        m_view.at(n).event1 = m_view.at(n).event2 = false;
    changed();
}

void MonitorEngine::startWriteAll(const QList<WriteItem> &items, bool broadcast)
{
    MonitorState &st = m_state;
    if (items.isEmpty() || st.ConnectedCount() == 0 || st.work != EngineWork::Polling)
        return;
    m_batchItems = items;
    st.work = broadcast ? EngineWork::BroadcastWriteAll : EngineWork::WriteAll;
    st.BatchCounter = 0;
    st.BatchRetry = 0;
    if (!st.RequestOutstanding)
        SendNext();
}

void MonitorEngine::startProgramWrite(const QList<WriteItem> &items)
{
    MonitorState &st = m_state;
    if (items.isEmpty() || st.ConnectedCount() == 0 || st.work != EngineWork::Polling)
        return;
    m_batchItems = items;
    m_programNext = 0;
    st.work = EngineWork::ProgramWrite;
    st.BatchRetry = 0;
    if (!st.RequestOutstanding)
        SendNext();
}

void MonitorEngine::prepareBatchItem()
{
    MonitorState &st = m_state;
    const int address = st.BroadcastWrite() ? 0 : st.at(st.SelectedDevice).DeviceAddress;
    if (st.WriteAll()) {
        // The same item until its echo or its fourth failure; a write
        // refused or mismatched is prepared again, with its unlock write.
        if (st.WritePending || st.UnlockPending || st.BatchCounter < 0 ||
            st.BatchCounter >= m_batchItems.size())
            return;
        const WriteItem &item = m_batchItems.at(st.BatchCounter);
        st.PendingWrite = WriteRequest(address, item.reg, item.value);
        st.WritePending = true;
        st.UnlockPending = item.unlock;
    } else if (st.ProgramWriteActive()) {
        // Every send takes the next item: a failed one is not repeated.
        if (st.WritePending)
            return;
        if (m_programNext >= m_batchItems.size()) {
            st.work = EngineWork::Polling;
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

void MonitorEngine::readSetupOf(int n, SetupReadDone done)
{
    MonitorState &st = m_state;
    if (n < 1 || n > SlotCount || !st.at(n).DeviceRequested || st.work != EngineWork::Polling) {
        if (done)
            done(false, ParameterImage());
        return;
    }
    // It starts with the next request, so that the reply in flight is not
    // taken for its first block.
    st.work = EngineWork::SetupReadOtherRequested;
    m_otherSlot = n;
    m_otherStep = int(PollStep::FirstSetup);
    m_otherImage = ParameterImage();
    m_otherImage[ParameterImage::ModelEntry] = NormalizedModelCode(m_view.at(n).modelCode);
    m_otherDone = std::move(done);
    if (!st.RequestOutstanding)
        SendNext();
}

void MonitorEngine::applyOtherSetupReply()
{
    QList<quint16> words = m_state.ReplyWords;
    if (const ReadBlock *block = ReadBlockForStep(m_otherStep)) {
        if (m_otherStep == int(PollStep::FirstSetup) + 4 && words.size() > 3 && words.at(3) > 3)
            words[3] = 0; // an unknown run/stop state counts as stopped
        m_otherImage.setBlock(block->start, words.mid(0, block->count));
    }
    // The blocks that make the image; the rest of the cycle only shows.
    if (++m_otherStep > int(PollStep::FirstSetup) + 5)
        endOtherSetupRead(true);
}

void MonitorEngine::endOtherSetupRead(bool ok)
{
    m_state.work = EngineWork::Polling;
    m_otherSlot = 0;
    const SetupReadDone done = std::exchange(m_otherDone, nullptr);
    if (done)
        done(ok, m_otherImage);
}

void MonitorEngine::requestProgramRead()
{
    if (m_state.work != EngineWork::Polling)
        return; // one thing at a time
    m_state.work = EngineWork::ProgramReadRequested;
    m_state.ProgramReadStep = 0;
    m_state.ProgramStepCounter = 0;
    if (m_state.ConnectedCount() > 0 && !m_state.RequestOutstanding)
        SendNext();
}

void MonitorEngine::advanceProgramRead()
{
    MonitorState &st = m_state;
    // Phases 0 to 3 once each, then phase 4 by blocks of four steps.
    if (st.ProgramReadStep < ProgramReadLastPhase) {
        ++st.ProgramReadStep;
        return;
    }
    st.ProgramStepCounter += ProgramStepsPerBlock;
    if (st.ProgramStepCounter < ProgramReg::Steps)
        return;
    st.work = EngineWork::Polling;
    st.ProgramReadStep = 0;
    st.ProgramStepCounter = 0;
    if (hooks.programReadEnded)
        hooks.programReadEnded();
}

void MonitorEngine::finishWriteItem()
{
    MonitorState &st = m_state;
    if (st.WriteAll())
        advanceWriteAll(false);
    if (!st.WriteAll() && !st.ProgramWriteActive()) {
        // A single write (or the batch's end): read the parameters back.
        StartCycle();
        st.ParamsStale = true;
    }
    if (st.ProgramWriteActive() && hooks.programWriteProgress)
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
    st.work = EngineWork::Polling;
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

void MonitorEngine::dropPendingWrite()
{
    m_state.PendingWrite = {};
    m_state.WritePending = false;
    m_state.UnlockPending = false;
}

void MonitorEngine::dropAllWork()
{
    MonitorState &st = m_state;
    if (st.work == EngineWork::SetupReadOther || st.work == EngineWork::SetupReadOtherRequested)
        endOtherSetupRead(false);
    dropPendingWrite();
    st.work = EngineWork::Polling;
    st.ParamsFromFile = false;
    st.BatchCounter = 0;
    st.BatchRetry = 0;
    m_batchItems.clear();
    m_view.upLoadBar = 0;
    m_badReplies = 0;
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
    send(request, st.BroadcastWrite() ? BroadcastWindowTicks : ReadWindowTicks);
}
