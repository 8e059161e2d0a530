#include "sim/simcontroller.h"
#include "sim/simregisters.h"

#include <gtest/gtest.h>

namespace {

QByteArray words(std::initializer_list<int> list)
{
    QByteArray out;
    for (int w : list) {
        out.append(char((w >> 8) & 0xFF));
        out.append(char(w & 0xFF));
    }
    return out;
}

SimController::Answer readRegs(SimController &c, int reg, int count)
{
    return c.handle(0x03, words({reg, count}));
}

SimController::Answer writeReg(SimController &c, int reg, int value, bool broadcast = false)
{
    return c.handle(0x06, words({reg, value}), broadcast);
}

int exceptionCode(const SimController::Answer &a)
{
    return (a.function & 0x80) ? static_cast<unsigned char>(a.data.at(0)) : 0;
}

// Runs the process for `seconds` in steps of 0.1 s.
void run(SimController &c, double seconds)
{
    for (int i = 0; i < int(seconds * 10); ++i)
        c.advance(0.1);
}

} // namespace

TEST(SimController, IdentificationRead)
{
    SimController c(1, 0x9696);
    const auto a = readRegs(c, 0x4744, 4);
    ASSERT_TRUE(a.reply);
    EXPECT_EQ(a.function, 0x03);
    EXPECT_EQ(a.data, QByteArray("\x08", 1) + words({0x2013, 0x4456, 0x9696, 0x0001}));
}

TEST(SimController, ReadExceptions)
{
    SimController c(1, 0x4848);
    const struct
    {
        int reg, count, code;
    } cases[] = {
        {0x4700, 0, 3}, {0x4700, 9, 3}, {0x4700, 8, 0}, {0x4739, 1, 2},
        {0x4736, 4, 2}, {0x0000, 1, 2}, {0x101C, 2, 0}, {0x101C, 3, 2},
        {0x47F8, 8, 0}, {0x47FF, 2, 2}, {0x4725, 7, 0}, {0x472E, 2, 0},
    };
    for (const auto &t : cases) {
        const auto a = readRegs(c, t.reg, t.count);
        EXPECT_TRUE(a.reply);
        EXPECT_EQ(exceptionCode(a), t.code) << std::hex << t.reg << " x" << t.count;
        if (t.code)
            EXPECT_EQ(a.function, 0x83);
        else
            EXPECT_EQ(a.data.size(), 1 + 2 * t.count);
    }
    // Wrong data lengths and unknown functions.
    EXPECT_EQ(exceptionCode(c.handle(0x03, words({0x4700}))), SimController::TooFewData);
    EXPECT_EQ(exceptionCode(c.handle(0x03, words({0x4700, 1, 1}))), SimController::TooManyData);
    const auto f10 = c.handle(0x10, words({0x4701, 1}));
    EXPECT_EQ(f10.function, 0x90);
    EXPECT_EQ(exceptionCode(f10), 1);
}

TEST(SimController, WriteIsEchoedAndStored)
{
    SimController c(1, 0x4848);
    const auto a = writeReg(c, 0x4701, 0x0457);
    EXPECT_TRUE(a.reply);
    EXPECT_EQ(a.function, 0x06);
    EXPECT_EQ(a.data, words({0x4701, 0x0457}));
    EXPECT_EQ(c.value(0x4701), 0x0457);
}

TEST(SimController, WritesRefused)
{
    const struct
    {
        int reg, value, code;
    } cases[] = {
        {0x4700, 100, 4}, // process value is read-only
        {0x4728, 0, 4}, // status
        {0x4745, 0, 4}, // identification
        {0x4746, 0x4824, 4}, {0x472B, 1, 4}, // program flag
        {0x4739, 1, 2}, // no such register
        {0x4720, 13, 3}, // alarm mode 13 does not exist
        {0x4720, 19, 3},     {0x4718, 18, 3}, // input type
        {0x471E, 2, 3}, // lock mode takes 0, 1 and 0x0B
        {0x4719, 4, 3}, // control mode
        {0x4726, 2, 3},      {0x472A, 0x0102, 3}, // only the key goes to 0x472A
        {0x4770, 100, 3}, // additional cycles 0 to 99
        {0x4781, 901, 3}, // step time up to 900 minutes
        {0x4778, 9, 3}, // next pattern 0 to 8
    };
    for (const auto &t : cases) {
        SimController c(1, 0x4848);
        const quint16 before = c.value(t.reg);
        const auto a = writeReg(c, t.reg, t.value);
        EXPECT_EQ(a.function, 0x86) << std::hex << t.reg;
        EXPECT_EQ(exceptionCode(a), t.code) << std::hex << t.reg;
        EXPECT_EQ(c.value(t.reg), before) << std::hex << t.reg;
    }
    SimController c(1, 0x4848);
    EXPECT_EQ(writeReg(c, 0x471E, 0x0B).function, 0x06);
    EXPECT_EQ(writeReg(c, 0x4720, 14).function, 0x06);
    EXPECT_EQ(writeReg(c, 0x4778, 8).function, 0x06);
}

TEST(SimController, OnlineConfigurationGatesEveryWrite)
{
    SimController c(1, 0x4848);
    EXPECT_EQ(c.value(0x4717) & 1, 1);
    EXPECT_EQ(writeReg(c, 0x4726, 0).function, 0x06);
    EXPECT_EQ(c.value(0x4717) & 1, 0);
    const auto refused = writeReg(c, 0x4701, 500);
    EXPECT_EQ(exceptionCode(refused), SimController::Refused);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x4717, 1)), SimController::Refused);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x472A, 0x5AC3)), SimController::Refused);
    EXPECT_EQ(c.value(0x4701), 1000);
    // Reads go on.
    EXPECT_EQ(readRegs(c, 0x4701, 1).function, 0x03);
    EXPECT_EQ(writeReg(c, 0x4726, 1).function, 0x06);
    EXPECT_EQ(c.value(0x4717) & 1, 1);
    EXPECT_EQ(writeReg(c, 0x4701, 500).function, 0x06);
    // 0x4717 drives 0x4726 too, and keeps its other bits.
    EXPECT_EQ(writeReg(c, 0x4717, 0x0006).function, 0x06);
    EXPECT_EQ(c.value(0x4726), 0);
    EXPECT_EQ(c.value(0x4717), 0x0006);
    EXPECT_EQ(writeReg(c, 0x4726, 1).function, 0x06);
    EXPECT_EQ(c.value(0x4717), 0x0007);
}

TEST(SimController, UnlockKeyMustBeTheVeryPreviousRequest)
{
    SimController c(1, 0x4848);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x4732, 7)), SimController::Refused);
    const auto key = writeReg(c, 0x472A, 0x5AC3);
    EXPECT_EQ(key.function, 0x06);
    EXPECT_EQ(key.data, words({0x472A, 0x5AC3}));
    EXPECT_EQ(c.value(0x472A), Sim::FirmwareVersion);
    EXPECT_EQ(writeReg(c, 0x4732, 7).function, 0x06);
    EXPECT_EQ(c.value(0x4732), 7);
    // The key opens one write only.
    EXPECT_EQ(exceptionCode(writeReg(c, 0x4733, 1)), SimController::Refused);
    // Any request in between closes it again.
    writeReg(c, 0x472A, 0x5AC3);
    readRegs(c, 0x4700, 1);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x4730, 1)), SimController::Refused);
    writeReg(c, 0x472A, 0x5AC3);
    writeReg(c, 0x4701, 300);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x4730, 1)), SimController::Refused);
    // A value the register does not take is refused even when unlocked.
    writeReg(c, 0x472A, 0x5AC3);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x4731, 3)), SimController::IllegalData);
}

TEST(SimController, RestoreAndClearCommands)
{
    SimController c(1, 0x4848);
    writeReg(c, 0x4701, 333);
    writeReg(c, 0x4780, 77);
    writeReg(c, 0x472A, 0x5AC3);
    writeReg(c, 0x4730, 2);
    // Without the key neither command runs.
    EXPECT_EQ(exceptionCode(writeReg(c, 0x474E, 0x5AC3)), SimController::Refused);
    EXPECT_EQ(c.value(0x4701), 333);
    writeReg(c, 0x472A, 0x5AC3);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x474E, 0x1234)), SimController::IllegalData);
    writeReg(c, 0x472A, 0x5AC3);
    EXPECT_EQ(writeReg(c, 0x474E, 0x5AC3).function, 0x06);
    EXPECT_EQ(c.value(0x4701), 1000);
    EXPECT_EQ(c.value(0x4780), 1000);
    // Restore leaves the factory fields alone.
    EXPECT_EQ(c.value(0x4730), 2);
    EXPECT_EQ(c.value(0x4733), 0xFFF4);

    EXPECT_EQ(exceptionCode(writeReg(c, 0x474F, 0x5AC3)), SimController::Refused);
    writeReg(c, 0x472A, 0x5AC3);
    EXPECT_EQ(writeReg(c, 0x474F, 0x5AC3).function, 0x06);
    for (int r = 0x4732; r <= 0x4738; ++r)
        EXPECT_EQ(c.value(r), 0) << std::hex << r;
    EXPECT_EQ(c.value(0x4701), 1000);
}

TEST(SimController, PidGroupRegistersMirror)
{
    SimController c(1, 0x4848);
    writeReg(c, 0x4756, 3);
    writeReg(c, 0x475F, 0xFFF6);
    EXPECT_EQ(c.value(0x101C), 3);
    EXPECT_EQ(c.value(0x101D), 0xFFF6);
    writeReg(c, 0x101C, 4);
    writeReg(c, 0x101D, 250);
    EXPECT_EQ(c.value(0x4756), 4);
    EXPECT_EQ(c.value(0x475F), 250);
    EXPECT_EQ(exceptionCode(writeReg(c, 0x101C, 5)), SimController::IllegalData);
}

TEST(SimController, BroadcastIsAppliedWithoutReply)
{
    SimController c(1, 0x4848);
    const auto a = writeReg(c, 0x4701, 420, true);
    EXPECT_FALSE(a.reply);
    EXPECT_EQ(c.value(0x4701), 420);
    EXPECT_FALSE(writeReg(c, 0x4700, 1, true).reply);
    EXPECT_FALSE(c.handle(0x03, words({0x4700, 1}), true).reply);
}

TEST(SimController, SetupChangeFlagIsReportedOnce)
{
    SimController c(1, 0x4848);
    EXPECT_EQ(c.value(0x4729) & 1, 1);
    c.set(0x4704, 5000); // as on the front panel
    EXPECT_EQ(c.value(0x4729) & 1, 0);
    const auto a = readRegs(c, 0x4725, 7);
    EXPECT_EQ(static_cast<unsigned char>(a.data.at(1 + 2 * 4 + 1)) & 1, 0);
    EXPECT_EQ(c.value(0x4729) & 1, 1);
}

TEST(SimController, PvStatusCode)
{
    SimController c(1, 0x4848);
    c.setPvStatus(3);
    EXPECT_EQ(readRegs(c, 0x4700, 1).data, QByteArray("\x02\x80\x03", 3));
    c.setPvStatus(std::nullopt);
    EXPECT_EQ(c.value(0x4700), 250);
}

TEST(SimController, EventInputs)
{
    SimController c(1, 0x4848);
    c.setEventInput(1, true);
    EXPECT_EQ(c.value(0x472D), 0x08);
    c.setEventInput(2, true);
    EXPECT_EQ(c.value(0x472D), 0x0C);
    c.setEventInput(1, false);
    EXPECT_EQ(c.value(0x472D), 0x04);
}

TEST(SimProcess, RunningFollowsTheSetValueWithALag)
{
    SimController c(1, 0x4848);
    c.advance(1.0);
    // Heating from 25.0 toward 100.0: output 1 on, output 2 off.
    EXPECT_GT(c.value(0x4702), 0);
    EXPECT_EQ(c.value(0x4703), 0);
    EXPECT_TRUE(c.value(0x4728) & 0x40);
    EXPECT_TRUE(c.value(0x4728) & 0x04); // degrees C
    // One time constant gets about 63 % of the way.
    run(c, SimController::ControlLagSeconds - 1.0);
    EXPECT_NEAR(static_cast<qint16>(c.value(0x4700)), 250 + 0.632 * 750, 10);
    run(c, 8 * SimController::ControlLagSeconds);
    EXPECT_NEAR(static_cast<qint16>(c.value(0x4700)), 1000, 2);
}

