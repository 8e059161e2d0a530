#include "monitor/monitorsession.h"

#include "monitor/monitorengine.h"
#include "setup/parametertransfer.h"
#include "setup/setupcomparison.h"
#include "setup/setupview.h"
#include "setup/writeall.h"
#include "ui/dialogs.h"

#include <QTimer>
#include <utility>

MonitorSession::MonitorSession(Line &line, LineSettingsSource settings,
                               MonitorSessionActions actions, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_actions(std::move(actions))
{
    if (!settings)
        settings = [] { return LineSettings(); };
    m_engine = new MonitorEngine(line, std::move(settings), this);
    createSetupView();
}

MonitorSession::~MonitorSession() = default;

void MonitorSession::post(std::function<void()> call)
{
    QTimer::singleShot(0, this, std::move(call));
}

void MonitorSession::createSetupView()
{
    MonitorEngine &engine = *m_engine;
    auto context = [&engine] {
        const MonitorState &st = engine.state();
        const SlotState &s = st.at(st.SelectedDevice);
        SetupViewContext c;
        c.address = s.DeviceAddress;
        c.decimals = s.DecimalPlaces;
        c.onlineConfig = s.OnlineConfig;
        c.autoTuning = s.autoTuning;
        c.eventInput2 = s.EventFlag2;
        c.programRunning = s.ProgramDisplay;
        c.sv = s.lastSv & 0xFFFF;
        c.output1 = s.output1;
        c.output2 = s.output2;
        c.programDisplayMode = s.programDisplayMode;
        c.connected = st.ConnectedCount();
        c.chartShown = st.ChartShown;
        c.paramsFromFile = st.ParamsFromFile;
        c.setupViewPending = st.SetupViewPending;
        return c;
    };
    SetupViewActions actions;
    actions.write = [&engine](int address, int reg, int value, bool unlock) {
        engine.requestWrite(address, reg, value, unlock);
    };
    actions.reread = [&engine] { engine.requestSetupRead(); };
    actions.readOutputMode = [&engine] { engine.requestOutputModeRead(); };
    actions.showDebug = [&engine](bool on) { engine.setDebugVisible(on); };
    actions.hideEventIndicators = [&engine] { engine.hideEventIndicators(); };
    actions.showChart = [&engine](bool on) { engine.setChartShown(on); };
    actions.changed = [this] {
        if (m_actions.changed)
            m_actions.changed();
    };
    m_setupLogic =
        std::make_unique<SetupViewLogic>(engine.image(), std::move(context), std::move(actions));

    SetupViewLogic &view = *m_setupLogic;
    engine.hooks.setupReply = [&view](int step, const QList<quint16> &words) {
        view.applySetupStep(step, words);
    };
    engine.hooks.setupCycleDone = [&view] { view.endSetupCycle(); };
    engine.hooks.hideSetupView = [&view] { view.resetView(); };
    engine.hooks.hideFactory = [&view] { view.ShowFactory(false); };
    engine.hooks.linearInput = [&view] { return view.linearInput(); };

    ParameterTransferActions files;
    files.requestSave = [&engine] { engine.requestSave(); };
    files.loadFile = [&engine](const ParameterImage &file) { engine.loadParameterFile(file); };
    files.closeFile = [&engine] { engine.closeParameterFile(); };
    files.startWriteAll = [this, &engine](const QList<RegisterWrite> &items, bool broadcast) {
        const bool started = engine.startWriteAll(items, broadcast);
        if (started)
            m_comparison->writeAllStarted(engine.image()); // the file, as loaded
        return started;
    };
    files.broadcastCarried = [this] { return m_line.carriesBroadcast(); };
    files.post = [this](std::function<void()> call) { post(std::move(call)); };
    m_transfer = std::make_unique<ParameterTransfer>(engine.image(), view, std::move(files));
    ParameterTransfer &transfer = *m_transfer;
    engine.hooks.saveToFile = [&transfer] { transfer.saveFile(); };
    engine.hooks.waiting = [&view](const QString &text) { view.showWaiting(text); };
    // Changes that did not reach their controller are named, once the line's
    // event is done, in one box for all that ended together.
    engine.hooks.singleWriteEnded = [this, &view](const SingleWriteReport &r) {
        if (r.outcome == WriteOutcome::Refused)
            view.writeRefused(r.reg, r.value, r.error);
        if (r.outcome != WriteOutcome::NotSent && r.outcome != WriteOutcome::NoAnswer)
            return;
        if (m_notWritten.isEmpty())
            post([this] {
                const QStringList lines = std::exchange(m_notWritten, {});
                AppDialogs().inform(QStringLiteral("Message"),
                                    QStringLiteral("Not written:\n") +
                                        lines.join(QLatin1Char('\n')));
            });
        m_notWritten << QStringLiteral("%1: %2").arg(WriteAll::describe(r.reg), r.why);
    };
    engine.hooks.refused = [](const QString &text) {
        AppDialogs().inform(QStringLiteral("Message"), text);
    };
    engine.hooks.writeAllProgress = [&transfer](int percent) { transfer.writeProgress(percent); };
    createComparison();
    SetupComparison &comparison = *m_comparison;
    engine.hooks.writeAllEnded = [this, &transfer, &comparison](const BatchWriteReport &report) {
        transfer.writeEnded(report);
        // The read-back starts once the line's event is done.
        post([&comparison, report] { comparison.writeAllEnded(report); });
    };
}

void MonitorSession::createComparison()
{
    MonitorEngine &engine = *m_engine;
    auto slotName = [&engine](int n) {
        return QStringLiteral("Controller %1 (address %2)")
            .arg(n)
            .arg(engine.state().at(n).DeviceAddress);
    };
    SetupComparisonActions actions;
    actions.selectedName = [&engine, slotName] {
        const int n = engine.state().SelectedDevice;
        return n >= 1 && n <= SlotCount && engine.state().at(n).DeviceRequested ? slotName(n)
                                                                                : QString();
    };
    actions.connectedSlots = [&engine, slotName] {
        QList<ComparedSlot> out;
        const int selected = engine.state().SelectedDevice;
        if (selected >= 1 && selected <= SlotCount && engine.state().at(selected).DeviceRequested)
            out.append({selected, slotName(selected)});
        for (int n = 1; n <= SlotCount; ++n)
            if (n != selected && engine.state().at(n).DeviceRequested)
                out.append({n, slotName(n)});
        return out;
    };
    actions.readSetupOf = [this, &engine](int n,
                                          std::function<void(bool, const ParameterImage &)> done) {
        // The result is taken once the line's event is done: it may open a
        // message box.
        engine.readSetupOf(n, [this, done](bool ok, const ParameterImage &image) {
            post([done, ok, image] { done(ok, image); });
        });
    };
    actions.slotOfAddress = [&engine](int address) { return engine.slotOfAddress(address); };
    actions.whenImageWhole = [&engine](const QString &text, std::function<void(bool)> then) {
        engine.whenImageWhole(text, std::move(then));
    };
    actions.show = [this](const CompareReport &report) {
        if (m_actions.showReport)
            m_actions.showReport(report);
    };
    m_comparison = std::make_unique<SetupComparison>(engine.image(), std::move(actions));
}
