#pragma once

#include "link/line.h"
#include "setup/setupcompare.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class MonitorEngine;
class ParameterTransfer;
class SetupComparison;
class SetupViewLogic;

// What the configuration window's logic asks of whatever shows it.
struct MonitorSessionActions
{
    // The setup view's model changed.
    std::function<void()> changed;
    // A comparison's report, to be shown.
    std::function<void(const CompareReport &)> showReport;
};

// The configuration window's logic without its widgets: the transaction
// engine on the window's line, the setup view's logic, the parameter file
// and write-all, and the comparison, wired together as the window uses them.
// The window shows it; the command line drives the same pieces.
class MonitorSession : public QObject
{
    Q_OBJECT
public:
    MonitorSession(Line &line, LineSettingsSource settings, MonitorSessionActions actions,
                   QObject *parent = nullptr);
    ~MonitorSession() override;

    MonitorEngine &engine() { return *m_engine; }
    SetupViewLogic &setupView() { return *m_setupLogic; }
    ParameterTransfer &transfer() { return *m_transfer; }
    SetupComparison &comparison() { return *m_comparison; }

    // Runs `call` once the event in hand is done: message boxes never open
    // inside the line's events.
    void post(std::function<void()> call);

private:
    Line &m_line;
    void createSetupView();
    void createComparison();

    MonitorSessionActions m_actions;
    MonitorEngine *m_engine = nullptr;
    std::unique_ptr<SetupViewLogic> m_setupLogic;
    std::unique_ptr<ParameterTransfer> m_transfer;
    std::unique_ptr<SetupComparison> m_comparison;
    QStringList m_notWritten; // single writes named at the next turn of the event loop
};
