// Two setups compared as the compare window lists them: which entries count
// under the control mode, and the values as the setup view shows them.
#include "setup/setupcompare.h"

#include <gtest/gtest.h>

namespace {

// A controller's setup: K-type input, one decimal, PID control.
ParameterImage controller()
{
    ParameterImage e;
    e[0] = 0x4848;
    e[1] = 1000; // SV 100.0
    e[2] = 0;
    e[4] = 13000; // range high 1300.0
    e[5] = 0xF830; // range low -200.0
    e[24] = 0; // K-type
    e[25] = 0; // PID
    e[30] = 0; // unlocked
    e[32] = 2; // alarm 1: upper limit
    e[37] = 1;
    return e;
}

TEST(SetupCompare, ADecimalPointOutOfItsRangeIsSaidNotPadded)
{
    const ParameterImage a = controller();
    ParameterImage b = controller();
    b[37] = 0xFFFF; // a damaged image's decimal point position
    const QList<ParameterDifference> d =
        SetupCompare::Compare(a, b, SetupCompare::ComparedEntries(a));
    ASSERT_FALSE(d.isEmpty());
    // The position's own row names it; a scaled value shows the register.
    bool pointRow = false;
    for (const ParameterDifference &x : d) {
        EXPECT_LT(x.second.size(), 40) << x.code.toStdString();
        if (x.reg == 0x4725) {
            pointRow = true;
            EXPECT_EQ(x.second, "65535 (out of its range 0 to 3)");
        }
        if (x.reg == 0x4704) {
            EXPECT_EQ(x.second, "13000 (decimal point 65535?)");
        }
    }
    EXPECT_TRUE(pointRow);
}

TEST(SetupCompare, ListsTheDifferencesAsTheViewShowsThem)
{
    const ParameterImage a = controller();
    ParameterImage b = controller();
    b[4] = 12005; // a scaled value
    b[32] = 5; // a list entry
    b[30] = 0x000B; // the lock's third item
    b[2] = 500; // output 1 level: written only in manual control
    b[252] = 9; // firmware: never compared
    const QList<int> pid = SetupCompare::ComparedEntries(b);
    EXPECT_EQ(pid.size(), 37);
    EXPECT_FALSE(pid.contains(2));
    EXPECT_FALSE(pid.contains(0));
    const CompareReport r = SetupCompare::Report(
        QStringLiteral("Controller 1 (address 1) against A.par"), QStringLiteral("Controller"),
        QStringLiteral("A.par"), SetupCompare::Compare(a, b, pid), int(pid.size()));
    EXPECT_EQ(r.summary, "3 parameters differ");
    ASSERT_EQ(r.rows.size(), 3);
    EXPECT_EQ(r.rows.at(0),
              (QStringList {"P2-10", "Lock Mode", "0x471E", "Unlocked", "SV change only"}));
    EXPECT_EQ(r.rows.at(1),
              (QStringList {"P3-8", "Alarm1", "0x4720", "2 Upper Limit",
                            "5 Absolute Upper/Lower Limit"}));
    EXPECT_EQ(r.rows.at(2), (QStringList {"P3-3", "Range High", "0x4704", "1300.0", "1200.5"}));

    // In manual control the output levels are written, so compared; the set
    // value is not, in program control.
    b[25] = 2;
    const QList<ParameterDifference> manual =
        SetupCompare::Compare(a, b, SetupCompare::ComparedEntries(b));
    ASSERT_EQ(manual.size(), 5); // the control mode itself differs too
    EXPECT_EQ(manual.at(3).code, "P2-11");
    EXPECT_EQ(manual.at(3).first, "0.0");
    EXPECT_EQ(manual.at(3).second, "50.0");
    b[25] = 3;
    b[1] = 2000;
    EXPECT_FALSE(SetupCompare::ComparedEntries(b).contains(1));

    EXPECT_EQ(SetupCompare::ToText(r).section(QLatin1Char('\n'), 0, 3),
              "Controller 1 (address 1) against A.par\n3 parameters differ\n"
              "Code\tParameter\tRegister\tController\tA.par\n"
              "P2-10\tLock Mode\t0x471E\tUnlocked\tSV change only");
    EXPECT_EQ(SetupCompare::ToCsv(r).section(QStringLiteral("\r\n"), 0, 1),
              "Code,Parameter,Register,Controller,A.par\r\n"
              "P2-10,Lock Mode,0x471E,Unlocked,SV change only");
}

TEST(SetupCompare, IdenticalAndVerifiedSummaries)
{
    const QList<int> entries = SetupCompare::ComparedEntries(controller());
    EXPECT_EQ(SetupCompare::Report({}, {}, {}, {}, 37).summary, "Identical");
    EXPECT_EQ(SetupCompare::Report({}, {}, {}, {}, 37, true).summary,
              "Verified: all 37 parameters match");
    ParameterImage b = controller();
    b[13] = 300;
    EXPECT_EQ(
        SetupCompare::Report({}, {}, {}, SetupCompare::Compare(controller(), b, entries), 37, true)
            .summary,
        "Not verified: 1 of 37 parameters differ");
}

} // namespace
