#pragma once

#include <QtGlobal>
#include <array>

// The ramp/soak program of one controller: eight patterns of eight steps,
// each step a set value and a time, and per pattern the last step it runs,
// how often it repeats and the pattern that follows. One instance lives for
// the whole run of the program: the editor window, the transfers and the
// program file share it. Values are kept as read or typed; the editor and
// the file reader keep them within what the registers hold.
struct RampSoakProgram
{
    static constexpr int Patterns = 8;
    static constexpr int StepsPerPattern = 8;
    static constexpr int Steps = Patterns * StepsPerPattern; // 64
    static constexpr int Values = 153; // registers 0x4767 to 0x47FF
    static constexpr int ProgramEnd = 8; // NextPattern that ends the program
    static constexpr int MaxCycles = 99;
    static constexpr int MaxEditorMinutes = 900; // 15 h, the editor's largest time

    qint32 StartPattern = 0; // 0..7
    std::array<qint32, Patterns> LastStep {}; // 0..7
    std::array<qint32, Patterns> AdditionalCycles {}; // 0..99
    std::array<qint32, Patterns> NextPattern {}; // 0..7, or 8: program end
    // By step index k = pattern * 8 + step.
    std::array<qint32, Steps> SetValue {}; // tenths of the unit, signed 16-bit
    std::array<qint32, Steps> StepTime {}; // minutes

    static constexpr int index(int pattern, int step) { return pattern * StepsPerPattern + step; }

    // The program-write order, which is the register order: position p goes
    // to register 0x4767 + p. 0 StartPattern; 1..8 LastStep; 9..16
    // AdditionalCycles; 17..24 NextPattern; 25..152 set value (odd) and time
    // (even) of step (p - 25) / 2.
    qint32 atPosition(int p) const;
    void setAtPosition(int p, qint32 value);
    // The register word of position p: a negative set value as its 16-bit
    // two's complement.
    quint16 wordAt(int p) const { return quint16(atPosition(p) & 0xFFFF); }

    bool operator==(const RampSoakProgram &) const = default;
};