TEST(SimProcess, StoppedDriftsBackToRoomTemperature)
{
    SimController c(1, 0x4848);
    c.set(0x4700, 800);
    c.set(0x4723, 0);
    run(c, 10 * SimController::DriftLagSeconds);
    EXPECT_NEAR(static_cast<qint16>(c.value(0x4700)), 250, 2);
    EXPECT_EQ(c.value(0x4702), 0);
    EXPECT_FALSE(c.value(0x4728) & 0x60);
}

TEST(SimProcess, ManualModeFollowsTheOutputLevels)
{
    SimController c(1, 0x4848);
    writeReg(c, 0x4719, 2);
    writeReg(c, 0x4702, 250); // 25.0 %: 100 degrees above the room
    run(c, 10 * SimController::ControlLagSeconds);
    EXPECT_NEAR(static_cast<qint16>(c.value(0x4700)), 1250, 5);
    EXPECT_EQ(c.value(0x4702), 250);
    // Heating/cooling: output 2 cools.
    writeReg(c, 0x471A, 2);
    writeReg(c, 0x4702, 0);
    writeReg(c, 0x4703, 50);
    run(c, 10 * SimController::ControlLagSeconds);
    EXPECT_NEAR(static_cast<qint16>(c.value(0x4700)), 250 - 200, 5);
}

TEST(SimProcess, CoolingUsesOutputOne)
{
    SimController c(1, 0x4848);
    writeReg(c, 0x471A, 1);
    writeReg(c, 0x4701, 100); // 10.0, below the room
    c.advance(1.0);
    EXPECT_GT(c.value(0x4702), 0);
    EXPECT_EQ(c.value(0x4703), 0);
}

TEST(SimProcess, AlarmModes)
{
    // Process value held at 25.0 by stopping the controller; set value 100.0.
    const struct
    {
        int mode, high, low;
        bool on;
    } cases[] = {
        {0, 0, 0, false},     {1, 10, 10, true},   {1, 10, 800, false}, {2, 10, 10, false},
        {3, 10, 10, true},    {3, 10, 800, false}, {4, 10, 800, true},  {5, 400, 300, true},
        {5, 400, 200, false}, {6, 200, 0, true},   {6, 300, 0, false},  {7, 0, 300, true},
        {7, 0, 200, false},   {10, 10, 10, false}, {12, 10, 750, true}, {18, 0, 0, false},
    };
    for (const auto &t : cases) {
        SimController c(1, 0x4848);
        c.set(0x4723, 0);
        c.set(0x4706, t.high);
        c.set(0x4707, t.low);
        c.set(0x4720, t.mode);
        c.advance(0.1);
        EXPECT_EQ(bool(c.value(0x4728) & 0x10), t.on)
            << "mode " << t.mode << " high " << t.high << " low " << t.low;
    }
    // Alarms 2 and 3 light bits 1 and 0.
    SimController c(1, 0x4848);
    c.set(0x4723, 0);
    c.set(0x4721, 7);
    c.set(0x4709, 300);
    c.set(0x4722, 6);
    c.set(0x470A, 100);
    c.advance(0.1);
    EXPECT_EQ(c.value(0x4728) & 0x13, 0x03);
}

TEST(SimProcess, StandbyAlarmWaitsUntilTheValueWasInside)
{
    SimController c(1, 0x4848);
    c.set(0x4720, 9); // standby upper limit, 4.0 above SV
    c.set(0x4701, 300);
    c.set(0x4700, 800); // starts far above: no alarm yet
    c.advance(0.1);
    EXPECT_FALSE(c.value(0x4728) & 0x10);
    run(c, 10 * SimController::ControlLagSeconds);
    c.set(0x4701, 100); // now it runs away above the band
    c.advance(0.1);
    EXPECT_TRUE(c.value(0x4728) & 0x10);
}

