// The configuration window's link health and the traffic log against the
// simulator with injected faults: the figures count exactly what was
// injected, and the log shows it.
#include "app/comsettings.h"
#include "link/trafficlog.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "scripteddialogs.h"
#include "simoncom1.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class HealthOnTheLine : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnCom1> sim;
    std::unique_ptr<MonitorForm> form;
    QStringList log;

    void SetUp() override
    {
        sim = std::make_unique<SimOnCom1>(MatchingLine(GetParam(), settings),
                                          QList<QPair<int, int>> {{1, 0x4848}});
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged,
                         [this](const QString &text) { log << text; });
        form = std::make_unique<MonitorForm>(nullptr, [this] { return settings.lineSettings(); });
        form->showWindow();
        QTest::mouseClick(form->slotWidgets(1).runBt, Qt::LeftButton);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !form->engine().view().at(1).pvText.isEmpty(); }, 5000));
    }
    void TearDown() override
    {
        form.reset();
        sim.reset();
    }
    // Injects `fault` until the simulator has shown it `times` times.
    qsizetype inject(SimFault fault, int times)
    {
        const QString mark = QStringLiteral("[fault %1]").arg(fault.describe());
        sim->line.setFault(1, fault);
        EXPECT_TRUE(QTest::qWaitFor([&] { return log.filter(mark).size() >= times; }, 10000));
        sim->line.setFault(1, {});
        return log.filter(mark).size();
    }
};

// How many entries since `from` (the ring keeps the last 10,000: the
// in-process line polls thousands of times a second) read `reading`.
int logged(qint64 from, const QString &reading)
{
    const TrafficLog &traffic = TrafficLog::shared();
    int n = 0;
    for (qint64 s = std::max(from, traffic.oldest()); s <= traffic.newest(); ++s) {
        const TrafficEntry *e = traffic.at(s);
        if (QString::fromLatin1(e->source) == "Configuration" &&
            TrafficDecoding(*e).contains(reading))
            ++n;
    }
    return n;
}

TEST_P(HealthOnTheLine, CountsExactlyTheFaultsInjected)
{
    MonitorEngine &engine = form->engine();
    qint64 from = TrafficLog::shared().newest() + 1;
    const qsizetype bad = inject({SimFault::Kind::BadChecksum, 0}, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.health(1).badChecksums >= bad; }, 5000));
    EXPECT_EQ(logged(from, "bad checksum"), bad);

    from = TrafficLog::shared().newest() + 1;
    const qsizetype exceptions = inject({SimFault::Kind::Exception, 4}, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.health(1).exceptions >= exceptions; }, 5000));
    EXPECT_EQ(logged(from, "exception 04"), exceptions);

    from = TrafficLog::shared().newest() + 1;
    const qsizetype silent = inject({SimFault::Kind::Silent, 0}, 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.health(1).timeouts >= silent; }, 10000));
    EXPECT_EQ(logged(from, "time-out"), silent);

    // No more than injected, once the line is healthy again; and the health
    // line shows them at its next refresh.
    QTest::qWait(1200);
    const LinkHealth::Figures f = engine.health(1);
    EXPECT_EQ(f.badChecksums, bad);
    EXPECT_EQ(f.exceptions, exceptions);
    EXPECT_EQ(f.timeouts, silent);
    EXPECT_GT(f.requestsPerSecond, 0);
    EXPECT_GT(f.lineShare, 0);
    const QString text = form->slotWidgets(1).health->text();
    EXPECT_TRUE(text.endsWith(QStringLiteral("%1 time-outs, %2 bad checksums, %3 exceptions")
                                  .arg(silent)
                                  .arg(bad)
                                  .arg(exceptions)))
        << text.toStdString();
    EXPECT_TRUE(form->slotWidgets(1).health->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Framings, HealthOnTheLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace
