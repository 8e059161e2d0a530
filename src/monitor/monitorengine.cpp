// The monitor engine: opening and closing, the slots and their notes.
// Polling, replies and writes live in monitorpolling.cpp, monitorreplies.cpp
// and monitorwrites.cpp.
#include "monitor/monitorengine.h"

#include "link/channelerror.h"
#include "setup/registermap.h"
#include "ui/dialogs.h"

namespace {

void postWarning(const QString &text)
{
    // Never a modal box inside a channel event or an engine step.
    QTimer::singleShot(0, [text] { AppDialogs().inform(QStringLiteral("Warning"), text); });
}

} // namespace

MonitorEngine::MonitorEngine(Line &line, LineSettingsSource settings, QObject *parent)
    : QObject(parent)
    , m_channel(line)
    , m_settings(std::move(settings))
    , m_collector(line, ReplyCollector::Timing::FromLastByte, MaxReceive)
{
    m_collector.setTrafficSource("Configuration");
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(1000);
    connect(&m_timer1, &QTimer::timeout, this, &MonitorEngine::Timer1Timer);
    m_channel.setTriggerHandler([this](quint16 msg, quint16 handle, quint16 data) {
        ApdComPort1Trigger(msg, handle, data);
    });
    ResetEngine();
}

void MonitorEngine::attachLine()
{
    m_collector.attach();
    m_state.ReplyTimer = m_collector.timer();
    m_guardTimer = m_channel.AddTimer();
    m_channel.ArmTimer(m_guardTimer, 0, false);
}

const Framing &MonitorEngine::framing() const
{
    return Framing::of(m_settings().framing);
}

bool MonitorEngine::linearInput() const
{
    if (hooks.linearInput)
        return hooks.linearInput();
    return m_image.at(ParameterImage::entryOfRegister(Reg::InputType)) > 12;
}

void MonitorEngine::FormShow()
{
    if (m_closing)
        finishClose(); // the exchange the close waited for is not waited for any more
    m_lineLost = false;
    m_paused = false;
    m_disconnectedForTimeouts.fill(false);
    ResetEngine();
    updateNotes();
    m_view.allImageVisible = true;
    m_view.debugVisible = false;
    for (int n = 1; n <= SlotCount; ++n)
        ClearSlotPanel(n);
    try {
        m_channel.openWith(m_settings());
        attachLine();
    } catch (const ChannelError &e) {
        m_channel.close();
        postWarning(PortFailureText(e));
    }
    changed();
}

void MonitorEngine::FormClose()
{
    // Every job and write ends with its report; the window's parts get
    // their controls back. A write on the line is let end by its echo or
    // its window first, so that its report says what the controller did;
    // the line closes then.
    m_timer1.stop();
    const QString closed = QStringLiteral("the configuration window was closed");
    refuseImageWaits(closed);
    endWorkOf(0, closed);
    if (writeInFlight() && m_channel.isOpen() && !m_lineLost) {
        m_closing = true;
        return;
    }
    finishClose();
}

void MonitorEngine::finishClose()
{
    m_closing = false;
    m_guarding = false;
    m_inFlight.reset();
    m_state.RequestOutstanding = false;
    const QList<EndLater> later = std::exchange(m_endAfterFlight, {});
    for (const EndLater &e : later)
        endWorkOf(e.slot, e.why);
    m_collector.cancel();
    m_channel.close();
}

void MonitorEngine::ResetEngine()
{
    // Work that runs or waits ends first, with its report, so that the
    // windows that asked for it get their controls back.
    m_inFlight.reset();
    m_guarding = false;
    m_endAfterFlight.clear();
    endWorkOf(0, QStringLiteral("the configuration window was reset"));
    refuseImageWaits(QStringLiteral("the configuration window was reset"));
    m_badReplies = 0;
    m_owed.fill(false);
    m_lastAsked.fill(0);
    m_guardUntil.fill(0);
    m_probeDue = false;
    m_lastProbe = 0;
    m_setupSlot = 0;
    m_record = ImageRecord();
    m_record.mark(m_sendCount);
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

void MonitorEngine::RunStopBtClick(int n)
{
    if (m_state.at(n).DeviceRequested)
        DisconnectSlot(n);
    else
        ConnectSlot(n);
}

void MonitorEngine::ConnectSlot(int n)
{
    // A device that went away is looked for again first.
    if (m_lineLost || m_channel.deviceLost())
        reopenLine();
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
    m_health[size_t(n)].clear();
    slot.DeviceRequested = true;
    slot.identified = false;
    m_guardUntil[size_t(n)] = 0;
    m_disconnectedForTimeouts[size_t(n)] = false;
    updateNotes();
    if (m_state.ConnectedCount() == 1) {
        for (int i = 1; i <= SlotCount; ++i)
            m_state.at(i).DeviceAddress = m_view.comAddr[size_t(i)];
        slot.DeviceActive = true;
        SelectSlot(n);
        StartCycle();
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
    // Its work ends with its report: nothing waits to be sent elsewhere.
    const QString gone = slotName(n) + QStringLiteral(" is no longer connected");
    endWorkOf(n, gone);
    if (n == m_state.SelectedDevice)
        refuseImageWaits(gone);
    ClearSlotPanel(n);
    if (m_state.ConnectedCount() == 0) {
        endWorkOf(0, gone);
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

void MonitorEngine::lineLost()
{
    // The exchange in flight is lost with the line: it goes out again, an
    // unlock pair whole, once the line is back.
    m_state.RequestOutstanding = false;
    m_inFlight.reset();
    m_guarding = false;
    for (SingleWrite &w : m_singles)
        w.unlocked = false;
    if (!m_jobs.empty())
        m_jobs.front().unlocked = false;
    flightEnded();
    if (m_lineLost)
        return;
    m_lineLost = true;
    for (int n = 1; n <= SlotCount; ++n)
        if (m_state.at(n).DeviceRequested) {
            m_view.at(n).lost = true;
            m_view.at(n).runLed = MonitorColor::Red;
        }
    postWarning(m_channel.lossText());
    changed();
}

bool MonitorEngine::reopenLine()
{
    try {
        m_collector.cancel();
        m_channel.reopen(m_settings());
        // The channel keeps its timers across the reopening: the same
        // handles are armed again, none is added.
        m_collector.reattach();
        m_state.ReplyTimer = m_collector.timer();
        m_channel.ArmTimer(m_guardTimer, 0, false);
    } catch (const ChannelError &) {
        return false;
    }
    m_lineLost = false;
    m_state.RequestOutstanding = false;
    m_inFlight.reset();
    for (int n = 1; n <= SlotCount; ++n)
        m_view.at(n).lost = m_state.at(n).TimeoutRun != 0;
    changed();
    return true;
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
    if (hooks.hideFactory)
        hooks.hideFactory();
    if (m_state.at(n).DeviceRequested) {
        m_view.selPanelVisible = true;
        if (n != m_state.SelectedDevice) {
            // What waited for the other controller's image is not done with
            // this one's; its setup read is left.
            refuseImageWaits(QStringLiteral("another controller was selected"));
        }
        m_state.SelectedDevice = n;
        markStale();
        copyIdentification();
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
