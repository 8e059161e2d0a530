#pragma once

#include <QString>
#include <array>

// The controls of the setup view: every parameter row with its field or
// list, the group box it sits in, and what an entry in it writes.

enum class SetupBox : int {
    TempBox,
    CtrlBox,
    PIDBox,
    OnOffBox,
    ManuBox,
    AlmBox,
    CtrlerBox,
    OPBox,
    TuneBox,
    AdjustBox,
    Count
};
constexpr int SetupBoxCount = int(SetupBox::Count);

// One per row, in the order the rows stand in their boxes.
enum class SetupField : int {
    // Input Setup
    InputType,
    DegUnit,
    Pointer,
    UpLimit,
    DnLimit,
    TPOffs,
    // Control Setup
    CtrlSet,
    HeatCool,
    SetV,
    ProgDisp, // in the place of SetV
    // PID Parameter
    PIDGroup,
    PIDAimValue,
    KP,
    KI,
    KD,
    SumOffs,
    PDOffs, // in the place of SumOffs
    HCPeriodPID1,
    HCPeriodPID2, // this and the next two on the panel OUT2PL
    Coeff,
    DeadBand1,
    // ON-OFF
    Hyst1,
    Hyst2,
    DeadBand2,
    // Manual
    OUTQ1,
    HCPeriod1,
    OUTQ2,
    HCPeriod2,
    // Alarm Setup
    ALM1Mode,
    UpLimit1,
    DnLimit1,
    ALM2Mode,
    UpLimit2,
    DnLimit2,
    ALM3Mode,
    UpLimit3,
    DnLimit3,
    SALMode,
    // Controller Setup
    ComWrite,
    LockStatus,
    // Operation Mode
    RunStop,
    AT,
    // Output1 Setup (Analog Output)
    CurrHi,
    CurrLo,
    // Factory Setup
    RTDOfs,
    RTDGain,
    TCOfs,
    TCGain,
    ColdOfs,
    mVOfs,
    mVGain,
    OutputType1,
    OutputType2,
    Count
};
constexpr int SetupFieldCount = int(SetupField::Count);

// How many decimals an entry is scaled to.
enum class EntryDecimals {
    None, // lists
    Fixed, // `decimals` of the row
    Scaled, // as the field shows the value: the decimal point position for a
            // linear input or two and three decimals, else 1 (tenths)
};

struct SetupRow
{
    SetupField field;
    const char *name; // the field's or list's object name
    SetupBox box;
    bool list = false;
    const char *code = ""; // parameter code; "" for none
    const char *codeName = ""; // object name of a code label the program names
    const char *caption = "";
    const char *picture = ""; // the small picture at the row's end
    int reg = 0; // the register an entry writes; 0 for none
    EntryDecimals decimalsKind = EntryDecimals::None;
    int decimals = 0;
    // Whether a write needs the unlock first is the register's: see
    // RegisterNeedsUnlock.
};

// The row of a field.
const SetupRow &RowOf(SetupField field);
// Every row, in field order.
const std::array<SetupRow, SetupFieldCount> &SetupRows();
// The box's object name and caption.
const char *BoxName(SetupBox box);
QString BoxCaption(SetupBox box);
