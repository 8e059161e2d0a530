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

void MonitorEngine::setChartShown(bool shown)
{
    m_state.ChartShown = shown;
    m_view.drawCaption =
        shown ? QStringLiteral("View setup parameters") : QStringLiteral("PV Monitor");
    if (shown && hooks.chartOn)
        hooks.chartOn();
    changed();
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

bool MonitorEngine::startWriteAll(const QList<WriteItem> &items, bool broadcast)
{
    MonitorState &st = m_state;
    if (items.isEmpty() || st.ConnectedCount() == 0 || st.work != EngineWork::Polling)
        return false;
    m_batchItems = items;
    m_batchIndex = 0;
    m_notWritten.clear();
    m_batchAddress = broadcast ? 0 : st.at(st.SelectedDevice).DeviceAddress;
    st.work = broadcast ? EngineWork::BroadcastWriteAll : EngineWork::WriteAll;
    st.BatchCounter = stepOf(0);
    st.BatchRetry = 0;
    m_view.upLoadBar = 0;
    if (!st.RequestOutstanding)
        SendNext();
    return true;
}

bool MonitorEngine::startProgramWrite(const QList<WriteItem> &items)
{
    MonitorState &st = m_state;
    if (items.isEmpty() || st.ConnectedCount() == 0 || st.work != EngineWork::Polling)
        return false;
    m_batchItems = items;
    m_programNext = 0;
    m_programDone = 0;
    m_notWritten.clear();
    m_batchAddress = st.at(st.SelectedDevice).DeviceAddress;
    st.work = EngineWork::ProgramWrite;
    st.BatchRetry = 0;
    if (!st.RequestOutstanding)
        SendNext();
    return true;
}

int MonitorEngine::stepOf(int index) const
{
    if (index < 0 || index >= m_batchItems.size())
        return index;
    const int step = m_batchItems.at(index).step;
    return step >= 0 ? step : index;
}

void MonitorEngine::prepareBatchItem()
{
    MonitorState &st = m_state;
    const int address = m_batchAddress;
    if (st.WriteAll()) {
        // The same item until its echo or its fourth failure; a write
        // refused or mismatched is prepared again, with its unlock write.
        if (st.WritePending || st.UnlockPending || m_batchIndex < 0 ||
            m_batchIndex >= m_batchItems.size())
            return;
        const WriteItem &item = m_batchItems.at(m_batchIndex);
        st.PendingWrite = WriteRequest(address, item.reg, item.value);
        st.WritePending = true;
        st.UnlockPending = item.unlock;
    } else if (st.ProgramWriteActive()) {
        // Every send takes the next item: a failed one is not repeated. The
        // batch ends after its last item's result, whatever it was.
        if (st.WritePending)
            return;
        if (m_programNext >= m_batchItems.size()) {
            endProgramWrite(true);
            return;
        }
        const WriteItem &item = m_batchItems.at(m_programNext++);
        st.PendingWrite = WriteRequest(address, item.reg, item.value);
        st.WritePending = true;
        st.UnlockPending = item.unlock;
    }
}

void MonitorEngine::requestSave()
{
    m_state.SaveToFilePending = true;
    // The save comes before anything else at the next send; with nothing in
    // flight that is now.
    if (!m_state.RequestOutstanding)
        SendNext();
}

void MonitorEngine::runSave()
{
    if (hooks.saveToFile)
        hooks.saveToFile();
    m_paused = false;
    if (m_state.ConnectedCount() > 0 && !m_state.RequestOutstanding)
        SendNext();
    changed();
}

void MonitorEngine::loadParameterFile(const ParameterImage &file)
{
    m_image = file;
    m_state.ParamsFromFile = true;
    changed();
}

void MonitorEngine::closeParameterFile()
{
    m_state.ParamsFromFile = false;
    m_state.ParamsStale = true;
    copyIdentification();
    changed();
}

void MonitorEngine::copyIdentification()
{
    const SlotState &s = m_state.at(m_state.SelectedDevice);
    if (s.idModel == 0 || m_state.ParamsFromFile)
        return;
    m_image[ParameterImage::ModelEntry] = s.idModel;
    m_image[ParameterImage::Identification1Entry] = s.id1;
    m_image[ParameterImage::Identification2Entry] = s.id2;
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
    // The status block starts at 0x4725, the decimal point position.
    constexpr int DecimalPointStep = int(PollStep::Status);
    QList<quint16> words = m_state.ReplyWords;
    if (const ReadBlock *block = ReadBlockForStep(m_otherStep)) {
        if (m_otherStep == int(PollStep::FirstSetup) + 4 && words.size() > 3 && words.at(3) > 3)
            words[3] = 0; // an unknown run/stop state counts as stopped
        m_otherImage.setBlock(block->start, words.mid(0, block->count));
    }
    // The setup blocks that make the image (the rest of the setup cycle
    // only shows), then the decimal point position and the set value and
    // output levels, which the polling cycle reads for the selected one.
    const int lastImageStep = int(PollStep::FirstSetup) + 5;
    if (m_otherStep == lastImageStep)
        m_otherStep = DecimalPointStep;
    else if (m_otherStep == DecimalPointStep)
        m_otherStep = int(PollStep::ProcessValues);
    else if (m_otherStep == int(PollStep::ProcessValues))
        endOtherSetupRead(true);
    else
        ++m_otherStep;
}

void MonitorEngine::endOtherSetupRead(bool ok)
{
    m_state.work = EngineWork::Polling;
    m_otherSlot = 0;
    const SetupReadDone done = std::exchange(m_otherDone, nullptr);
    if (done)
        done(ok, m_otherImage);
}

bool MonitorEngine::requestProgramRead()
{
    if (m_state.work != EngineWork::Polling)
        return false; // one thing at a time
    m_state.work = EngineWork::ProgramReadRequested;
    m_state.ProgramReadStep = 0;
    m_state.ProgramStepCounter = 0;
    m_programSlot = m_state.SelectedDevice;
    if (m_state.ConnectedCount() > 0 && !m_state.RequestOutstanding)
        SendNext();
    return true;
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
    endProgramRead(true);
}

void MonitorEngine::endProgramRead(bool complete)
{
    MonitorState &st = m_state;
    st.work = EngineWork::Polling;
    st.ProgramReadStep = 0;
    st.ProgramStepCounter = 0;
    m_programSlot = 0;
    if (hooks.programReadEnded)
        hooks.programReadEnded(complete);
}

void MonitorEngine::endProgramWrite(bool complete)
{
    MonitorState &st = m_state;
    BatchWriteReport report;
    report.complete = complete;
    report.address = m_batchAddress;
    report.notWritten = m_notWritten;
    if (!complete)
        report.notWritten += m_batchItems.mid(m_programNext);
    st.work = EngineWork::Polling;
    dropPendingWrite();
    m_batchItems.clear();
    m_notWritten.clear();
    m_programNext = 0;
    m_programDone = 0;
    if (st.ConnectedCount() > 0) {
        StartCycle();
        st.ParamsStale = true;
    }
    if (hooks.programWriteEnded)
        hooks.programWriteEnded(report);
}

void MonitorEngine::dropProgramTransfers()
{
    switch (m_state.work) {
    case EngineWork::ProgramReadRequested:
    case EngineWork::ProgramRead:
        endProgramRead(false);
        break;
    case EngineWork::ProgramWrite:
        // The item in flight is not known to have arrived.
        if (m_state.WritePending && m_programNext > 0)
            --m_programNext;
        endProgramWrite(false);
        break;
    default:
        break;
    }
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
    if (st.ProgramWriteActive()) {
        ++m_programDone;
        if (hooks.programWriteProgress)
            hooks.programWriteProgress(m_programDone);
    }
    st.WritePending = false;
    st.PendingWrite = {};
}

void MonitorEngine::advanceWriteAll(bool resetTicks)
{
    MonitorState &st = m_state;
    const int done = stepOf(m_batchIndex);
    ++m_batchIndex;
    st.BatchRetry = 0;
    const int last = std::max(1, stepOf(int(m_batchItems.size()) - 1));
    st.BatchCounter = m_batchIndex < m_batchItems.size() ? stepOf(m_batchIndex) : last + 1;
    m_view.upLoadBar = std::min(100, (done + 1) * 100 / last);
    if (hooks.writeAllProgress)
        hooks.writeAllProgress(m_view.upLoadBar);
    if (m_batchIndex >= m_batchItems.size())
        endWriteAllBatch(resetTicks);
}

void MonitorEngine::endWriteAllBatch(bool resetTicks, bool complete)
{
    MonitorState &st = m_state;
    if (resetTicks)
        st.ReplyTicks = 18;
    BatchWriteReport report;
    report.complete = complete;
    report.address = m_batchAddress;
    report.notWritten = m_notWritten;
    if (!complete)
        report.notWritten += m_batchItems.mid(m_batchIndex);
    st.ParamsFromFile = false;
    st.work = EngineWork::Polling;
    st.WritePending = false;
    st.UnlockPending = false;
    st.PendingWrite = {};
    m_batchItems.clear();
    m_notWritten.clear();
    m_batchIndex = 0;
    m_view.upLoadBar = 0;
    copyIdentification();
    StartCycle();
    st.ParamsStale = true;
    if (hooks.writeAllEnded)
        hooks.writeAllEnded(report);
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
    dropProgramTransfers();
    const bool writingAll = st.WriteAll();
    BatchWriteReport report;
    report.complete = false;
    report.address = m_batchAddress;
    if (writingAll)
        report.notWritten = m_notWritten + m_batchItems.mid(m_batchIndex);
    dropPendingWrite();
    st.work = EngineWork::Polling;
    st.ParamsFromFile = false;
    st.BatchCounter = 0;
    st.BatchRetry = 0;
    m_batchItems.clear();
    m_notWritten.clear();
    m_batchIndex = 0;
    m_view.upLoadBar = 0;
    m_badReplies = 0;
    if (writingAll && hooks.writeAllEnded)
        hooks.writeAllEnded(report);
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
