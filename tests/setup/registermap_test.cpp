#include "setup/enumerations.h"
#include "setup/parameterimage.h"
#include "setup/registermap.h"

#include <gtest/gtest.h>

#include <QSet>

TEST(RegisterMap, AddressesAreUniqueAndFound)
{
    QSet<int> seen;
    for (const RegisterInfo &r : RegisterMap()) {
        EXPECT_FALSE(seen.contains(r.address)) << std::hex << r.address;
        seen.insert(r.address);
        ASSERT_NE(FindRegister(r.address), nullptr);
        EXPECT_EQ(FindRegister(r.address)->address, r.address);
    }
    // 69 listed registers plus the 153 program registers.
    EXPECT_EQ(RegisterMap().size(), 69 + 153);
    EXPECT_EQ(FindRegister(0x472C), nullptr);
    EXPECT_EQ(FindRegister(0x4739), nullptr);
    EXPECT_EQ(FindRegister(0x4800), nullptr);
}

TEST(RegisterMap, EntriesFollowTheImageLayout)
{
    for (const RegisterInfo &r : RegisterMap()) {
        if (r.entry < 0 || r.address == Reg::Firmware)
            continue;
        EXPECT_EQ(ParameterImage::registerOfEntry(r.entry), r.address) << r.entry;
        EXPECT_EQ(ParameterImage::entryOfRegister(r.address), r.entry) << std::hex << r.address;
    }
    for (int entry = 1; entry <= 37; ++entry) {
        const RegisterInfo *r = FindRegister(0x4700 + entry);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->entry, entry);
        EXPECT_TRUE(r->writeAll) << entry;
    }
    EXPECT_EQ(FindRegister(Reg::PidGroup)->entry, 38);
    EXPECT_EQ(FindRegister(Reg::PidTarget)->entry, 39);
    EXPECT_EQ(ParameterImage::registerOfEntry(40), -1);
    EXPECT_EQ(ParameterImage::registerOfEntry(256), -1);
}

// Every register that names a read step lies inside that step's block, and
// every register of a block (but step 14's) is in the map and names the step.
TEST(RegisterMap, ReadBlocksAgreeWithRegisterSteps)
{
    ASSERT_EQ(ReadBlocks().size(), ReadStepCount);
    for (const RegisterInfo &r : RegisterMap()) {
        for (int step : r.steps) {
            const ReadBlock *b = ReadBlockForStep(step);
            ASSERT_NE(b, nullptr);
            EXPECT_GE(r.address, b->start) << std::hex << r.address << " step " << step;
            EXPECT_LT(r.address, b->start + b->count) << std::hex << r.address << " step " << step;
        }
    }
    for (const ReadBlock &b : ReadBlocks()) {
        EXPECT_GE(b.count, 1);
        EXPECT_LE(b.count, 8);
        if (b.step == 14)
            continue;
        for (int a = b.start; a < b.start + b.count; ++a) {
            const RegisterInfo *r = FindRegister(a);
            ASSERT_NE(r, nullptr) << std::hex << a;
            EXPECT_TRUE(r->steps.contains(b.step)) << std::hex << a << " step " << b.step;
        }
    }
    EXPECT_EQ(ReadBlockForStep(15), nullptr);
    EXPECT_EQ(ReadBlockForStep(-1), nullptr);
}

// The setup read (steps 6 to 11) fills entries 4 to 39 exactly once; the
// status and process-value polls fill the others of 1 to 37.
TEST(RegisterMap, SetupReadFillsEntries4To39)
{
    QList<int> filled(ParameterImage::Size, 0);
    for (int step = FirstSetupStep; step <= 11; ++step) {
        const ReadBlock *b = ReadBlockForStep(step);
        ASSERT_GE(b->firstEntry, 0);
        EXPECT_EQ(ParameterImage::entryOfRegister(b->start), b->firstEntry);
        for (int i = 0; i < b->count; ++i)
            ++filled[ParameterImage::entryOfRegister(b->start + i)];
    }
    for (int entry = 4; entry <= 39; ++entry)
        EXPECT_EQ(filled[entry], entry == 37 ? 0 : 1) << entry;
}

