#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The controller's registers as data: every window that reads or writes a
// register looks it up here. Addresses are the register numbers as sent on
// the line (0x4700 to 0x47FF, plus 0x101C and 0x101D).

// How a register value is turned into text.
enum class ScaleKind {
    Scaled, // in the units of the input; follows the decimal point position
    Tenths, // one implied decimal, two's complement
    UnsignedTenths, // one implied decimal, 0 to 6553.5
    SignedTenths, // one implied decimal, two's complement (program set values)
    Hundredths, // two implied decimals
    Integer, // unsigned, no scaling
    SignedInteger, // two's complement, no scaling
    List, // an enumeration: the value is the list position
    Bits, // a bit field
    CommandKey, // takes the command key, not a value
    Version, // firmware version: major in the high byte, minor in the low
};

// How the program writes a register.
enum class WriteForm {
    None, // read only
    Edit, // an edit field of the setup view
    List, // a list of the setup view
    WriteAllOnly, // only write-all writes it
    UnlockKey, // takes the command key (the unlock register)
    Button, // a command button
    Program, // the program editor's write
};

struct RegisterInfo
{
    int address = 0;
    int entry = -1; // ParameterImage entry, -1 when the register has none
    QString code; // parameter code printed beside the field, empty if none
    QStringList controls; // the controls that show it; none for some
    QString meaning;
    ScaleKind scale = ScaleKind::Integer;
    QList<int> steps; // read steps that read it (0 to 13); empty if none
    WriteForm write = WriteForm::None;
    bool unlock = false; // a write needs the unlock write first
    bool writeAll = false; // written by write-all
};

// Every register, in address order (0x101C and 0x101D last). The 153 program
// registers 0x4767 to 0x47FF are included.
const QList<RegisterInfo> &RegisterMap();

// The register at an address, or nullptr when the controller has none there.
const RegisterInfo *FindRegister(int address);
// True when a write of the register needs the unlock write first: what the
// setup view, the engine's single writes and write-all go by.
bool RegisterNeedsUnlock(int address);

// Named registers.
namespace Reg {
constexpr int ProcessValue = 0x4700;
constexpr int SetValue = 0x4701;
constexpr int Output1Level = 0x4702;
constexpr int Output2Level = 0x4703;
constexpr int RangeHigh = 0x4704;
constexpr int RangeLow = 0x4705;
constexpr int Alarm1High = 0x4706;
constexpr int Alarm1Low = 0x4707;
constexpr int Alarm2High = 0x4708;
constexpr int Alarm2Low = 0x4709;
constexpr int Alarm3High = 0x470A;
constexpr int Alarm3Low = 0x470B;
constexpr int ProportionalBand = 0x470C;
constexpr int IntegralTime = 0x470D;
constexpr int DerivativeTime = 0x470E;
constexpr int IntegralOffset = 0x470F;
constexpr int PdOffset = 0x4710;
constexpr int PCoefficient = 0x4711;
constexpr int DeadBand = 0x4712;
constexpr int HeatingHysteresis = 0x4713;
constexpr int CoolingHysteresis = 0x4714;
constexpr int AnalogHighAdjust = 0x4715;
constexpr int AnalogLowAdjust = 0x4716;
constexpr int OnlineConfigWord = 0x4717;
constexpr int InputType = 0x4718;
constexpr int ControlMode = 0x4719;
constexpr int HeatCool = 0x471A;
constexpr int Output1Period = 0x471B;
constexpr int Output2Period = 0x471C;
constexpr int InputOffset = 0x471D;
constexpr int LockMode = 0x471E;
constexpr int SystemAlarm = 0x471F;
constexpr int Alarm1Mode = 0x4720;
constexpr int Alarm2Mode = 0x4721;
constexpr int Alarm3Mode = 0x4722;
constexpr int RunStop = 0x4723;
constexpr int Unit = 0x4724;
constexpr int DecimalPoint = 0x4725;
constexpr int OnlineConfig = 0x4726;
constexpr int AutoTuning = 0x4727;
constexpr int Status = 0x4728;
constexpr int SetupChanged = 0x4729; // bit 0 clear: the setup should be read again
constexpr int Firmware = 0x472A; // also the unlock register
constexpr int ProgramRunning = 0x472B;
constexpr int EventInputs = 0x472D;
constexpr int Output1Type = 0x4730;
constexpr int Output2Type = 0x4731;
constexpr int RtdOffset = 0x4732;
constexpr int RtdGain = 0x4733;
constexpr int TcOffset = 0x4734;
constexpr int TcGain = 0x4735;
constexpr int ColdJunctionOffset = 0x4736;
constexpr int LinearOffset = 0x4737;
constexpr int LinearGain = 0x4738;
constexpr int Identification1 = 0x4744;
constexpr int IdentificationWord = 0x4745;
constexpr int ModelCode = 0x4746;
constexpr int Identification2 = 0x4747;
constexpr int RestoreDefaults = 0x474E;
constexpr int ClearAdjustments = 0x474F;
constexpr int PidGroupWrite = 0x4756;
constexpr int PidTargetWrite = 0x475F;
constexpr int ProgramDisplay = 0x4762;
constexpr int ProgramSecondsLeft = 0x4763;
constexpr int ProgramMinutesLeft = 0x4764;
constexpr int ProgramCurrentStep = 0x4765;
constexpr int ProgramCurrentPattern = 0x4766;
constexpr int PidGroup = 0x101C;
constexpr int PidTarget = 0x101D;
} // namespace Reg

// The identification word a controller reports at 0x4745.
constexpr int IdentificationValue = 0x4456;

// The word written to 0x472A before a protected write, and to the command
// registers 0x474E and 0x474F.
constexpr int CommandKey = 0x5AC3;

// Model codes (0x4746) and their classes 1 to 4.
constexpr int ModelCode4824 = 0x4824;
constexpr int ModelCode4848 = 0x4848;
constexpr int ModelCode4896 = 0x4896;
constexpr int ModelCode9696 = 0x9696;
constexpr int ModelCodeAlias4824 = 0x3432; // reported by some units, taken as 0x4824
constexpr int ModelCodes[] = {ModelCode4824, ModelCode4848, ModelCode4896, ModelCode9696};

// The model code as the program keeps it: 0x3432 becomes 0x4824, any other
// code is returned unchanged.
int NormalizedModelCode(int code);
// The class 1 to 4 of a model code (0x3432 counts as 0x4824); 0 if unknown.
int ModelClass(int code);
// True for the four codes a parameter file may carry (0x3432 is not one).
bool IsModelCode(int code);

// Status bits of 0x4728.
namespace StatusBit {
constexpr int Alarm3 = 1 << 0;
constexpr int Alarm2 = 1 << 1;
constexpr int DegreesC = 1 << 2;
constexpr int DegreesF = 1 << 3;
constexpr int Alarm1 = 1 << 4;
constexpr int Output2 = 1 << 5;
constexpr int Output1 = 1 << 6;
constexpr int AutoTuning = 1 << 7;
constexpr int AnyAlarm = Alarm1 | Alarm2 | Alarm3;
} // namespace StatusBit

// Event input bits of 0x472D.
constexpr int EventInput1Bit = 1 << 3;
constexpr int EventInput2Bit = 1 << 2;

// Process-value status codes: when the high byte of 0x4700 is 0x80 the low
// four bits are a status code instead of a value.
std::optional<int> PvStatusCode(int pvRaw);
// The text shown instead of the value; empty for codes 0 and 8 to 15.
QString PvStatusText(int code);
// Codes 1 and 2 ask for a setup re-read of the selected controller.
bool PvStatusAsksReread(int code);

// Alarm modes: which limits a mode uses.
bool AlarmModeUsesHigh(int mode);
bool AlarmModeUsesLow(int mode);

// Read blocks: one request each.
struct ReadBlock
{
    int step = 0;
    int start = 0;
    int count = 0;
    int firstEntry = -1; // ParameterImage entry of the first word (steps 6 to 11)
};

constexpr int ReadStepCount = 15; // steps 0 to 14
constexpr int FirstSetupStep = 6;
constexpr int LastSetupStep = 13;
// The block of a request step 0 to 14; nullptr for any other step. Step 14
// (0x472E, 2 registers) is defined but never reached by the engine.
const ReadBlock *ReadBlockForStep(int step);
const QList<ReadBlock> &ReadBlocks();

// The ramp/soak program registers, in the order the program is written.
namespace ProgramReg {
constexpr int Patterns = 8;
constexpr int StepsPerPattern = 8;
constexpr int Steps = Patterns * StepsPerPattern; // 64
constexpr int StartPattern = 0x4767;
constexpr int LastStepBase = 0x4768;
constexpr int CyclesBase = 0x4770;
constexpr int NextPatternBase = 0x4778;
constexpr int StepBase = 0x4780;
constexpr int First = StartPattern;
constexpr int Last = 0x47FF;
constexpr int Count = Last - First + 1; // 153
constexpr int ProgramEnd = 8; // next pattern value that ends the program
constexpr int MaxCycles = 99;
constexpr int MaxStepMinutes = 900;

constexpr int lastStep(int pattern)
{
    return LastStepBase + pattern;
}
constexpr int cycles(int pattern)
{
    return CyclesBase + pattern;
}
constexpr int nextPattern(int pattern)
{
    return NextPatternBase + pattern;
}
// Step k = pattern * 8 + step.
constexpr int setValue(int k)
{
    return StepBase + 2 * k;
}
constexpr int stepTime(int k)
{
    return StepBase + 2 * k + 1;
}
// Program-write position p goes to this register.
constexpr int forPosition(int p)
{
    return First + p;
}
} // namespace ProgramReg

// The program read: one block per phase 0 to 3, then the step blocks
// 0x4780 + 2n (n = 0, 4, ..., 60), eight registers each.
QList<ReadBlock> ProgramReadBlocks();
