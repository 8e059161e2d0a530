#include "setup/registermap.h"

#include <algorithm>

namespace {

using S = ScaleKind;
using W = WriteForm;

struct Row
{
    int address;
    int entry;
    const char *code;
    const char *control;
    const char *meaning;
    ScaleKind scale;
    QList<int> steps;
    WriteForm write;
    bool unlock;
    bool writeAll;
};

// The register list of the controllers, one row per register.
const Row rows[] = {
    {0x4700, -1, "", "", "process value", S::Scaled, {5}, W::None, false, false},
    {0x4701, 1, "", "SetV", "set value (SV)", S::Scaled, {5}, W::Edit, false, true},
    {0x4702, 2, "P2-11", "OUTQ1", "output 1 level, percent", S::Tenths, {5}, W::Edit, false, true},
    {0x4703, 3, "P2-12", "OUTQ2", "output 2 level, percent", S::Tenths, {5}, W::Edit, false, true},
    {0x4704, 4, "P3-3", "UpLimit", "input range high", S::Scaled, {7}, W::Edit, false, true},
    {0x4705, 5, "P3-4", "DnLimit", "input range low", S::Scaled, {7}, W::Edit, false, true},
    {0x4706, 6, "P2-4", "UpLimit1", "alarm 1 high limit", S::Scaled, {7}, W::Edit, false, true},
    {0x4707, 7, "P2-5", "DnLimit1", "alarm 1 low limit", S::Scaled, {7}, W::Edit, false, true},
    {0x4708, 8, "P2-6", "UpLimit2", "alarm 2 high limit", S::Scaled, {7}, W::Edit, false, true},
    {0x4709, 9, "P2-7", "DnLimit2", "alarm 2 low limit", S::Scaled, {7}, W::Edit, false, true},
    {0x470A, 10, "P2-8", "UpLimit3", "alarm 3 high limit", S::Scaled, {7}, W::Edit, false, true},
    {0x470B, 11, "P2-9", "DnLimit3", "alarm 3 low limit", S::Scaled, {7}, W::Edit, false, true},
    {0x470C, 12, "P1-4", "KP", "proportional band", S::Tenths, {8}, W::Edit, false, true},
    {0x470D,
     13,
     "P1-5",
     "KI",
     "integral time; 0 selects the PD offset",
     S::Integer,
     {8},
     W::Edit,
     false,
     true},
    {0x470E, 14, "P1-6", "KD", "derivative time", S::Integer, {8}, W::Edit, false, true},
    {0x470F,
     15,
     "P1-7",
     "SumOffs",
     "integral offset",
     S::UnsignedTenths,
     {8},
     W::Edit,
     false,
     true},
    {0x4710, 16, "P1-8", "PDOffs", "PD offset", S::UnsignedTenths, {8}, W::Edit, false, true},
    {0x4711, 17, "P1-14", "Coeff", "P coefficient", S::Hundredths, {8}, W::Edit, false, true},
    {0x4712, 18, "P1-15", "DeadBand1,DeadBand2", "dead band", S::Tenths, {8}, W::Edit, false, true},
    {0x4713, 19, "P1-9", "Hyst1", "heating hysteresis", S::Scaled, {6}, W::Edit, false, true},
    {0x4714, 20, "P1-10", "Hyst2", "cooling hysteresis", S::Scaled, {6}, W::Edit, false, true},
    {0x4715,
     21,
     "P1-17",
     "CurrHi",
     "analog output 1 high adjustment",
     S::SignedInteger,
     {6},
     W::Edit,
     false,
     true},
    {0x4716,
     22,
     "P1-18",
     "CurrLo",
     "analog output 1 low adjustment",
     S::SignedInteger,
     {6},
     W::Edit,
     false,
     true},
    {0x4717,
     23,
     "P3-12",
     "ComWrite",
     "on-line configuration, bit 0 (1 = enabled)",
     S::Bits,
     {6},
     W::WriteAllOnly,
     false,
     true},
    {0x4718, 24, "P3-1", "InputType", "input type", S::List, {6}, W::List, false, true},
    {0x4719, 25, "P3-5", "CtrlSet", "control mode", S::List, {6}, W::List, false, true},
    {0x471A, 26, "P3-7", "HeatCool", "heating/cooling", S::List, {2, 6}, W::List, false, true},
    // The view prints "P1-12" instead while output 1 cools.
    {0x471B,
     27,
     "P1-11",
     "HCPeriodPID1,HCPeriod1",
     "output 1 control period",
     S::Integer,
     {9},
     W::Edit,
     false,
     true},
    {0x471C,
     28,
     "P1-13",
     "HCPeriodPID2,HCPeriod2",
     "output 2 control period",
     S::Integer,
     {9},
     W::Edit,
     false,
     true},
    {0x471D, 29, "P1-16", "TPOffs", "input offset", S::Tenths, {9}, W::Edit, false, true},
    {0x471E, 30, "P2-10", "LockStatus", "key lock mode", S::List, {9}, W::List, false, true},
    {0x471F, 31, "P3-11", "SALMode", "system alarm output", S::List, {9}, W::List, false, true},
    {0x4720, 32, "P3-8", "ALM1Mode", "alarm 1 mode", S::List, {10}, W::List, false, true},
    {0x4721, 33, "P3-9", "ALM2Mode", "alarm 2 mode", S::List, {10}, W::List, false, true},
    {0x4722, 34, "P3-10", "ALM3Mode", "alarm 3 mode", S::List, {10}, W::List, false, true},
    {0x4723, 35, "P2-1", "RunStop", "run/stop", S::List, {10}, W::List, false, true},
    {0x4724, 36, "P3-2", "DegUnit", "unit", S::List, {10}, W::List, false, true},
    {0x4725,
     37,
     "P2-3",
     "Pointer",
     "decimal point position 0 to 3",
     S::List,
     {1},
     W::List,
     false,
     true},
    {0x4726,
     -1,
     "P3-12",
     "ComWrite",
     "on-line configuration in force (non-zero = enabled)",
     S::Integer,
     {1},
     W::List,
     false,
     true},
    {0x4727,
     -1,
     "P1-1",
     "AT",
     "auto-tuning, 0 stop, 1 running",
     S::List,
     {1},
     W::List,
     false,
     false},
    {0x4728, -1, "", "", "status bits", S::Bits, {1}, W::None, false, false},
    {0x4729, -1, "", "", "bit 0 = 0 asks for a setup re-read", S::Bits, {1}, W::None, false, false},
    {0x472A,
     252,
     "",
     "FWVersion",
     "firmware version; unlock register",
     S::Version,
     {1},
     W::UnlockKey,
     false,
     false},
    {0x472B,
     -1,
     "",
     "",
     "1 = a ramp/soak program is running",
     S::Integer,
     {1},
     W::None,
     false,
     false},
    {0x472D,
     -1,
     "",
     "",
     "event inputs: bit 3 input 1, bit 2 input 2",
     S::Bits,
     {4},
     W::None,
     false,
     false},
    {0x4730, -1, "", "OutputType1", "output 1 type", S::List, {12}, W::List, true, false},
    {0x4731, -1, "", "OutputType2", "output 2 type", S::List, {12}, W::List, true, false},
    {0x4732, -1, "", "RTDOfs", "RTD offset", S::Tenths, {13}, W::Edit, true, false},
    {0x4733, -1, "", "RTDGain", "RTD gain", S::SignedInteger, {13}, W::Edit, true, false},
    {0x4734, -1, "", "TCOfs", "thermocouple offset", S::SignedInteger, {13}, W::Edit, true, false},
    {0x4735, -1, "", "TCGain", "thermocouple gain", S::SignedInteger, {13}, W::Edit, true, false},
    {0x4736, -1, "", "ColdOfs", "cold-junction offset", S::Tenths, {13}, W::Edit, true, false},
    {0x4737, -1, "", "mVOfs", "linear input offset", S::SignedInteger, {13}, W::Edit, true, false},
    {0x4738, -1, "", "mVGain", "linear input gain", S::SignedInteger, {13}, W::Edit, true, false},
    {0x4744, 255, "", "", "identification, stored only", S::Integer, {0}, W::None, false, false},
    {0x4745, -1, "", "", "identification word", S::Integer, {0}, W::None, false, false},
    {0x4746, 0, "", "", "model code", S::List, {0}, W::None, false, false},
    {0x4747, 254, "", "", "identification, stored only", S::Integer, {0}, W::None, false, false},
    {0x474E,
     -1,
     "",
     "ClearBt1",
     "restore default settings",
     S::CommandKey,
     {},
     W::Button,
     true,
     false},
    {0x474F,
     -1,
     "",
     "ClearBt2",
     "clear adjustment values",
     S::CommandKey,
     {},
     W::Button,
     true,
     false},
    {0x4756,
     -1,
     "P1-2",
     "PIDGroup",
     "PID parameter group to use",
     S::List,
     {},
     W::List,
     false,
     false},
    {0x475F,
     -1,
     "P1-3",
     "PIDAimValue",
     "target SV of the PID group",
     S::Scaled,
     {},
     W::Edit,
     false,
     false},
    {0x4762,
     -1,
     "",
     "ProgDisp",
     "what the second display shows in Ramp/Soak mode",
     S::List,
     {3},
     W::List,
     false,
     false},
    {0x4763,
     -1,
     "",
     "",
     "running program: seconds of the remaining time",
     S::Integer,
     {3},
     W::None,
     false,
     false},
    {0x4764,
     -1,
     "",
     "",
     "running program: remaining time in minutes",
     S::Integer,
     {3},
     W::None,
     false,
     false},
    {0x4765, -1, "", "", "running program: current step", S::Integer, {3}, W::None, false, false},
    {0x4766,
     -1,
     "",
     "",
     "running program: current pattern",
     S::Integer,
     {3},
     W::None,
     false,
     false},
};

// 0x101C and 0x101D come after the 0x47xx block.
const Row pidRows[] = {
    {0x101C,
     38,
     "P1-2",
     "PIDGroup",
     "PID parameter group in use",
     S::List,
     {11},
     W::WriteAllOnly,
     false,
     true},
    {0x101D,
     39,
     "P1-3",
     "PIDAimValue",
     "target SV of the group in use",
     S::Scaled,
     {11},
     W::WriteAllOnly,
     false,
     true},
};

RegisterInfo toInfo(const Row &r)
{
    return RegisterInfo {r.address,
                         r.entry,
                         QString::fromLatin1(r.code),
                         QString::fromLatin1(r.control).split(u',', Qt::SkipEmptyParts),
                         QString::fromLatin1(r.meaning),
                         r.scale,
                         r.steps,
                         r.write,
                         r.unlock,
                         r.writeAll};
}

RegisterInfo programRegister(int address)
{
    RegisterInfo info;
    info.address = address;
    info.controls = {QStringLiteral("ProgTable")};
    info.write = WriteForm::Program;
    info.scale = ScaleKind::Integer;
    if (address == ProgramReg::StartPattern) {
        info.code = QStringLiteral("P2-2");
        info.controls = {QStringLiteral("ProgStart")};
        info.meaning = QStringLiteral("pattern the program starts with");
    } else if (address < ProgramReg::CyclesBase) {
        info.code = QStringLiteral("P3-21");
        info.meaning =
            QStringLiteral("last step of pattern %1").arg(address - ProgramReg::LastStepBase);
    } else if (address < ProgramReg::NextPatternBase) {
        info.code = QStringLiteral("P3-22");
        info.meaning =
            QStringLiteral("additional cycles of pattern %1").arg(address - ProgramReg::CyclesBase);
    } else if (address < ProgramReg::StepBase) {
        info.code = QStringLiteral("P3-23");
        info.meaning =
            QStringLiteral("next pattern of pattern %1").arg(address - ProgramReg::NextPatternBase);
    } else {
        const int k = (address - ProgramReg::StepBase) / 2;
        if ((address - ProgramReg::StepBase) % 2 == 0) {
            info.code = QStringLiteral("P3-19");
            info.meaning = QStringLiteral("set value of step %1").arg(k);
            info.scale = ScaleKind::SignedTenths;
        } else {
            info.code = QStringLiteral("P3-20");
            info.meaning = QStringLiteral("time of step %1 in minutes").arg(k);
        }
    }
    return info;
}

QList<RegisterInfo> buildMap()
{
    QList<RegisterInfo> map;
    for (const Row &r : rows)
        map.append(toInfo(r));
    for (int a = ProgramReg::First; a <= ProgramReg::Last; ++a)
        map.append(programRegister(a));
    for (const Row &r : pidRows)
        map.append(toInfo(r));
    return map;
}

const QList<ReadBlock> readBlocks = {
    {0, 0x4744, 4, -1},  {1, 0x4725, 7, -1},  {2, 0x471A, 1, -1},  {3, 0x4762, 5, -1},
    {4, 0x472D, 1, -1},  {5, 0x4700, 4, -1},  {6, 0x4713, 8, 19},  {7, 0x4704, 8, 4},
    {8, 0x470C, 7, 12},  {9, 0x471B, 5, 27},  {10, 0x4720, 5, 32}, {11, 0x101C, 2, 38},
    {12, 0x4730, 2, -1}, {13, 0x4732, 7, -1}, {14, 0x472E, 2, -1},
};

} // namespace