TEST(RegisterMap, ProgramRegisterLayout)
{
    EXPECT_EQ(ProgramReg::Count, 153);
    EXPECT_EQ(ProgramReg::forPosition(0), 0x4767);
    EXPECT_EQ(ProgramReg::forPosition(152), 0x47FF);
    EXPECT_EQ(ProgramReg::lastStep(7), 0x476F);
    EXPECT_EQ(ProgramReg::cycles(0), 0x4770);
    EXPECT_EQ(ProgramReg::nextPattern(7), 0x477F);
    EXPECT_EQ(ProgramReg::setValue(63), 0x47FE);
    EXPECT_EQ(ProgramReg::stepTime(63), 0x47FF);
    EXPECT_EQ(FindRegister(ProgramReg::setValue(5))->scale, ScaleKind::SignedTenths);
    EXPECT_EQ(FindRegister(ProgramReg::stepTime(5))->code, "P3-20");
    EXPECT_EQ(FindRegister(0x4767)->code, "P2-2");

    // The program read covers every program register exactly once.
    QList<int> hits(ProgramReg::Count, 0);
    for (const ReadBlock &b : ProgramReadBlocks())
        for (int a = b.start; a < b.start + b.count; ++a)
            ++hits[a - ProgramReg::First];
    for (int i = 0; i < ProgramReg::Count; ++i)
        EXPECT_EQ(hits[i], 1) << std::hex << ProgramReg::First + i;
    EXPECT_EQ(ProgramReadBlocks().size(), 4 + 16);
}

TEST(RegisterMap, UnlockAndReadOnlyRegisters)
{
    for (int a = 0x4730; a <= 0x4738; ++a)
        EXPECT_TRUE(FindRegister(a)->unlock) << std::hex << a;
    EXPECT_TRUE(FindRegister(Reg::RestoreDefaults)->unlock);
    EXPECT_TRUE(FindRegister(Reg::ClearAdjustments)->unlock);
    EXPECT_FALSE(FindRegister(Reg::SetValue)->unlock);
    for (int a : {0x4700, 0x4728, 0x4744, 0x4745, 0x4746, 0x4747})
        EXPECT_EQ(FindRegister(a)->write, WriteForm::None) << std::hex << a;
}

TEST(ModelCodes, ClassesAndTheAlias)
{
    const struct
    {
        int code;
        int modelClass;
        bool fileCode;
    } cases[] = {{0x4824, 1, true},  {0x4848, 2, true},  {0x4896, 3, true}, {0x9696, 4, true},
                 {0x3432, 1, false}, {0x4825, 0, false}, {0, 0, false}};
    for (const auto &c : cases) {
        EXPECT_EQ(ModelClass(c.code), c.modelClass) << std::hex << c.code;
        EXPECT_EQ(IsModelCode(c.code), c.fileCode) << std::hex << c.code;
    }
    EXPECT_EQ(NormalizedModelCode(0x3432), 0x4824);
    EXPECT_EQ(NormalizedModelCode(0x4896), 0x4896);
}

TEST(PvStatus, CodesAndTexts)
{
    EXPECT_FALSE(PvStatusCode(0x00FA).has_value());
    EXPECT_FALSE(PvStatusCode(0x8100).has_value());
    EXPECT_FALSE(PvStatusCode(0x7F03).has_value());
    EXPECT_EQ(PvStatusCode(0x8003), 3);
    EXPECT_EQ(PvStatusCode(0x80F5), 5);
    const QString texts[16] = {"",
                               " Waiting...",
                               " Waiting...",
                               " No Connect",
                               " Input Error",
                               " Over Range",
                               " Input Error",
                               " Memory bad"};
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(PvStatusText(code), texts[code]) << code;
        EXPECT_EQ(PvStatusAsksReread(code), code == 1 || code == 2) << code;
    }
}

TEST(StatusBits, OnePerIndicator)
{
    const int bits[] = {StatusBit::AutoTuning, StatusBit::Output1, StatusBit::Output2,
                        StatusBit::Alarm1,     StatusBit::Alarm2,  StatusBit::Alarm3,
                        StatusBit::DegreesC,   StatusBit::DegreesF};
    int all = 0;
    for (int b : bits) {
        EXPECT_EQ(all & b, 0);
        all |= b;
    }
    EXPECT_EQ(all, 0xFF);
    EXPECT_EQ(StatusBit::AnyAlarm, 0x13);
}

