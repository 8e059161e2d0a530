// The address scan against simulated controllers at scattered addresses:
// who answers, with which model and firmware, how fast a cancel stops it,
// and that it only reads.
#include "app/comsettings.h"
#include "find/addressscan.h"
#include "find/findlogic.h"
#include "find/settingssearch.h"
#include "link/serialchannel.h"
#include "scripteddialogs.h"
#include "simoncom1.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <tuple>

namespace {

class ScanOnTheLine : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    std::unique_ptr<SimOnCom1> sim;
    SerialChannel channel;
    std::unique_ptr<AddressScan> scan;
    QStringList log;

    void SetUp() override
    {
        sim = std::make_unique<SimOnCom1>(
            MatchingLine(GetParam(), settings),
            QList<QPair<int, int>> {{3, 0x4824}, {17, 0x4848}, {120, 0x4896}, {247, 0x9696}});
        ASSERT_TRUE(sim->ok());
        QObject::connect(&sim->line, &SimLine::requestLogged,
                         [this](const QString &text) { log << text; });
        channel.openWith(settings.lineSettings());
        scan = std::make_unique<AddressScan>(channel, [this] { return settings.lineSettings(); });
        channel.setTriggerHandler(
            [this](quint16 msg, quint16 handle, quint16 data) { scan->take(msg, handle, data); });
    }
    void TearDown() override
    {
        scan.reset();
        channel.close();
        sim.reset();
    }
    bool run(int first, int last)
    {
        scan->start(first, last);
        return QTest::qWaitFor([&] { return !scan->running(); }, 20000);
    }
};

TEST_P(ScanOnTheLine, FindsTheControllersWithModelAndFirmware)
{
    ASSERT_TRUE(run(1, 20));
    ASSERT_EQ(scan->found().size(), 2);
    EXPECT_EQ(scan->found().at(0).address, 3);
    EXPECT_EQ(scan->found().at(0).modelCode, 0x4824);
    EXPECT_EQ(scan->found().at(1).address, 17);
    EXPECT_EQ(scan->found().at(1).modelCode, 0x4848);
    EXPECT_EQ(scan->found().at(1).firmware, sim->controller(17).value(0x472A));
    EXPECT_FALSE(scan->found().at(1).garbled);
    ASSERT_TRUE(run(118, 125));
    ASSERT_EQ(scan->found().size(), 1);
    EXPECT_EQ(scan->found().at(0).address, 120);
    ASSERT_TRUE(run(245, 247));
    ASSERT_EQ(scan->found().size(), 1);
    EXPECT_EQ(scan->found().at(0).address, 247);
    EXPECT_EQ(scan->found().at(0).modelCode, 0x9696);
    // Reads only: function 03 and nothing else.
    for (const QString &line : log)
        EXPECT_TRUE(line.contains(" fn 03 ")) << line.toStdString();
}

TEST_P(ScanOnTheLine, CancelStopsWithinOneReplyWindow)
{
    scan->start(1, 247);
    QTest::qWait(150);
    scan->cancel();
    EXPECT_FALSE(scan->running());
    const int asked = int(log.size());
    QTest::qWait(AddressScan::replyWindowMs(settings.lineSettings(), 4) + 50);
    EXPECT_LE(log.size(), asked + 1); // at most the request already on its way
}

TEST_P(ScanOnTheLine, TwoControllersOnOneAddressAreReportedAsSuch)
{
    ASSERT_TRUE(sim->line.addController(5, 0x4848));
    ASSERT_TRUE(sim->line.addController(5, 0x4824));
    ASSERT_TRUE(run(4, 6));
    ASSERT_EQ(scan->found().size(), 1);
    EXPECT_EQ(scan->found().at(0).address, 5);
    EXPECT_TRUE(scan->found().at(0).garbled);
}

TEST_P(ScanOnTheLine, AReplyAfterItsWindowCountsForItsOwnAddress)
{
    // Controller 3 answers 40 ms after its window; 4 is silent, 5 answers.
    ASSERT_TRUE(sim->line.addController(5, 0x4896));
    const int late = AddressScan::replyWindowMs(settings.lineSettings(), 4) + 40;
    sim->line.setFault(3, {SimFault::Kind::Delay, late});
    ASSERT_TRUE(run(2, 6));
    ASSERT_EQ(scan->found().size(), 2);
    EXPECT_EQ(scan->found().at(0).address, 3);
    EXPECT_EQ(scan->found().at(0).modelCode, 0x4824);
    EXPECT_FALSE(scan->found().at(0).garbled);
    EXPECT_EQ(scan->found().at(1).address, 5);
    EXPECT_FALSE(scan->found().at(1).garbled);
}

TEST_P(ScanOnTheLine, SlowControllersAreFoundAndInventNothing)
{
    // Controllers 3 and 4 answer 40 ms after their windows, 4 at the last
    // address of the range: each is found (its late reply confirmed by a
    // second read), and no empty address gets a row.
    ASSERT_TRUE(sim->line.addController(4, 0x4896));
    const int late = AddressScan::replyWindowMs(settings.lineSettings(), 4) + 40;
    sim->line.setFault(3, {SimFault::Kind::Delay, late});
    sim->line.setFault(4, {SimFault::Kind::Delay, late});
    ASSERT_TRUE(run(2, 4));
    ASSERT_EQ(scan->found().size(), 2);
    EXPECT_EQ(scan->found().at(0).address, 3);
    EXPECT_EQ(scan->found().at(1).address, 4);
    EXPECT_EQ(scan->found().at(1).modelCode, 0x4896);
    EXPECT_FALSE(scan->found().at(0).garbled);
    EXPECT_FALSE(scan->found().at(1).garbled);
}

TEST(AddressScanWindow, FollowsTheLineSpeedWithAMarginAControllerMeets)
{
    LineSettings s; // ASCII 9600 7E1: 10 bits a character
    // 17 + 27 + 3 characters of 1.04 ms, and 100 ms: 149 ms.
    EXPECT_EQ(AddressScan::replyWindowMs(s, 4), 149);
    EXPECT_EQ(AddressScan::replyWindowMs(s, 4, 30), 79);
    // 1..247 and two windows of listening after the last: 37.1 s.
    EXPECT_EQ(AddressScan::expectedScanMs(s, 1, 247), 36803 + 298);
    s.framing = ModbusMode::Rtu;
    s.baud = 38400;
    s.dataBits = 8; // 11 bits: 8 + 13 + 3 characters of 0.29 ms, and 100: 107 ms
    EXPECT_EQ(AddressScan::replyWindowMs(s, 4), 107);
    EXPECT_EQ(AddressScan::replyWindowMs(s, 4, 30), 37);
}

INSTANTIATE_TEST_SUITE_P(Framings, ScanOnTheLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace

namespace {

// The simulator runs RTU at 19200; the program is set to ASCII 9600.
TEST(LineCheckInTheWindow, NamesTheEchoOfAnRtuAdapterAndEachController)
{
    ScriptedDialogs dialogs;
    ComSettings settings;
    SimOnCom1 sim(MatchingLine(ModbusMode::Rtu, settings), {{1, 0x4848}, {3, 0x4824}});
    ASSERT_TRUE(sim.ok());
    sim.line.setPacing(true);
    sim.line.setWire({true, 16, 62, false, 0});
    SerialChannel channel;
    FindLogic find(channel, [&] { return settings.lineSettings(); });
    find.FormShow();
    find.CheckBtClick(1, 3);
    EXPECT_TRUE(find.view().running);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !find.view().running; }, 20000));
    const LineCheckResult &r = find.checkResult();
    ASSERT_EQ(r.findings.size(), 1);
    EXPECT_EQ(r.findings.at(0).kind, "echo");
    ASSERT_EQ(r.controllers.size(), 2);
    EXPECT_EQ(r.controllers.at(0).address, 1);
    EXPECT_EQ(r.controllers.at(1).address, 3);
    EXPECT_EQ(find.view().status, "Line check: the line is clean.");
    EXPECT_TRUE(find.view().checkText.startsWith("The line echoes: every request comes back"))
        << find.view().checkText.toStdString();
    find.FormClose();
}

TEST(SettingsSearchOnTheLine, FindsTheSettingTheControllersAnswerAt)
{
    ScriptedDialogs dialogs;
    SimLineSettings line;
    line.mode = ModbusMode::Rtu;
    line.baud = 19200;
    line.dataBits = 8;
    SimOnCom1 sim(line, {{2, 0x4848}});
    ASSERT_TRUE(sim.ok());
    QStringList heard;
    QObject::connect(&sim.line, &SimLine::requestLogged, [&](const QString &text) {
        if (text.contains(" fn "))
            heard << text;
    });
    SerialChannel channel;
    SettingsSearch search(channel);
    channel.setTriggerHandler(
        [&](quint16 msg, quint16 handle, quint16 data) { search.take(msg, handle, data); });
    LineSettings base; // ASCII 9600 7E1 on COM1
    search.start(base, 1, 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !search.running(); }, 30000));
    ASSERT_TRUE(search.succeeded());
    EXPECT_EQ(search.setting().baud, 19200u);
    EXPECT_EQ(search.setting().framing, ModbusMode::Rtu);
    ASSERT_EQ(search.found().size(), 1);
    EXPECT_EQ(search.found().at(0).address, 2);
    EXPECT_EQ(search.found().at(0).modelCode, 0x4848);
    // Heard only at its own setting, and only reads.
    for (const QString &text : heard)
        EXPECT_TRUE(text.contains(" fn 03 ")) << text.toStdString();
    channel.close();
}

TEST(SettingsSearchOrder, MostUsualSettingsFirst)
{
    const QList<LineSettings> c = SettingsSearch::Candidates(LineSettings());
    // Every setting the settings dialog can make, once: 5 rates, ASCII with
    // 3 parities x 2 data bits x 2 stop bits, RTU with 3 x 2.
    ASSERT_EQ(c.size(), 90);
    std::set<std::tuple<quint32, int, int, int, int>> distinct;
    for (const LineSettings &l : c)
        distinct.insert({l.baud, int(l.framing), l.dataBits, int(l.parity), l.stopBits});
    EXPECT_EQ(distinct.size(), 90u);
    EXPECT_EQ(c.at(0).baud, 9600u);
    EXPECT_EQ(c.at(0).framing, ModbusMode::Ascii);
    EXPECT_EQ(c.at(0).dataBits, 7);
    EXPECT_EQ(c.at(3).framing, ModbusMode::Rtu);
    EXPECT_EQ(c.at(3).dataBits, 8);
    EXPECT_EQ(c.at(6).baud, 19200u);
    EXPECT_EQ(c.at(29).baud, 2400u);
    // Then the rest, from ASCII 9600 7N1 on.
    EXPECT_EQ(c.at(30).baud, 9600u);
    EXPECT_EQ(c.at(30).dataBits, 7);
    EXPECT_EQ(c.at(30).parity, LineParity::None);
    EXPECT_EQ(c.at(30).stopBits, 1);
    EXPECT_EQ(c.last().baud, 2400u);
    EXPECT_EQ(c.last().framing, ModbusMode::Rtu);
    EXPECT_EQ(c.last().stopBits, 2);
}

} // namespace
