#include "setup/enumerations.h"

#include "setup/registermap.h"

namespace {

QList<EnumItem> positional(const QStringList &texts)
{
    QList<EnumItem> items;
    for (int i = 0; i < texts.size(); ++i)
        items.append({i, texts.at(i)});
    return items;
}

QList<Enumeration> build()
{
    QList<Enumeration> all;
    all.append({{Reg::InputType},
                positional({"K-Type", "J-Type", "T-Type", "E-Type", "N-Type", "R-Type", "S-Type",
                            "B-Type", "L-Type", "U-Type", "TXK", "JPt100", "Pt100", "0~5V", "0~10V",
                            "0~20mA", "4~20mA", "0~50mV"})});
    all.append({{Reg::ControlMode}, positional({"PID", "ON / OFF", "Manual", "Ramp / Soak"})});
    all.append({{Reg::HeatCool},
                positional({"Heating", "Cooling", "Heating/Cooling", "Cooling/Heating"})});
    // The lock list writes 0, 1 and 0x000B; a value read back is taken as the
    // list position.
    all.append(
        {{Reg::LockMode}, {{0, "Unlocked"}, {1, "Lock all keys"}, {0x000B, "SV change only"}}});
    all.append({{Reg::SystemAlarm}, positional({"Disable", "Alarm1", "Alarm2", "Alarm3"})});
    // Entry 13 is empty: there is no alarm mode 13.
    all.append(
        {{Reg::Alarm1Mode, Reg::Alarm2Mode, Reg::Alarm3Mode},
         positional({"0 Alarm Disabled", "1 Upper/Lower Limit", "2 Upper Limit", "3 Lower Limit",
                     "4 Reverse Upper/Lower Limit", "5 Absolute Upper/Lower Limit",
                     "6 Absolute Upper Limit", "7 Absolute Lower Limit",
                     "8 Standby Upper/Lower Limit", "9 Standby Upper Limit",
                     "10 Standby Lower Limit", "11 Hysteresis Upper Limit",
                     "12 Hysteriesis Lower Limit", "", "14 Ramp/Soak Completion", "15 In Ramp Up",
                     "16 In Ramp Down", "17 In Soak", "18 Running Ramp/Soak"})});
    all.append({{Reg::RunStop}, positional({"Stop", "Run", "Stop Program", "Hold Program"})});
    // 2 and above is the engineering unit; its text depends on the input type
    // (UnitText). The list carries "F", "C" and one unit item.
    all.append({{Reg::Unit}, positional({"F", "C"})});
    all.append(
        {{Reg::DecimalPoint}, positional({"0 (****)", "1 (***.*)", "2 (**.**)", "3 (*.***)"})});
    all.append({{Reg::AutoTuning}, positional({"Stop", "Start"})});
    all.append({{Reg::Output1Type},
                positional({"Relay", "Voltage Pulse", "4~20mA", "0~5V", "0~10V", "None"})});
    all.append({{Reg::Output2Type}, positional({"Relay", "Voltage Pulse", "None"})});
    all.append({{Reg::PidGroupWrite, Reg::PidGroup}, positional({"0", "1", "2", "3", "4 (Auto)"})});
    all.append({{Reg::ProgramDisplay}, positional({"Pattern-Step", "SV", "Time Left"})});
    all.append({{Reg::OnlineConfig, Reg::OnlineConfigWord}, positional({"Disable", "Enable"})});
    return all;
}

} // namespace

QStringList Enumeration::texts() const
{
    QStringList list;
    for (const EnumItem &item : items)
        list.append(item.text);
    return list;
}

QString Enumeration::textOf(int value) const
{
    for (const EnumItem &item : items) {
        if (item.value == value)
            return item.text;
    }
    return QString();
}

bool Enumeration::contains(int value) const
{
    for (const EnumItem &item : items) {
        if (item.value == value)
            return !item.text.isEmpty();
    }
    return false;
}

const QList<Enumeration> &Enumerations()
{
    static const QList<Enumeration> all = build();
    return all;
}

const Enumeration *EnumerationFor(int address)
{
    for (const Enumeration &e : Enumerations()) {
        if (e.registers.contains(address))
            return &e;
    }
    return nullptr;
}

QString UnitText(int unit, int inputType)
{
    if (unit == 0)
        return QStringLiteral("F");
    if (unit == 1)
        return QStringLiteral("C");
    if (inputType == 17)
        return QStringLiteral("mV");
    if (inputType == 15 || inputType == 16)
        return QStringLiteral("mA");
    if (inputType == 13 || inputType == 14)
        return QStringLiteral("V");
    return QStringLiteral("EU");
}

QStringList PidGroupViewTexts()
{
    return {"0", "1", "2", "3", "4(Auto)"};
}

QString PidGroupEventText()
{
    return QStringLiteral("SV");
}

QStringList BaseUnitTexts()
{
    return {"F", "C"};
}
