#include "cli/clitalk.h"

#include "cli/cliline.h"
#include "cli/cliport.h"
#include "cli/clishared.h"
#include "find/findlogic.h"
#include "setup/setupview.h"

using namespace CliCommands;

CliTalk::CliTalk(const Context &c)
    : m_context(c)
    , m_line(CliLine::create(c.line))
    , m_session(
          *m_line, [s = c.line] { return s; }, actions(this))
{
    m_session.setupView().resetView();
    // Nothing waits on a line that is gone: the command ends and says why.
    lineLoss = [line = m_line.get()] {
        return line->isOpen() && line->deviceLost() ? line->lossText() : QString();
    };
    MonitorEngine &e = engine();
    auto cycle = e.hooks.setupCycleDone;
    e.hooks.setupCycleDone = [this, cycle] {
        if (cycle)
            cycle();
        ++setupCycles;
    };
    auto single = e.hooks.singleWriteEnded;
    e.hooks.singleWriteEnded = [this, single](const SingleWriteReport &r) {
        if (single)
            single(r);
        singleReports.append(r);
    };
    auto ended = e.hooks.writeAllEnded;
    e.hooks.writeAllEnded = [this, ended](const BatchWriteReport &r) {
        if (ended)
            ended(r);
        writeAllReport = r;
        writeAllDone = true;
    };
}

CliTalk::~CliTalk()
{
    lineLoss = nullptr;
    // The request in flight is let finish first: its reply would
    // otherwise wait on the line for the next program to open it.
    for (int n = 1; n <= SlotCount; ++n)
        engine().DisconnectSlot(n);
    waitFor([this] { return !engine().state().RequestOutstanding; }, 1000, false);
    engine().FormClose();
}

bool CliTalk::open()
{
    if (!CliPort::openLine(
        m_context, dialogs,
        [this] {
            engine().FormShow();
            return engine().holdsPort();
        },
        [this] { engine().FormClose(); }))
        return false;
    return CliLine::reached(*m_line, m_context.line);
}

QList<int> CliTalk::connect(const QList<int> &addresses)
{
    start(addresses);
    QList<int> silent;
    for (int i = 0; i < addresses.size(); ++i)
        if (!settle(i + 1))
            silent << addresses.at(i);
    return silent;
}

bool CliTalk::openOne(int address)
{
    if (!open())
        return false;
    if (connect({address}).isEmpty())
        return true;
    saySilent(address);
    return false;
}

void CliTalk::start(const QList<int> &addresses)
{
    for (int i = 0; i < addresses.size(); ++i) {
        engine().setComAddr(i + 1, addresses.at(i));
        engine().ConnectSlot(i + 1);
    }
}

bool CliTalk::settle(int n)
{
    const SlotState &s = engine().state().at(n);
    // A line that goes away meanwhile ends the wait: nobody can answer.
    waitFor([&] {
        return !s.DeviceRequested || s.identified || s.TimeoutRun >= UnansweredRun ||
            m_line->deviceLost();
    });
    if (s.identified)
        return true;
    engine().DisconnectSlot(n);
    return false;
}

void CliTalk::saySilent(int address) const
{
    if (m_line->deviceLost() && sayLoss(m_line->lossText()))
        return;
    printErr(QStringLiteral("address %1: no reply on %2 at %3")
                 .arg(address)
                 .arg(CliPort::label(m_context), FindLogic::SettingText(m_context.line)));
}

bool CliTalk::waitWhole()
{
    bool answered = false;
    bool whole = false;
    engine().whenImageWhole(QStringLiteral("Read"), [&](bool ok) {
        answered = true;
        whole = ok;
    });
    waitFor([&] { return answered; });
    if (!whole)
        return false;
    return waitFor([&] { return m_session.setupView().setupShown(); }, 10000);
}

MonitorSessionActions CliTalk::actions(CliTalk *t)
{
    MonitorSessionActions a;
    a.showReport = [t](const CompareReport &r) { t->report = r; };
    return a;
}