const QList<RegisterInfo> &RegisterMap()
{
    static const QList<RegisterInfo> map = buildMap();
    return map;
}

const RegisterInfo *FindRegister(int address)
{
    const QList<RegisterInfo> &map = RegisterMap();
    const auto it = std::find_if(map.cbegin(), map.cend(),
                                 [address](const RegisterInfo &r) { return r.address == address; });
    return it == map.cend() ? nullptr : &*it;
}

bool RegisterNeedsUnlock(int address)
{
    const RegisterInfo *info = FindRegister(address);
    return info && info->unlock;
}

int NormalizedModelCode(int code)
{
    return code == ModelCodeAlias4824 ? ModelCode4824 : code;
}

int ModelClass(int code)
{
    switch (NormalizedModelCode(code)) {
    case ModelCode4824:
        return 1;
    case ModelCode4848:
        return 2;
    case ModelCode4896:
        return 3;
    case ModelCode9696:
        return 4;
    default:
        return 0;
    }
}

bool IsModelCode(int code)
{
    return std::find(std::begin(ModelCodes), std::end(ModelCodes), code) != std::end(ModelCodes);
}

std::optional<int> PvStatusCode(int pvRaw)
{
    if (((pvRaw >> 8) & 0xFF) != 0x80)
        return std::nullopt;
    return pvRaw & 0x0F;
}

