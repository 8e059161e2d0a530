// The setup view's display procedure and entry rules over parameter images,
// with the engine replaced by a recorded list of what the view asked for.
#include "scripteddialogs.h"
#include "setup/setupview.h"

#include <gtest/gtest.h>

namespace {

using F = SetupField;
using B = SetupBox;

struct Write
{
    int address, reg, value;
    bool unlock;
    bool operator==(const Write &) const = default;
};

class SetupViewTest : public ::testing::Test
{
protected:
    ParameterImage image;
    SetupViewContext ctx;
    QList<Write> writes;
    int rereads = 0;
    int outputModeReads = 0;
    QList<bool> debug;
    SetupViewLogic view {image, [this] { return ctx; }, actions()};

    SetupViewTest()
    {
        ctx.address = 7;
        ctx.connected = 1;
        ctx.onlineConfig = true;
        ctx.decimals = 1;
        ctx.setupViewPending = true;
        image[24] = 0; // K-Type
        image[26] = 0; // heating
        image[13] = 260; // KI
    }

    SetupViewActions actions()
    {
        SetupViewActions a;
        a.write = [this](int address, int reg, int value, bool unlock) {
            writes.append({address, reg, value, unlock});
        };
        a.reread = [this] { ++rereads; };
        a.readOutputMode = [this] { ++outputModeReads; };
        a.showDebug = [this](bool on) { debug.append(on); };
        return a;
    }

