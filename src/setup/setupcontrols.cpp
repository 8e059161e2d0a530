#include "setup/setupcontrols.h"

#include "setup/registermap.h"

namespace {

using F = SetupField;
using B = SetupBox;
using D = EntryDecimals;

SetupRow edit(F f, const char *name, B box, const char *code, const char *caption,
              const char *picture, int reg, D kind, int decimals, const char *codeName = "")
{
    return {f, name, box, false, code, codeName, caption, picture, reg, kind, decimals};
}

SetupRow list(F f, const char *name, B box, const char *code, const char *caption,
              const char *picture, int reg, const char *codeName = "")
{
    return {f, name, box, true, code, codeName, caption, picture, reg, D::None, 0};
}

std::array<SetupRow, SetupFieldCount> build()
{
    const D S = D::Scaled;
    const D X = D::Fixed;
    // clang-format off
    const SetupRow rows[] = {
        list(F::InputType, "InputType", B::TempBox, "P3-1", "Input Type", "rowinput", Reg::InputType),
        list(F::DegUnit, "DegUnit", B::TempBox, "P3-2", "Unit", "rowinput", Reg::Unit),
        list(F::Pointer, "Pointer", B::TempBox, "P2-3", "Decimal Point Position", "rowinput", Reg::DecimalPoint),
        edit(F::UpLimit, "UpLimit", B::TempBox, "P3-3", "Range High", "rowrange", Reg::RangeHigh, S, 0),
        edit(F::DnLimit, "DnLimit", B::TempBox, "P3-4", "Range Low", "rowrange", Reg::RangeLow, S, 0),
        edit(F::TPOffs, "TPOffs", B::TempBox, "P1-16", "Offset", "rowoffset", Reg::InputOffset, X, 1),

        list(F::CtrlSet, "CtrlSet", B::CtrlBox, "P3-5", "Control Mode", "rowcontrol", Reg::ControlMode),
        list(F::HeatCool, "HeatCool", B::CtrlBox, "P3-7", "Heating/Cooling", "rowheat", Reg::HeatCool),
        edit(F::SetV, "SetV", B::CtrlBox, "", "SV (Set Point)", "rowsv", Reg::SetValue, S, 0),
        list(F::ProgDisp, "ProgDisp", B::CtrlBox, "", "SV (Set Point)", "rowsv", Reg::ProgramDisplay),

        list(F::PIDGroup, "PIDGroup", B::PIDBox, "P1-2", "PID Parameters Group", "rowpid", Reg::PidGroupWrite),
        edit(F::PIDAimValue, "PIDAimValue", B::PIDBox, "P1-3", "Target SV", "rowsv", Reg::PidTargetWrite, S, 0),
        edit(F::KP, "KP", B::PIDBox, "P1-4", "Proportion Band", "rowpid", Reg::ProportionalBand, X, 1),
        edit(F::KI, "KI", B::PIDBox, "P1-5", "Integral Time", "rowpid", Reg::IntegralTime, X, 0),
        edit(F::KD, "KD", B::PIDBox, "P1-6", "Derivative Time", "rowpid", Reg::DerivativeTime, X, 0),
        // Both offsets share the code label LabelOfs, which the view sets.
        edit(F::SumOffs, "SumOffs", B::PIDBox, "", "I Offset", "rowoffset", Reg::IntegralOffset, X, 1),
        edit(F::PDOffs, "PDOffs", B::PIDBox, "", "PD Offset", "rowoffset", Reg::PdOffset, X, 1),
        edit(F::HCPeriodPID1, "HCPeriodPID1", B::PIDBox, "P1-11", "OUT1 Period", "rowheat", Reg::Output1Period, X, 0, "LabelPd2"),
        edit(F::HCPeriodPID2, "HCPeriodPID2", B::PIDBox, "P1-13", "OUT2 Period", "rowcool", Reg::Output2Period, X, 0),
        edit(F::Coeff, "Coeff", B::PIDBox, "P1-14", "P Coefficient", "rowpid", Reg::PCoefficient, X, 2),
        edit(F::DeadBand1, "DeadBand1", B::PIDBox, "P1-15", "DeadBand", "rowrange", Reg::DeadBand, X, 1),

        edit(F::Hyst1, "Hyst1", B::OnOffBox, "P1-9", "Heating Hysteresis", "rowheat", Reg::HeatingHysteresis, S, 0, "LabelHCTS1"),
        edit(F::Hyst2, "Hyst2", B::OnOffBox, "P1-10", "Cooling Hysteresis", "rowcool", Reg::CoolingHysteresis, S, 0, "LabelHCTS2"),
        edit(F::DeadBand2, "DeadBand2", B::OnOffBox, "P1-15", "Dead Band", "rowrange", Reg::DeadBand, X, 1),

        edit(F::OUTQ1, "OUTQ1", B::ManuBox, "P2-11", "Output1 Level (%)", "rowoutput", Reg::Output1Level, X, 1),
        edit(F::HCPeriod1, "HCPeriod1", B::ManuBox, "P1-11", "Output1 Period", "rowheat", Reg::Output1Period, X, 0, "LabelPd1"),
        edit(F::OUTQ2, "OUTQ2", B::ManuBox, "P2-12", "Output2 Level (%)", "rowoutput", Reg::Output2Level, X, 1, "LabelOut2"),
        edit(F::HCPeriod2, "HCPeriod2", B::ManuBox, "P1-13", "Output2 Period", "rowcool", Reg::Output2Period, X, 0, "LabelHCPd"),

        list(F::ALM1Mode, "ALM1Mode", B::AlmBox, "P3-8", "Alarm1", "rowalarm", Reg::Alarm1Mode),
        edit(F::UpLimit1, "UpLimit1", B::AlmBox, "P2-4", "Alarm1 High", "rowrange", Reg::Alarm1High, S, 0),
        edit(F::DnLimit1, "DnLimit1", B::AlmBox, "P2-5", "Alarm1 Low", "rowrange", Reg::Alarm1Low, S, 0),
        list(F::ALM2Mode, "ALM2Mode", B::AlmBox, "P3-9", "Alarm2", "rowalarm", Reg::Alarm2Mode),
        edit(F::UpLimit2, "UpLimit2", B::AlmBox, "P2-6", "Alarm2 High", "rowrange", Reg::Alarm2High, S, 0),
        edit(F::DnLimit2, "DnLimit2", B::AlmBox, "P2-7", "Alarm2 Low", "rowrange", Reg::Alarm2Low, S, 0),
        list(F::ALM3Mode, "ALM3Mode", B::AlmBox, "P3-10", "Alarm3", "rowalarm", Reg::Alarm3Mode),
        edit(F::UpLimit3, "UpLimit3", B::AlmBox, "P2-8", "Alarm3 High", "rowrange", Reg::Alarm3High, S, 0),
        edit(F::DnLimit3, "DnLimit3", B::AlmBox, "P2-9", "Alarm3 Low", "rowrange", Reg::Alarm3Low, S, 0),
        list(F::SALMode, "SALMode", B::AlmBox, "P3-11", "System Alarm", "rowalarm", Reg::SystemAlarm),

        list(F::ComWrite, "ComWrite", B::CtrlerBox, "P3-12", "On-line Configuration", "rowlock", Reg::OnlineConfig),
        list(F::LockStatus, "LockStatus", B::CtrlerBox, "P2-10", "Lock Mode", "rowlock", Reg::LockMode),

        list(F::RunStop, "RunStop", B::OPBox, "P2-1", "RUN/STOP", "rowrun", Reg::RunStop),
        list(F::AT, "AT", B::OPBox, "P1-1", "Auto-tuning", "rowtune", Reg::AutoTuning, "LabelAT"),

        edit(F::CurrHi, "CurrHi", B::TuneBox, "P1-17", "High Adjustment", "rowoutput", Reg::AnalogHighAdjust, X, 0),
        edit(F::CurrLo, "CurrLo", B::TuneBox, "P1-18", "Low Adjustment", "rowoutput", Reg::AnalogLowAdjust, X, 0),

        edit(F::RTDOfs, "RTDOfs", B::AdjustBox, "", "RTD Offset", "rowfactory", Reg::RtdOffset, X, 1),
        edit(F::RTDGain, "RTDGain", B::AdjustBox, "", "RTD Gain", "rowfactory", Reg::RtdGain, X, 0),
        edit(F::TCOfs, "TCOfs", B::AdjustBox, "", "TC Offset", "rowfactory", Reg::TcOffset, X, 0),
        edit(F::TCGain, "TCGain", B::AdjustBox, "", "TC Gain", "rowfactory", Reg::TcGain, X, 0),
        edit(F::ColdOfs, "ColdOfs", B::AdjustBox, "", "Cold-J Offset", "rowfactory", Reg::ColdJunctionOffset, X, 1),
        edit(F::mVOfs, "mVOfs", B::AdjustBox, "", "Linear Offset", "rowfactory", Reg::LinearOffset, X, 0),
        edit(F::mVGain, "mVGain", B::AdjustBox, "", "Linear Gain", "rowfactory", Reg::LinearGain, X, 0),
        list(F::OutputType1, "OutputType1", B::AdjustBox, "", "Output 1 Type", "rowoutput", Reg::Output1Type),
        list(F::OutputType2, "OutputType2", B::AdjustBox, "", "Output 2 Type", "rowoutput", Reg::Output2Type),
    };
    // clang-format on
    std::array<SetupRow, SetupFieldCount> table {};
    for (const SetupRow &row : rows)
        table[size_t(row.field)] = row;
    return table;
}

} // namespace

const std::array<SetupRow, SetupFieldCount> &SetupRows()
{
    static const std::array<SetupRow, SetupFieldCount> rows = build();
    return rows;
}

const SetupRow &RowOf(SetupField field)
{
    return SetupRows().at(size_t(field));
}

const char *BoxName(SetupBox box)
{
    static const char *const names[SetupBoxCount] = {"TempBox", "CtrlBox",  "PIDBox",    "OnOffBox",
                                                     "ManuBox", "AlmBox",   "CtrlerBox", "OPBox",
                                                     "TuneBox", "AdjustBox"};
    return names[int(box)];
}

QString BoxCaption(SetupBox box)
{
    static const char *const captions[SetupBoxCount] = {
        "Input Setup",      "Control Setup",  "PID Parameter",
        "ON-OFF",           "Manual",         "Alarm Setup",
        "Controller Setup", "Operation Mode", "Output1 Setup (Analog Output)",
        "Factory Setup"};
    return QString::fromLatin1(captions[int(box)]);
}
