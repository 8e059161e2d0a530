#pragma once

#include <QList>
#include <QtGlobal>

// The simulated controller's own register table: which registers exist, who
// may write them, which values they take, and the factory values. It is
// written from the controllers' register list independently of the program's
// register map, so that a slip in one shows up against the other.

enum class SimAccess {
    ReadOnly, // process value, status, identification, running program
    ReadWrite,
    Unlock, // written only right after the command key went to 0x472A
    KeyRegister, // 0x472A: takes the command key, holds the firmware version
    Command, // 0x474E, 0x474F: take the command key right after the unlock write
};

struct SimRegister
{
    int address = 0;
    quint16 factory = 0;
    SimAccess access = SimAccess::ReadOnly;
    // Values a write may carry: any value when both lists are empty and
    // maxValue is 0xFFFF; otherwise a value in minValue..maxValue (unsigned)
    // that is not in `holes`, or one of `allowed`.
    int minValue = 0;
    int maxValue = 0xFFFF;
    QList<int> allowed;
    QList<int> holes;

    bool accepts(int value) const;
};

// Every register the simulated controller has, in address order. Registers
// that are not in the table answer exception 2.
const QList<SimRegister> &SimRegisterTable();
const SimRegister *FindSimRegister(int address);

// Command key, identification and firmware of the simulated controllers.
namespace Sim {
constexpr int CommandKey = 0x5AC3;
constexpr int KeyRegister = 0x472A;
constexpr int RestoreRegister = 0x474E;
constexpr int ClearAdjustRegister = 0x474F;
constexpr int IdentificationWord = 0x4456;
constexpr int FirmwareVersion = 0x010A; // shown as "1.0A"
constexpr int DefaultModel = 0x4848;
} // namespace Sim
