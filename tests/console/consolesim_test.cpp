// The console against the controller simulator, in both framings.
#include "comsettings.h"
#include "consolelogic.h"
#include "hexcodec.h"
#include "requests.h"
#include "scripteddialogs.h"
#include "serialchannel.h"
#include "simoncom1.h"

#include <QDir>
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
    ConsoleLogic console {channel, settings};
    QStringList log;

    void SetUp() override
    {
        sim = std::make_unique<SimOnCom1>(MatchingLine(GetParam(), settings),
                                          QList<QPair<int, int>> {{1, 0x4848}});
        ASSERT_TRUE(sim->ok());
        line = &sim->line;
        QObject::connect(line, &SimLine::requestLogged, [this](const QString &l) { log << l; });
        channel.OnTrigger = [this](SerialChannel &, quint16 msg, quint16 h, quint16 data) {
            console.ApdComPort1Trigger(msg, h, data);
        };
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
    // The controller's own reply, as the console shows it.
    const int pv = line->controller(1)->value(0x4700);
    QByteArray body = ":010302" + ByteToHex(pv >> 8) + ByteToHex(pv);
    const QByteArray ascii = FinishAsciiFrame(body);
    const QString expected = rtu() ? QString::fromLatin1(AsciiFrameToRtu(ascii).toHex().toUpper())
                                   : QString::fromLatin1(ascii.chopped(2));
    // The process value may move between the reply and this check; compare
    // the frame's shape and the value within a few tenths.
    ASSERT_EQ(console.view().received.size(), expected.size())
        << console.view().received.toStdString();
    EXPECT_EQ(console.view().received.left(rtu() ? 6 : 7), expected.left(rtu() ? 6 : 7));
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
    // In RTU every exchange lasts the whole reply window (about a second), so
    // the tick that falls inside it is skipped.
    EXPECT_GE(log.size(), rtu() ? 2 : 3);
    EXPECT_LE(log.size(), 5);
    EXPECT_FALSE(console.view().received.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(BothFramings, ConsoleSim,
                         ::testing::Values(ModbusMode::Ascii, ModbusMode::Rtu),
                         [](const auto &info) {
                             return info.param == ModbusMode::Ascii ? "Ascii" : "Rtu";
                         });

} // namespace
