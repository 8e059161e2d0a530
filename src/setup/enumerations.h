#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The enumerations of the controller's list registers, with the texts the
// lists show. Unless an enumeration says otherwise, the register value is the
// list position.

struct EnumItem
{
    int value = 0; // the register value written for this item
    QString text;
};

struct Enumeration
{
    QList<int> registers; // the registers that use it
    QList<EnumItem> items; // in list order
    // The list items' texts, in list order.
    QStringList texts() const;
    // The text of a register value; empty when the value selects no item.
    QString textOf(int value) const;
    // True when the value is one of the items (an empty item does not count).
    bool contains(int value) const;
};

// The enumeration used by a register, or nullptr when it has none.
const Enumeration *EnumerationFor(int address);

// All enumerations.
const QList<Enumeration> &Enumerations();

// Unit text for the unit register (0x4724) value and the input type
// (0x4718): "F", "C", or for 2 and above the engineering unit "mV" (type 17),
// "mA" (15, 16), "V" (13, 14) or "EU" (any other type).
QString UnitText(int unit, int inputType);

// Input types 0 to 12 are temperature inputs, 13 to 17 linear (analog) inputs.
constexpr int LastTemperatureInput = 12;
inline bool IsLinearInput(int inputType)
{
    return inputType > LastTemperatureInput;
}

// The PID group list as the view rebuilds it, and its single item while
// event input 2 is active.
QStringList PidGroupViewTexts();
QString PidGroupEventText();

// The unit list always starts with these two items.
QStringList BaseUnitTexts();
