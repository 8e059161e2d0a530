#pragma once

#include "cli/clidialogs.h"
#include "cli/commands.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorsession.h"

#include <QList>
#include <memory>
#include <optional>

// A controller session: the configuration window's logic on a line of its
// own, with the dialogs of the command line.
class CliTalk
{
public:
    explicit CliTalk(const CliCommands::Context &c);
    ~CliTalk();

    MonitorEngine &engine() { return m_session.engine(); }
    MonitorSession &session() { return m_session; }
    CliDialogs dialogs;
    std::optional<CompareReport> report; // the last comparison shown
    int setupCycles = 0;
    QList<SingleWriteReport> singleReports;
    BatchWriteReport writeAllReport;
    bool writeAllDone = false;

    // Opens the line as the window does when it is shown.
    bool open();

    // Connects the addresses into slots 1.. (at most four) and waits until
    // each controller has identified itself, or has let two requests in a
    // row go unanswered. The addresses that did not answer.
    QList<int> connect(const QList<int> &addresses);

    // Opens the line and connects one controller; false (said) when either
    // fails.
    bool openOne(int address);

    // Connects the addresses into slots 1.. (at most four), as the window's
    // "Connect" buttons do.
    void start(const QList<int> &addresses);

    // Waits until the controller of slot n has identified itself (true), or
    // has let two requests in a row go unanswered: then the slot is
    // disconnected (false).
    bool settle(int n);

    // Says on standard error that the controller did not answer.
    void saySilent(int address) const;

    // The messages the logic gave since `from`.
    QString lastMessages(qsizetype from) const { return dialogs.textsFrom(from); }

    // Waits until the selected controller's whole setup is in the image and
    // shown by the setup view; false when it cannot come.
    bool waitWhole();

private:
    static constexpr int UnansweredRun = 2;

    static MonitorSessionActions actions(CliTalk *t);

    CliCommands::Context m_context;
    std::unique_ptr<Line> m_line;
    MonitorSession m_session;
};