TEST(Enumerations, TextsExactlyAsShown)
{
    EXPECT_EQ(EnumerationFor(Reg::InputType)->items.size(), 18);
    EXPECT_EQ(EnumerationFor(Reg::InputType)->textOf(11), "JPt100");
    EXPECT_EQ(EnumerationFor(Reg::InputType)->textOf(17), "0~50mV");
    EXPECT_EQ(EnumerationFor(Reg::ControlMode)->texts(),
              QStringList({"PID", "ON / OFF", "Manual", "Ramp / Soak"}));
    EXPECT_EQ(EnumerationFor(Reg::DecimalPoint)->textOf(2), "2 (**.**)");
    EXPECT_EQ(EnumerationFor(Reg::Output1Type)->textOf(5), "None");
    EXPECT_EQ(EnumerationFor(Reg::Output2Type)->textOf(2), "None");
    EXPECT_EQ(EnumerationFor(Reg::PidGroup)->textOf(4), "4 (Auto)");
    EXPECT_EQ(EnumerationFor(Reg::PidGroupWrite), EnumerationFor(Reg::PidGroup));
    EXPECT_EQ(PidGroupViewTexts().last(), "4(Auto)");
    EXPECT_EQ(EnumerationFor(Reg::OnlineConfig), EnumerationFor(Reg::OnlineConfigWord));
    EXPECT_EQ(EnumerationFor(Reg::SetValue), nullptr);
}

TEST(Enumerations, AlarmModesHaveAnEmptyThirteen)
{
    for (int reg : {Reg::Alarm1Mode, Reg::Alarm2Mode, Reg::Alarm3Mode}) {
        const Enumeration *e = EnumerationFor(reg);
        ASSERT_NE(e, nullptr);
        ASSERT_EQ(e->items.size(), 19);
        EXPECT_EQ(e->textOf(12), "12 Hysteriesis Lower Limit");
        EXPECT_EQ(e->textOf(13), "");
        EXPECT_FALSE(e->contains(13));
        EXPECT_TRUE(e->contains(14));
        EXPECT_EQ(e->textOf(18), "18 Running Ramp/Soak");
        EXPECT_FALSE(e->contains(19));
    }
}

TEST(Enumerations, LockModeValues)
{
    const Enumeration *e = EnumerationFor(Reg::LockMode);
    EXPECT_TRUE(e->contains(0));
    EXPECT_TRUE(e->contains(1));
    EXPECT_TRUE(e->contains(0x0B));
    EXPECT_FALSE(e->contains(2));
    EXPECT_EQ(e->textOf(0x0B), "SV change only");
}

TEST(Enumerations, UnitTexts)
{
    const struct
    {
        int unit, inputType;
        const char *text;
    } cases[] = {{0, 0, "F"},   {1, 16, "C"},  {2, 17, "mV"}, {3, 13, "V"}, {3, 14, "V"},
                 {3, 15, "mA"}, {2, 16, "mA"}, {2, 5, "EU"},  {7, 12, "EU"}};
    for (const auto &c : cases)
        EXPECT_EQ(UnitText(c.unit, c.inputType), c.text) << c.unit << " " << c.inputType;
    EXPECT_FALSE(IsLinearInput(12));
    EXPECT_TRUE(IsLinearInput(13));
}

TEST(AlarmModes, WhichLimitsAreUsed)
{
    for (int mode = 0; mode <= 18; ++mode) {
        const bool both =
            mode == 1 || mode == 4 || mode == 5 || mode == 8 || mode == 11 || mode == 12;
        EXPECT_EQ(AlarmModeUsesHigh(mode), both || mode == 2 || mode == 6 || mode == 9) << mode;
        EXPECT_EQ(AlarmModeUsesLow(mode), both || mode == 3 || mode == 7 || mode == 10) << mode;
    }
}

TEST(ParameterImage, PollBlocksFillTheirEntries)
{
    ParameterImage image;
    // Step 0: identification block 0x4744..0x4747.
    EXPECT_EQ(image.setBlock(0x4744, {0x2013, 0x4456, 0x3432, 0x0001}), 3);
    EXPECT_EQ(image[255], 0x2013);
    EXPECT_EQ(image[0], 0x4824);
    EXPECT_EQ(image[254], 0x0001);
    // Step 1: status block 0x4725..0x472B: decimal point and firmware only.
    image.setBlock(0x4725, {1, 1, 0, 0x54, 1, 0x010A, 0});
    EXPECT_EQ(image[37], 1);
    EXPECT_EQ(image[252], 1);
    EXPECT_EQ(image[253], 0x0A);
    EXPECT_EQ(image.firmwareWord(), 0x010A);
    // Step 11: PID group and target.
    image.setBlock(0x101C, {4, 0xFFF6});
    EXPECT_EQ(image[38], 4);
    EXPECT_EQ(image[39], 0xFFF6);
    for (int e = 40; e <= 251; ++e)
        EXPECT_EQ(image[e], 0);
}
