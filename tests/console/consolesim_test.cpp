// The console against the controller simulator, in both framings.
#include "app/comsettings.h"
#include "console/consolelogic.h"
#include "link/framing.h"
#include "link/hexcodec.h"
#include "link/serialchannel.h"
#include "scripteddialogs.h"
#include "simoncom1.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class ConsoleSim : public ::testing::TestWithParam<ModbusMode>
{
protected:
    ScriptedDialogs dialogs;
    ComSettings settings;
    SerialChannel channel;
    std::unique_ptr<SimOnCom1> sim;
    SimLine *line = nullptr;
    ConsoleLogic console {channel, [this] { return settings.lineSettings(); }};
    QStringList log;

    void SetUp() override
    {
        sim = std::make_unique<SimOnCom1>(MatchingLine(GetParam(), settings),
                                          QList<QPair<int, int>> {{1, 0x4848}});
        ASSERT_TRUE(sim->ok());
        line = &sim->line;
        QObject::connect(line, &SimLine::requestLogged, [this](const QString &l) { log << l; });
        console.open();
        ASSERT_TRUE(channel.Open());
        console.setAddress("1");
        console.SCmdBoxSelect(int(ConsoleCommand::ReadRegister));
        console.setFunc("4700");
        console.setDataLen("1");
    }
    void TearDown() override
    {
        console.SExitBtClick();
        sim.reset();
    }
    bool rtu() const { return GetParam() == ModbusMode::Rtu; }
};

TEST_P(ConsoleSim, ReadOfTheProcessValueShowsTheControllersReply)
{
    EXPECT_EQ(console.view().sendText, rtu() ? "01034700000190BE" : ":010347000001B4");
    console.SendBtClick(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.waitingReply(); }, 3000));
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log.at(0).contains("addr 01 fn 03 reg 4700 count 1")) << log.at(0).toStdString();
    // The controller's own reply, as the console shows it: a read of one
    // word, whose value moves with the process.
    const QRegularExpression shape(rtu() ? "^010302[0-9A-F]{8}$" : "^:010302[0-9A-F]{6}$");
    EXPECT_TRUE(shape.match(console.view().received).hasMatch())
        << console.view().received.toStdString();
}

TEST_P(ConsoleSim, SilentControllerGivesTimeOut)
{
    line->setFault(1, {SimFault::Kind::Silent, 0});
    console.SendBtClick(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !console.waitingReply(); }, 3000));
    EXPECT_EQ(console.view().received, "Time out");
}

TEST_P(ConsoleSim, RepeatPollsEverySecondThatIsNotWaiting)
{
    console.SendBtClick(true);
    QTest::qWait(3300);
    console.SendBtClick(true);
    EXPECT_GE(log.size(), 3);
    EXPECT_LE(log.size(), 5);
    EXPECT_FALSE(console.view().received.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(BothFramings, ConsoleSim,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace
