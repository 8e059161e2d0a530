// The address scan against simulated controllers at scattered addresses:
// who answers, with which model and firmware, how fast a cancel stops it,
// and that it only reads.
#include "app/comsettings.h"
#include "find/addressscan.h"
#include "link/serialchannel.h"
#include "scripteddialogs.h"
#include "simoncom1.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

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

TEST(AddressScanWindow, FollowsTheLineSpeed)
{
    LineSettings s; // ASCII 9600 7E1: 10 bits a character
    // 17 + 27 + 3 characters of 1.04 ms, and 20 ms: 69 ms.
    EXPECT_EQ(AddressScan::replyWindowMs(s, 4), 69);
    s.framing = ModbusMode::Rtu;
    s.baud = 38400;
    s.dataBits = 8; // 11 bits: 8 + 13 + 3 characters of 0.29 ms, and 20: under the floor
    EXPECT_EQ(AddressScan::replyWindowMs(s, 4), AddressScan::MinimumWindowMs);
}

INSTANTIATE_TEST_SUITE_P(Framings, ScanOnTheLine,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace
