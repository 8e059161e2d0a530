// Every window's main path through a network line, a serial device server
// (ASCII) and a Modbus TCP gateway, against the simulator on the loopback
// address: the console's frames, four controllers polled, write-all and a
// program write, a recording and an address scan.
#include "console/consolelogic.h"
#include "find/addressscan.h"
#include "link/serialchannel.h"
#include "monitor/monitorengine.h"
#include "recorder/acquisition.h"
#include "scripteddialogs.h"
#include "simonnetwork.h"

#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ThroughTheNetwork : public ::testing::TestWithParam<LineKind>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnNetwork> sim;
    SerialChannel channel;
    QStringList heard; // the simulator's log of requests

    void SetUp() override
    {
        sim = std::make_unique<SimOnNetwork>(
            GetParam(), ModbusMode::Ascii, settings,
            QList<QPair<int, int>> {{1, 0x4824}, {2, 0x4848}, {3, 0x4896}, {4, 0x9696}});
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged,
                         [this](const QString &text) { heard << text; });
    }
    void TearDown() override
    {
        channel.close();
        sim.reset();
    }
    bool gateway() const { return GetParam() == LineKind::Gateway; }
};

TEST_P(ThroughTheNetwork, ConsoleSendsAndShowsTheLinesFrames)
{
    ConsoleLogic console(channel, [this] { return settings.lineSettings(); });
    console.open();
    console.setAddress("1");
    console.SCmdBoxSelect(int(ConsoleCommand::ReadRegister));
    console.setFunc("4744");
    console.setDataLen("4");
    EXPECT_EQ(console.view().sendText, gateway() ? "01034744000410A8" : ":0103474400046D");
    console.SendBtClick(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.waitingReply(); }, 3000));
    // Identification of a 4824: 2013 4456 4824 0001.
    EXPECT_EQ(console.view().received,
              gateway() ? "0103082013445648240001642D" : ":0103082013445648240001BA");
    console.SExitBtClick();
}

TEST_P(ThroughTheNetwork, FourControllersArePolledAndWritesReachThem)
{
    MonitorEngine engine(channel, [this] { return settings.lineSettings(); });
    engine.FormShow();
    ASSERT_TRUE(channel.isOpen());
    for (int n = 1; n <= 4; ++n) {
        engine.setComAddr(n, n);
        engine.ConnectSlot(n);
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (int n = 1; n <= 4; ++n)
                if (engine.state().at(n).DeviceModel == 0 || engine.state().at(n).RequestCount < 5)
                    return false;
            return true;
        },
        10000));
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(engine.state().at(n).DeviceModel, n) << n; // 4824 .. 9696: classes 1 .. 4
        EXPECT_EQ(engine.state().at(n).ErrorCount, 0) << n;
        EXPECT_FALSE(engine.view().at(n).lost) << n;
    }

    // Write-all to controller 1, then the program write.
    bool written = false;
    engine.hooks.writeAllEnded = [&](const BatchWriteReport &r) { written = r.complete; };
    ASSERT_TRUE(engine.startWriteAll({{0x4701, 555}}, false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return written; }, 5000));
    EXPECT_EQ(sim->controller(1).value(0x4701), 555);
    // A gateway passes no broadcast on.
    EXPECT_EQ(engine.startWriteAll({{0x4701, 556}}, true), !gateway());
    written = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return gateway() || written; }, 5000));

    bool programWritten = false;
    engine.hooks.programWriteEnded = [&](const BatchWriteReport &r) { programWritten = r.complete; };
    ASSERT_TRUE(engine.startProgramWrite({{0x4780 + 2 * 21, 321}, {0x4781 + 2 * 21, 15}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return programWritten; }, 5000));
    EXPECT_EQ(sim->controller(1).value(0x4780 + 2 * 21), 321);
    EXPECT_EQ(sim->controller(1).value(0x4781 + 2 * 21), 15);
    EXPECT_TRUE(dialogs.shown.isEmpty()) << qPrintable(dialogs.texts().join('\n'));
    engine.FormClose();
}

TEST_P(ThroughTheNetwork, TheRecorderRecordsAndTheScanFinds)
{
    Recorder::Data data;
    {
        RecorderAcquisition rec(channel, [this] { return settings.lineSettings(); }, data);
        rec.FormShow();
        rec.setComAddr(0, 2);
        rec.setComAddr(3, 4);
        rec.StartBtClick();
        ASSERT_TRUE(rec.recording());
        for (int scan = 1; scan <= 2; ++scan) {
            rec.Timer1Timer();
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return rec.scanCounter() == scan && !rec.requestOutstanding(); }, 5000));
        }
        EXPECT_FALSE(data.device[0].failed);
        EXPECT_FALSE(data.device[3].failed);
        rec.FormClose();
    }
    QStringList asked;
    for (const QString &line : std::as_const(heard))
        if (line.contains("fn 03 reg 4700"))
            asked << line.mid(line.indexOf("addr"), 7);
    EXPECT_EQ(asked, QStringList({"addr 02", "addr 04", "addr 02", "addr 04"}));
    channel.close();

    channel.openWith(settings.lineSettings());
    AddressScan scan(channel, [this] { return settings.lineSettings(); });
    channel.setTriggerHandler(
        [&](quint16 msg, quint16 handle, quint16 d) { scan.take(msg, handle, d); });
    scan.start(1, 6);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !scan.running(); }, 20000));
    ASSERT_EQ(scan.found().size(), 4);
    EXPECT_EQ(scan.found().at(2).address, 3);
    EXPECT_EQ(scan.found().at(2).modelCode, 0x4896);
}

TEST_P(ThroughTheNetwork, ADroppedConnectionIsSaidOnceAndPollingResumesByItself)
{
    MonitorEngine engine(channel, [this] { return settings.lineSettings(); });
    engine.FormShow();
    engine.setComAddr(1, 1);
    engine.setComAddr(2, 2);
    engine.ConnectSlot(1);
    engine.ConnectSlot(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.state().at(2).RequestCount > 3; }, 5000));

    sim->server.dropClient();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.view().at(1).lost; }, 3000));
    EXPECT_TRUE(engine.view().at(2).lost);
    // While the line is away, nothing else is said.
    QTest::qWait(300);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.shown.isEmpty(); }, 1000));
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown.at(0).text.startsWith(
        QStringLiteral("The connection to 127.0.0.1:%1 was lost: ").arg(sim->server.port())))
        << qPrintable(dialogs.shown.at(0).text);

    // Back after the first pause: both slots polled again, none given up.
    const int before = engine.state().at(2).RequestCount;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !engine.view().at(1).lost && !engine.view().at(2).lost &&
                engine.state().at(2).RequestCount > before + 3;
        },
        5000));
    EXPECT_TRUE(engine.state().at(1).DeviceRequested);
    EXPECT_TRUE(engine.state().at(2).DeviceRequested);
    EXPECT_EQ(dialogs.shown.size(), 1);
    engine.FormClose();
}

INSTANTIATE_TEST_SUITE_P(Kinds, ThroughTheNetwork,
                         ::testing::Values(LineKind::DeviceServer, LineKind::Gateway),
                         [](const auto &info) {
                             return info.param == LineKind::Gateway ? "Gateway" : "DeviceServer";
                         });

} // namespace
