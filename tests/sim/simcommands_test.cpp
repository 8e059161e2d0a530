#include "sim/simcommands.h"
#include "sim/simline.h"

#include <gtest/gtest.h>

class SimCommandsTest : public ::testing::Test
{
protected:
    SimCommandsTest()
        : line(SimLineSettings())
        , commands(line)
    {
        line.addController(1, 0x4848);
        line.addController(7, 0x4824);
    }
    SimLine line;
    SimCommands commands;
};

TEST_F(SimCommandsTest, Answers)
{
    const struct
    {
        const char *command;
        const char *answer;
    } cases[] = {
        {"get 1 0x4745", "ok 17494"},
        {"get 7 18246", "ok 18468"},
        {"set 1 0x4701 0x1F4", "ok"},
        {"get 1 0x4701", "ok 500"},
        {"set 1 0x4701 -5", "ok"},
        {"get 1 0x4701", "ok 65531"},
        {"set 1 0x4700 777", "ok"}, // read-only on the line, settable here
        {"get 1 0x4700", "ok 777"},
        {"  get   1   0x4701  ", "ok 65531"},
        {"", ""},
        {"# a comment", ""},
        {"get 2 0x4700", "error: no controller at address 2"},
        {"get 1 0x4739", "error: no register 0x4739"},
        {"get x 0x4700", "error: no controller at address x"},
        {"set 1 0x4701 70000", "error: value out of 16 bits: 70000"},
        {"set 1 0x4701", "error: usage: set ADDR REG VALUE"},
        {"fault 1 badcrc", "ok"},
        {"fault 1 delay 250", "ok"},
        {"fault 1 delay",
         "error: usage: fault ADDR none|silent|badcrc|wrongaddr|split|delay MS|exception CODE"},
        {"fault 1 exception 0", "error: exception code must be 1 to 255: 0"},
        {"fault 1 exception 0x0B", "ok"},
        {"fault 1 melt",
         "error: usage: fault ADDR none|silent|badcrc|wrongaddr|split|delay MS|exception CODE"},
        {"pvstatus 1 4", "ok"},
        {"get 1 0x4700", "ok 32772"},
        {"pvstatus 1 off", "ok"},
        {"pvstatus 1 16", "error: status code must be 0 to 15: 16"},
        {"event 1 2 on", "ok"},
        {"get 1 0x472D", "ok 4"},
        {"event 1 3 on", "error: usage: event ADDR 1|2 on|off"},
        {"move 2 9", "error: no controller at address 2"},
        {"move 7 248", "error: address must be 1 to 247: 248"},
        {"move 7 0", "error: address must be 1 to 247: 0"},
        {"move 7", "error: usage: move OLD NEW"},
        {"move 7 1", "ok"},
        {"get 7 0x4746", "error: no controller at address 7"},
        {"get 1 0x4746", "ok 18504"}, // the first at 1 answers
        {"unplug", "ok"},
        {"replug", "ok"},
        {"explode", "error: unknown command explode"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(commands.execute(QString::fromLatin1(c.command)), QString::fromLatin1(c.answer))
            << c.command;
    EXPECT_FALSE(commands.quitRequested());
    EXPECT_EQ(commands.execute("quit"), "ok");
    EXPECT_TRUE(commands.quitRequested());
}

TEST_F(SimCommandsTest, FaultsAndPlugReachTheLine)
{
    commands.execute("fault 7 split");
    EXPECT_EQ(line.fault(7).kind, SimFault::Kind::Split);
    EXPECT_EQ(line.fault(1).kind, SimFault::Kind::None);
    commands.execute("fault 7 exception 3");
    EXPECT_EQ(line.fault(7).kind, SimFault::Kind::Exception);
    EXPECT_EQ(line.fault(7).value, 3);
    commands.execute("fault 7 none");
    EXPECT_EQ(line.fault(7).kind, SimFault::Kind::None);
    commands.execute("unplug");
    EXPECT_FALSE(line.plugged());
    commands.execute("replug");
    EXPECT_TRUE(line.plugged());
}