    // A whole setup read: step 6 (editing from the on-line flag), 11 (the
    // display) and the cycle's end, which shows the view the first time.
    void read(int controlMode = 0)
    {
        view.applySetupStep(6, {0, 0, 0, 0, 1, 0, quint16(controlMode), 0});
        view.applySetupStep(11, {0, 0});
        view.endSetupCycle();
        ctx.setupViewPending = false;
    }
    const SetupControlState &at(F f) const { return view.model().at(f); }
    bool shown(B b) const { return view.model().at(b).visible; }
    void enter(F f, const QString &text) { view.OnKeyPress(f, QLatin1Char('\r'), text); }
};

TEST_F(SetupViewTest, FormatsLimitsOffsetsCoefficientAndFirmwareVersion)
{
    image[4] = 65536 - 1236; // -123.6
    image[5] = 65536 - 125; // -12.5
    image[6] = 65536 - 15; // -1.5
    image[7] = 0x8000; // shown as +3276.8
    image[15] = 123; // I offset
    image[16] = 7; // PD offset
    image[17] = 150;
    image[252] = 1;
    image[253] = 10;
    image[21] = 65535; // analog adjustments, signed
    image[22] = 32768;
    read();
    EXPECT_EQ(at(F::UpLimit).text, "-123.6");
    EXPECT_EQ(at(F::DnLimit).text, "- 12.5");
    EXPECT_EQ(at(F::UpLimit1).text, "-  1.5");
    EXPECT_EQ(at(F::DnLimit1).text, "3276.8");
    EXPECT_EQ(at(F::SumOffs).text, "12.3");
    EXPECT_EQ(at(F::PDOffs).text, "0.7");
    EXPECT_EQ(at(F::Coeff).text, "1.50");
    EXPECT_EQ(view.model().fwCaption, "Firmware Version 1.0A");
    EXPECT_EQ(at(F::CurrHi).text, "-1");
    EXPECT_EQ(at(F::CurrLo).text, "32768");
    image[17] = 105;
    read();
    EXPECT_EQ(at(F::Coeff).text, "1.05");
}

TEST_F(SetupViewTest, DeadBandAndValuesFollowTheDecimalsCopiedAtStepEleven)
{
    image[18] = 25;
    image[1] = 1000;
    ctx.decimals = 0;
    read();
    EXPECT_EQ(at(F::DeadBand1).text, "2");
    EXPECT_EQ(at(F::DeadBand2).text, "2");
    EXPECT_EQ(at(F::SetV).text, "100"); // whole degrees, rounded
    // A later poll's decimals do not reach the display until the next read.
    ctx.decimals = 1;
    view.DisplayParameters();
    EXPECT_EQ(at(F::DeadBand1).text, "2");
    read();
    EXPECT_EQ(at(F::DeadBand1).text, "2.5");
    EXPECT_EQ(at(F::SetV).text, "100.0");
    // A linear input is scaled by the decimals alone, from its first display.
    image[24] = 13;
    ctx.decimals = 0;
    read();
    EXPECT_EQ(at(F::SetV).text, "1000");
    EXPECT_TRUE(view.linearInput());
}

TEST_F(SetupViewTest, ControlModeDecidesBoxesSetValueAndAutoTuningRow)
{
    struct Case
    {
        int mode;
        bool pid, onOff, manual, setV, progDisp, at;
    };
    const Case cases[] = {
        {1, false, true, false, true, false, false},
        {2, false, false, true, true, false, false},
        {3, true, false, false, false, true, false},
        {0, true, false, false, true, false, true},
    };
    ctx.programDisplayMode = 2;
    for (const Case &c : cases) {
        image[25] = c.mode;
        read(c.mode);
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(shown(B::PIDBox), c.pid);
        EXPECT_EQ(shown(B::OnOffBox), c.onOff);
        EXPECT_EQ(shown(B::ManuBox), c.manual);
        EXPECT_EQ(at(F::SetV).visible, c.setV);
        EXPECT_EQ(at(F::ProgDisp).visible, c.progDisp);
        EXPECT_EQ(at(F::AT).visible, c.at);
        EXPECT_EQ(view.model().progBtEnabled, c.mode == 3);
    }
    EXPECT_EQ(at(F::ProgDisp).position, 2);
    // While the chart is shown the boxes stay as they are.
    ctx.chartShown = true;
    image[25] = 2;
    read(2);
    EXPECT_TRUE(shown(B::PIDBox));
    EXPECT_FALSE(shown(B::ManuBox));
}

TEST_F(SetupViewTest, IntegralTimeZeroShowsThePdOffset)
{
    image[13] = 0;
    read();
    EXPECT_EQ(view.model().labelOfs, "P1-8");
    EXPECT_TRUE(at(F::PDOffs).visible);
    EXPECT_FALSE(at(F::SumOffs).visible);
    image[13] = 1;
    read();
    EXPECT_EQ(view.model().labelOfs, "P1-7");
    EXPECT_FALSE(at(F::PDOffs).visible);
    EXPECT_TRUE(at(F::SumOffs).visible);
}

TEST_F(SetupViewTest, HeatingCoolingRowsAndTheAlarmThreeGroup)
{
    image[19] = 15; // 1.5
    image[20] = 25; // 2.5
    image[34] = 1;
    struct Case
    {
        int hc;
        bool hyst1, hyst2;
        const char *text1, *text2, *periodCode;
        bool dual;
    };
    const Case cases[] = {
        {0, true, false, "1.5", "", "P1-11", false},
        {1, false, true, "", "1.5", "P1-12", false},
        {2, true, true, "1.5", "2.5", "P1-11", true},
        {3, true, true, "1.5", "2.5", "P1-12", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hc);
        image[26] = c.hc;
        read();
        EXPECT_EQ(at(F::Hyst1).visible, c.hyst1);
        EXPECT_EQ(at(F::Hyst2).visible, c.hyst2);
        if (c.hyst1) {
            EXPECT_EQ(at(F::Hyst1).text, c.text1);
        }
        if (c.hyst2) {
            EXPECT_EQ(at(F::Hyst2).text, c.text2);
        }
        EXPECT_EQ(at(F::HCPeriodPID1).code, c.periodCode);
        EXPECT_EQ(at(F::HCPeriod1).code, c.periodCode);
        EXPECT_EQ(view.model().out2Panel, c.dual);
        EXPECT_EQ(at(F::OUTQ2).visible, c.dual);
        EXPECT_EQ(at(F::HCPeriod2).visible, c.dual);
        for (F f : {F::ALM3Mode, F::UpLimit3, F::DnLimit3})
            EXPECT_EQ(at(f).visible, !c.dual);
    }
    // Dual output hides alarm 3: its list keeps the position it had.
    image[34] = 5;
    read();
    EXPECT_EQ(at(F::ALM3Mode).position, 1);
    // Cooling only: the field shows 0x4713 and writes it.
    image[26] = 1;
    read();
    enter(F::Hyst2, QStringLiteral("2"));
    ASSERT_EQ(writes.size(), 1);
    EXPECT_EQ(writes.at(0), (Write {7, 0x4713, 20, false}));
}

TEST_F(SetupViewTest, AlarmModesShowTheirLimitRows)
{
    // mode: high row, low row
    const bool high[14] = {0, 1, 1, 0, 1, 1, 1, 0, 1, 1, 0, 1, 1, 0};
    const bool low[14] = {0, 1, 0, 1, 1, 1, 0, 1, 1, 0, 1, 1, 1, 0};
    for (int mode = 0; mode <= 13; ++mode) {
        SCOPED_TRACE(mode);
        image[32] = mode;
        image[33] = 18 - mode;
        read();
        EXPECT_EQ(at(F::UpLimit1).visible, high[mode]);
        EXPECT_EQ(at(F::DnLimit1).visible, low[mode]);
        EXPECT_EQ(at(F::ALM1Mode).position, mode);
        EXPECT_FALSE(at(F::UpLimit2).visible && 18 - mode > 12);
    }
    EXPECT_EQ(at(F::ALM1Mode).items.at(12), "12 Hysteriesis Lower Limit");
    EXPECT_EQ(at(F::ALM1Mode).items.at(13), "");
}

TEST_F(SetupViewTest, UnitListFollowsInputTypeAndLockModeReadsBack)
{
    struct Case
    {
        int unit, type;
        QStringList items;
        int position;
        bool enabled;
    };
    const Case cases[] = {
        {3, 15, {"F", "C", "mA"}, 2, false}, {2, 17, {"F", "C", "mV"}, 2, false},
        {3, 13, {"F", "C", "V"}, 2, false},  {2, 5, {"F", "C", "EU"}, 2, true},
        {1, 12, {"F", "C"}, 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.type);
        image[36] = c.unit;
        image[24] = c.type;
        read();
        EXPECT_EQ(at(F::DegUnit).items, c.items);
        EXPECT_EQ(at(F::DegUnit).position, c.position);
        EXPECT_EQ(at(F::DegUnit).enabled, c.enabled);
    }
    for (const auto &[value, position] : {std::pair {0x000B, 2}, {2, 2}, {1, 1}, {7, -1}}) {
        image[30] = value;
        read();
        EXPECT_EQ(at(F::LockStatus).position, position) << value;
    }
}

TEST_F(SetupViewTest, PidGroupHoldsSvWhileEventInputTwoIsActive)
{
    image[38] = 4;
    image[39] = 500;
    read();
    EXPECT_EQ(at(F::PIDGroup).items.last(), "4 (Auto)"); // as the list starts
    ctx.eventInput2 = true;
    for (int i = 0; i < 2; ++i) {
        read();
        EXPECT_EQ(at(F::PIDGroup).items, QStringList {"SV"});
        EXPECT_EQ(at(F::PIDGroup).position, 0);
    }
    ctx.eventInput2 = false;
    read();
    EXPECT_EQ(at(F::PIDGroup).items, (QStringList {"0", "1", "2", "3", "4(Auto)"}));
    EXPECT_EQ(at(F::PIDGroup).position, 4);
    EXPECT_EQ(at(F::PIDAimValue).text, "50.0");
}

TEST_F(SetupViewTest, EntriesBecomeWritesOrReadBacks)
{
    read();
    struct Case
    {
        F field;
        const char *text;
        int reg, value; // reg 0: refused and read back
    };
    const Case cases[] = {
        {F::KI, "  12", 0x470D, 0x000C},
        {F::KI, "-", 0, 0},
        {F::KI, "1a", 0, 0},
        {F::KI, "1 2", 0, 0},
        {F::KI, ".", 0, 0},
        {F::KP, ".", 0x470C, 0},
        {F::KP, "2.345", 0x470C, 0x0017},
        {F::TPOffs, "-5", 0x471D, 0xFFCE},
        {F::SetV, "- 12", 0, 0},
        {F::KI, "65535", 0x470D, 0xFFFF},
        {F::KI, "65536", 0, 0},
        {F::CurrLo, "-32768", 0x4716, 0x8000},
        {F::CurrLo, "-32769", 0, 0},
        {F::SetV, "6553.6", 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        writes.clear();
        rereads = 0;
        enter(c.field, QString::fromLatin1(c.text));
        if (c.reg) {
            ASSERT_EQ(writes.size(), 1);
            EXPECT_EQ(writes.at(0), (Write {7, c.reg, c.value, false}));
            EXPECT_EQ(rereads, 0);
        } else {
            EXPECT_TRUE(writes.isEmpty());
            EXPECT_EQ(rereads, 1);
        }
    }
    // The engineering unit scales a limit by the controller's decimals.
    image[24] = 13;
    image[36] = 2;
    ctx.decimals = 2;
    read();
    writes.clear();
    enter(F::UpLimit, QStringLiteral("1.5"));
    EXPECT_EQ(writes, (QList<Write> {{7, 0x4704, 150, false}}));
}

// A typed value is written as the field shows it, whatever the unit
// register says: a temperature input keeps tenths up to one decimal and the
// shown digits with two or three; a linear input the shown digits always.
TEST_F(SetupViewTest, TypedValuesAreWrittenAsTheFieldShowsThem)
{
    struct Case
    {
        int inputType; // 0 K-type, 13 4-20 mA
        int decimals;
        const char *typed;
        int written;
    };
    const Case cases[] = {
        {0, 0, "150", 1500},    {0, 1, "150.0", 1500},  {0, 2, "15.00", 1500},
        {0, 3, "1.500", 1500},  {13, 0, "1000", 1000},  {13, 1, "100.0", 1000},
        {13, 2, "10.00", 1000}, {13, 3, "1.000", 1000},
    };
    const F scaledFields[] = {F::SetV,     F::UpLimit,  F::DnLimit,  F::UpLimit1,
                              F::DnLimit1, F::UpLimit2, F::DnLimit2, F::UpLimit3,
                              F::DnLimit3, F::Hyst1,    F::Hyst2,    F::PIDAimValue};
    const int registers[] = {0x4701, 0x4704, 0x4705, 0x4706, 0x4707, 0x4708,
                             0x4709, 0x470A, 0x470B, 0x4713, 0x4714, 0x475F};
    for (const Case &c : cases) {
        image[24] = c.inputType;
        image[36] = 0; // the unit register still says C
        image[37] = c.decimals;
        ctx.decimals = c.decimals;
        read();
        for (int i = 0; i < 12; ++i) {
            SCOPED_TRACE(::testing::Message() << "input " << c.inputType << ", decimals "
                                              << c.decimals << ", field " << i);
            writes.clear();
            enter(scaledFields[i], QString::fromLatin1(c.typed));
            EXPECT_EQ(writes, (QList<Write> {{7, registers[i], c.written, false}}));
        }
    }
    // What a field shows, typed back, writes the value it came from.
    image[24] = 13;
    image[37] = 2;
    ctx.decimals = 2;
    image[4] = 1234;
    read();
    EXPECT_EQ(at(F::UpLimit).text, "12.34");
    writes.clear();
    enter(F::UpLimit, at(F::UpLimit).text);
    EXPECT_EQ(writes, (QList<Write> {{7, 0x4704, 1234, false}}));
}

TEST_F(SetupViewTest, ListsWriteTheirValues)
{
    read();
    view.CtrlSetSelect(F::LockStatus, 2);
    view.CtrlSetSelect(F::CtrlSet, 3);
    view.CtrlSetSelect(F::HeatCool, 2);
    view.CtrlSetSelect(F::OutputType1, 1);
    view.CtrlSetSelect(F::PIDGroup, 4);
    EXPECT_EQ(writes,
              (QList<Write> {{7, 0x471E, 0x000B, false},
                             {7, 0x4719, 3, false},
                             {7, 0x471A, 2, false},
                             {7, 0x4730, 1, true},
                             {7, 0x4756, 4, false}}));
    EXPECT_EQ(outputModeReads, 1);
}

TEST_F(SetupViewTest, NothingIsSentWhileAFileIsLoadedOrEditingIsOff)
{
    read();
    image[12] = 476;
    view.DisplayParameters();
    ctx.paramsFromFile = true;
    view.OnKeyPress(F::KP, QLatin1Char('9'), QStringLiteral("9"));
    enter(F::KP, QStringLiteral("9"));
    view.CtrlSetSelect(F::ComWrite, 0);
    EXPECT_TRUE(writes.isEmpty());
    EXPECT_EQ(at(F::KP).text, "47.6"); // the field shows its value again
    // Editing off (on-line configuration off): only ComWrite writes.
    ctx.paramsFromFile = false;
    ctx.onlineConfig = false;
    view.applySetupStep(6, {0, 0, 0, 0, 0, 0, 0, 0});
    enter(F::KP, QStringLiteral("9"));
    view.CtrlSetSelect(F::RunStop, 1);
    view.CtrlSetSelect(F::ComWrite, 1);
    EXPECT_EQ(writes, (QList<Write> {{7, 0x4726, 1, false}}));
}

TEST_F(SetupViewTest, AccessCodeShowsTheFactoryBoxAndOneMoreCharacterHidesIt)
{
    ScriptedDialogs dialogs;
    read();
    view.FWVersionDblClick();
    EXPECT_TRUE(view.model().passVisible);
    EXPECT_FALSE(view.model().fwVisible);
    view.PassEditChange(QStringLiteral("QWK"));
    EXPECT_EQ(rereads, 1);
    EXPECT_FALSE(shown(B::AdjustBox));
    read();
    EXPECT_TRUE(shown(B::AdjustBox));

    // The factory box's commands: Cancel sends nothing, OK the key.
    dialogs.okAnswers << false << true;
    view.ClearBt1Click(true);
    EXPECT_TRUE(writes.isEmpty());
    view.ClearBt1Click(true);
    EXPECT_EQ(writes, (QList<Write> {{7, 0x474E, 0x5AC3, true}}));
    EXPECT_EQ(dialogs.shown.last().text, "Will clear setting, Execute anyway?");

    view.PassEditChange(QStringLiteral("QWKx"));
    EXPECT_FALSE(shown(B::AdjustBox));
    EXPECT_TRUE(view.model().passText.isEmpty());
    EXPECT_FALSE(view.model().passVisible);
    EXPECT_TRUE(view.model().fwVisible);
    view.PassEditChange(QStringLiteral("probe on"));
    view.PassEditChange(QStringLiteral("probe off"));
    EXPECT_EQ(debug, (QList<bool> {true, false}));
}

} // namespace