QString PvStatusText(int code)
{
    switch (code) {
    case 1:
    case 2:
        return QStringLiteral(" Waiting...");
    case 3:
        return QStringLiteral(" No Connect");
    case 4:
    case 6:
        return QStringLiteral(" Input Error");
    case 5:
        return QStringLiteral(" Over Range");
    case 7:
        return QStringLiteral(" Memory bad");
    default:
        return QString();
    }
}

bool PvStatusAsksReread(int code)
{
    return code == 1 || code == 2;
}

bool AlarmModeUsesHigh(int mode)
{
    return mode >= 1 && mode <= 12 && mode != 3 && mode != 7 && mode != 10;
}

bool AlarmModeUsesLow(int mode)
{
    return mode >= 1 && mode <= 12 && mode != 2 && mode != 6 && mode != 9;
}

const QList<ReadBlock> &ReadBlocks()
{
    return readBlocks;
}

const ReadBlock *ReadBlockForStep(int step)
{
    if (step < 0 || step >= readBlocks.size())
        return nullptr;
    return &readBlocks[step];
}

QList<ReadBlock> ProgramReadBlocks()
{
    QList<ReadBlock> blocks = {{0, ProgramReg::StartPattern, 1, -1},
                               {1, ProgramReg::CyclesBase, 8, -1},
                               {2, ProgramReg::LastStepBase, 8, -1},
                               {3, ProgramReg::NextPatternBase, 8, -1}};
    for (int n = 0; n < ProgramReg::Steps; n += 4)
        blocks.append({4, ProgramReg::setValue(n), 8, -1});
    return blocks;
}