TEST(SimProcess, AutoTuningEnds)
{
    SimController c(1, 0x4848);
    writeReg(c, 0x4727, 1);
    c.advance(0.1);
    EXPECT_TRUE(c.value(0x4728) & 0x80);
    run(c, SimController::AutoTuningSeconds + 1);
    EXPECT_EQ(c.value(0x4727), 0);
    EXPECT_FALSE(c.value(0x4728) & 0x80);
}

TEST(SimProcess, RampSoakProgramRunsThroughPatterns)
{
    SimController c(1, 0x4848);
    // Pattern 0: steps 0 and 1 (1 minute each), repeated once, then pattern 2
    // (one step of 2 minutes), then the end.
    writeReg(c, 0x4767, 0);
    writeReg(c, 0x4768, 1);
    writeReg(c, 0x4770, 1);
    writeReg(c, 0x4778, 2);
    writeReg(c, 0x4780, 450); // step 0: 45.0 in 1 min
    writeReg(c, 0x4781, 1);
    writeReg(c, 0x4782, 450); // step 1: soak 1 min
    writeReg(c, 0x4783, 1);
    writeReg(c, 0x476A, 0);
    writeReg(c, 0x477A, 8);
    writeReg(c, 0x4780 + 2 * 16, 0xFF9C); // pattern 2 step 0: -10.0 in 2 min
    writeReg(c, 0x4781 + 2 * 16, 2);
    writeReg(c, 0x4719, 3);
    c.advance(0.1);
    EXPECT_EQ(c.value(0x472B), 1);
    EXPECT_EQ(c.value(0x4766), 0);
    EXPECT_EQ(c.value(0x4765), 0);
    EXPECT_EQ(c.value(0x4764), 1); // 59.9 s left, counted up
    EXPECT_NEAR(c.value(0x4763), 60, 1);
    run(c, 30);
    // Half way up the ramp from 25.0 to 45.0.
    EXPECT_NEAR(static_cast<qint16>(c.value(0x4701)), 350, 3);
    run(c, 40); // 70 s: soaking in step 1
    EXPECT_EQ(c.value(0x4765), 1);
    EXPECT_EQ(c.value(0x4701), 450);
    run(c, 60); // 130 s: second cycle of pattern 0
    EXPECT_EQ(c.value(0x4766), 0);
    EXPECT_EQ(c.value(0x4765), 0);
    run(c, 120); // 250 s: pattern 2, ramping down
    EXPECT_EQ(c.value(0x4766), 2);
    EXPECT_LT(static_cast<qint16>(c.value(0x4701)), 450);
    // Hold freezes the program.
    writeReg(c, 0x4723, 3);
    const quint16 held = c.value(0x4701);
    run(c, 60);
    EXPECT_EQ(c.value(0x4701), held);
    EXPECT_EQ(c.value(0x472B), 1);
    writeReg(c, 0x4723, 1);
    run(c, 120); // past the end
    EXPECT_EQ(c.value(0x472B), 0);
    EXPECT_EQ(c.value(0x4701), 0xFF9C);
    // Completion alarm.
    writeReg(c, 0x4720, 14);
    c.advance(0.1);
    EXPECT_TRUE(c.value(0x4728) & 0x10);
    // Stopping resets the program; running again restarts it.
    writeReg(c, 0x4723, 0);
    c.advance(0.1);
    writeReg(c, 0x4723, 1);
    c.advance(0.1);
    EXPECT_EQ(c.value(0x472B), 1);
    EXPECT_EQ(c.value(0x4766), 0);
}

TEST(SimProcess, ProgramOfZeroTimesGoesRoundWithoutEnd)
{
    // A loop that holds no time never ends: the program holds the value it
    // started from.
    SimController c(1, 0x4848);
    for (int p = 0; p < 8; ++p)
        writeReg(c, 0x4778 + p, p); // every pattern loops to itself
    for (int k = 0; k < 64; ++k)
        writeReg(c, 0x4781 + 2 * k, 0);
    writeReg(c, 0x4719, 3);
    c.advance(0.1);
    run(c, 5);
    EXPECT_EQ(c.value(0x472B), 1);
    EXPECT_EQ(c.value(0x4701), 250);
}
