// Decoding of the monitor steps into the panels, without a line.
#include "monitor/pollreplies.h"
#include "setup/parameterimage.h"
#include "setup/registermap.h"
#include "ui/screenscale.h"

#include <gtest/gtest.h>

namespace {

using namespace MonitorColor;

// The polling steps' replies decoded into two slotStates' models; slot 1 is the
// selected one, whose image the replies fill.
class Panels : public ::testing::Test
{
protected:
    std::array<SlotState, 3> slotStates {};
    std::array<SlotPanel, 3> panels {};
    ParameterImage image;
    bool paramsFromFile = false;
    bool paramsStale = false;
    bool readOutputMode = false;
    bool notAController = false;

    void apply(int slot, int step, QList<quint16> words)
    {
        const PollContext context {slot == 1, paramsFromFile, false};
        const PollEffects fx = DecodePollReply(PollStep(step), words, context,
                                               slotStates[size_t(slot)], panels[size_t(slot)]);
        for (const auto &[entry, value] : fx.imageEntries)
            image[entry] = value;
        if (fx.firmware)
            image.setFirmware(*fx.firmware);
        paramsStale = paramsStale || fx.paramsStale;
        if (fx.readOutputMode)
            readOutputMode = *fx.readOutputMode;
        notAController = fx.notAController;
    }
    const SlotPanel &panel(int n) { return panels[size_t(n)]; }
};

TEST(PanelDecoding, StatusLampsAndTheCombinedAlarmLamps)
{
    // Alarm 2 alone on a 48 x 24 front lights all three alarm lamps.
    for (int cls : {0, 1, 2}) {
        const auto lamps = StatusLamps(StatusBit::Alarm2, cls);
        EXPECT_EQ(lamps[LampALM1], Red) << cls;
        EXPECT_EQ(lamps[LampALM2], Red) << cls;
        EXPECT_EQ(lamps[LampALM3], Red) << cls;
    }
    const auto big = StatusLamps(StatusBit::Alarm2, 4);
    EXPECT_EQ(big[LampALM1], Grey);
    EXPECT_EQ(big[LampALM2], Red);
    EXPECT_EQ(big[LampALM3], Grey);

    const auto all = StatusLamps(0xFF, 3);
    EXPECT_EQ(all[LampAT], Green);
    EXPECT_EQ(all[LampOUT1], Green);
    EXPECT_EQ(all[LampOUT2], Green);
    EXPECT_EQ(all[LampCDEG], Yellow);
    EXPECT_EQ(all[LampFDEG], Yellow);
    const auto none = StatusLamps(0, 3);
    for (const QColor &c : none)
        EXPECT_EQ(c, Grey);
    // Bit by bit on a front with three alarm lamps.
    const struct
    {
        int bit;
        PanelLamp lamp;
    } bits[] = {
        {0x80, LampAT},   {0x40, LampOUT1}, {0x20, LampOUT2}, {0x10, LampALM1},
        {0x02, LampALM2}, {0x01, LampALM3}, {0x04, LampCDEG}, {0x08, LampFDEG},
    };
    for (const auto &b : bits) {
        const auto lamps = StatusLamps(b.bit, 3);
        for (int i = 0; i < LampCount; ++i)
            EXPECT_EQ(lamps[size_t(i)] != Grey, i == b.lamp) << b.bit << " lamp " << i;
    }
}

TEST(PanelDecoding, OutputCaptionsAndBars)
{
    const auto three = OutputAssignmentOf(3);
    EXPECT_EQ(three.label1, "OUT1 : Cooling");
    EXPECT_EQ(three.label2, "OUT2 : Heating");
    EXPECT_EQ(three.bar1, Blue);
    EXPECT_EQ(three.bar2, Red);
    EXPECT_TRUE(three.secondRow);
    const auto one = OutputAssignmentOf(1);
    EXPECT_EQ(one.label1, "OUT1 : Cooling");
    EXPECT_FALSE(one.secondRow);
    const auto zero = OutputAssignmentOf(0);
    EXPECT_EQ(zero.label1, "OUT1 : Heating");
    EXPECT_EQ(zero.label2, "OUT2 : Cooling");
    EXPECT_EQ(zero.bar1, Red);
    EXPECT_EQ(zero.bar2, Blue);
    EXPECT_TRUE(OutputAssignmentOf(2).secondRow);
}

TEST(PanelDecoding, ProgramDisplayTexts)
{
    EXPECT_EQ(ProgramDisplayText({2, 125, 75, 0, 0}, 0, 1, false).text, "1:02:05");
    EXPECT_TRUE(ProgramDisplayText({2, 125, 75, 0, 0}, 0, 1, false).timeDisplay);
    EXPECT_EQ(ProgramDisplayText({2, 3725, 0, 0, 0}, 0, 1, false).text,
              "0:02:05"); // minutes wrap at the hour
    EXPECT_EQ(ProgramDisplayText({0, 0, 0, 3, 2}, 0, 1, false).text, " 2 - 03");
    EXPECT_EQ(ProgramDisplayText({1, 0, 0, 0, 0}, 1234, 1, false).text, "123.4");
    EXPECT_EQ(ProgramDisplayText({1, 0, 0, 0, 0}, -5, 1, false).text, "-  0.5");
    EXPECT_EQ(ProgramDisplayText({7, 0, 0, 0, 0}, 0, 1, false).text, "");
    EXPECT_EQ(ProgramDisplayText({}, 0, 1, false).text,
              " 0 - 00"); // a short reply reads no further
}

TEST_F(Panels, IdentificationPicksTheClassAndFillsTheImage)
{
    apply(1, 0, {0x2013, IdentificationValue, 0x3432, 0x0042});
    EXPECT_TRUE(panel(1).visible);
    EXPECT_EQ(panel(1).modelClass, 1);
    EXPECT_EQ(panel(1).modelCode, 0x3432);
    EXPECT_EQ(PanelDisplayFonts(panel(1), 1024).pv, 28);
    EXPECT_EQ(panel(1).runLed, Green);
    // 0x3432 is kept as 0x4824 in the image too.
    EXPECT_EQ(image.at(ParameterImage::ModelEntry), 0x4824);
    EXPECT_EQ(image.at(ParameterImage::Identification2Entry), 0x0042);
    EXPECT_EQ(image.at(ParameterImage::Identification1Entry), 0x2013);

    // Another slot's identification leaves the image alone.
    apply(2, 0, {0x2013, IdentificationValue, 0x9696, 0});
    EXPECT_EQ(panel(2).modelClass, 4);
    EXPECT_EQ(image.at(ParameterImage::ModelEntry), 0x4824);
    // An unknown model code keeps the class it had.
    apply(2, 0, {0x2013, IdentificationValue, 0x1111, 0});
    EXPECT_EQ(panel(2).modelClass, 4);
    // A first identification of an unknown model: a usable generic front,
    // laid out as class 2, that names the code.
    SlotState fresh;
    SlotPanel unknown;
    DecodePollReply(PollStep::Identification, {0, IdentificationValue, 0x1111, 0}, {}, fresh,
                    unknown);
    EXPECT_TRUE(unknown.visible);
    EXPECT_EQ(unknown.modelClass, 0);
    EXPECT_EQ(unknown.modelCode, 0x1111);
    EXPECT_EQ(PanelDisplayFonts(unknown, 1024).pv, 32);
}

TEST_F(Panels, ScreenFactorScalesTheFonts)
{
    apply(1, 0, {0, IdentificationValue, 0x9696, 0});
    const DisplayFonts fonts = PanelDisplayFonts(panel(1), 1280);
    EXPECT_EQ(fonts.pv, 52); // 42 x 1280 / 1024, truncated
    EXPECT_EQ(fonts.sv, 45);
}

TEST_F(Panels, ProcessValuesAndStatusCodes)
{
    apply(1, 0, {0, IdentificationValue, 0x4848, 0});
    apply(1, 1, {1, 1, 0, 0, 1, 0x0102, 0});
    apply(1, 5, {1234, 0xFFFB, 500, 1000});
    EXPECT_EQ(panel(1).pvText, "123.4");
    EXPECT_EQ(panel(1).svText, "-  0.5");
    EXPECT_EQ(PanelDisplayFonts(panel(1), 1024).pv, 32);
    EXPECT_EQ(panel(1).outQty1, 500);
    EXPECT_EQ(panel(1).outQty2, 1000);
    EXPECT_EQ(slotStates.at(1).lastPv, 1234);
    EXPECT_EQ(slotStates.at(1).lastSv, -5);
    EXPECT_EQ(image.at(1), 0xFFFB);
    EXPECT_EQ(image.at(2), 500);

    const struct
    {
        int code;
        const char *text;
        bool stale;
    } codes[] = {
        {1, " Waiting...", true},  {2, " Waiting...", true},
        {3, " No Connect", false}, {4, " Input Error", false},
        {5, " Over Range", false}, {6, " Input Error", false},
        {7, " Memory bad", false}, {9, "", false},
    };
    for (const auto &c : codes) {
        paramsStale = false;
        apply(1, 5, {quint16(0x8000 | c.code), 1000, 0, 0});
        EXPECT_EQ(panel(1).pvText, QString::fromLatin1(c.text)) << c.code;
        EXPECT_EQ(PanelDisplayFonts(panel(1), 1024).pv, 16) << "half-size letters";
        EXPECT_EQ(slotStates.at(1).lastPv, 0) << "the trend samples 0";
        EXPECT_EQ(paramsStale, c.stale) << c.code;
    }
}

TEST_F(Panels, ADecimalPointNoControllerHoldsIsSaidNotPadded)
{
    // The status read answered with a good check field and word 0 = 0xFFFF.
    apply(1, 1, {0xFFFF, 1, 0, 0, 0x0100, 0, 0});
    apply(1, 5, {1234, 1000, 0, 0});
    EXPECT_EQ(panel(1).pvText, "1234 (decimal point 65535?)");
    EXPECT_EQ(panel(1).svText, "1000 (decimal point 65535?)");
}

TEST_F(Panels, StatusStepKeepsFlagsAndImageEntries)
{
    apply(1, 0, {0, IdentificationValue, 0x4824, 0});
    paramsStale = false;
    apply(1, 1, {1, 1, 0, StatusBit::Alarm2 | StatusBit::DegreesC, 1, 0x0203, 1});
    EXPECT_EQ(slotStates.at(1).DecimalPlaces, 1);
    EXPECT_TRUE(slotStates.at(1).OnlineConfig);
    EXPECT_TRUE(slotStates.at(1).ProgramDisplay);
    EXPECT_EQ(panel(1).lamps[LampALM1], Red);
    EXPECT_EQ(panel(1).lamps[LampCDEG], Yellow);
    EXPECT_EQ(image.at(ParameterImage::FirmwareMajorEntry), 2);
    EXPECT_EQ(image.at(ParameterImage::FirmwareMinorEntry), 3);
    EXPECT_EQ(image.at(37), 1);
    EXPECT_FALSE(paramsStale);
    // The auto-tuning state changes: the setup is read again.
    apply(1, 1, {1, 1, 1, 0, 1, 0x0203, 0});
    EXPECT_TRUE(paramsStale);
    // The controller says its setup changed (bit 0 of 0x4729 clear).
    paramsStale = false;
    apply(1, 1, {1, 1, 1, 0, 0, 0x0203, 0});
    EXPECT_TRUE(paramsStale);
    // ... which concerns only the selected slot.
    paramsStale = false;
    apply(2, 1, {1, 1, 0, 0, 0, 0x0203, 0});
    EXPECT_FALSE(paramsStale);
    // A loaded parameter file keeps its entries.
    paramsFromFile = true;
    apply(1, 1, {2, 1, 1, 0, 1, 0x0909, 0});
    EXPECT_EQ(image.at(37), 1);
    EXPECT_EQ(image.at(ParameterImage::FirmwareMajorEntry), 2);
}

TEST_F(Panels, OutputStepProgramStepAndEvents)
{
    apply(1, 0, {0, IdentificationValue, 0x4896, 0});
    EXPECT_TRUE(readOutputMode);
    apply(1, 2, {3});
    EXPECT_FALSE(readOutputMode);
    EXPECT_TRUE(panel(1).outRow1Visible);
    EXPECT_TRUE(panel(1).outRow2Visible);
    EXPECT_EQ(panel(1).outQty1Color, Blue);
    apply(1, 2, {1});
    EXPECT_FALSE(panel(1).outRow2Visible);

    slotStates.at(1).ProgramDisplay = true;
    apply(1, 3, {2, 125, 75, 0, 0});
    EXPECT_EQ(panel(1).svText, "1:02:05");
    EXPECT_EQ(PanelDisplayFonts(panel(1), 1024).sv, 18); // two thirds of 28
    // While the program is shown the process-value step leaves the SV alone.
    apply(1, 5, {250, 1000, 0, 0});
    EXPECT_EQ(panel(1).svText, "1:02:05");
    // When the program's display ends, the SV is back in its own size.
    slotStates.at(1).ProgramDisplay = false;
    apply(1, 5, {250, 1000, 0, 0});
    EXPECT_EQ(panel(1).svText, "100");
    EXPECT_EQ(PanelDisplayFonts(panel(1), 1024).sv, 28);

    paramsStale = false;
    apply(2, 4, {EventInput1Bit});
    EXPECT_TRUE(panel(2).event1);
    EXPECT_FALSE(panel(2).event2);
    EXPECT_TRUE(paramsStale) << "any polled slot's event change";
    paramsStale = false;
    apply(2, 4, {EventInput1Bit});
    EXPECT_FALSE(paramsStale);
}

TEST_F(Panels, AFailedIdentificationSaysSo)
{
    apply(2, 0, {0, 0x1234, 0x4848, 0});
    EXPECT_TRUE(notAController);
    EXPECT_FALSE(panel(2).visible);
}

} // namespace
