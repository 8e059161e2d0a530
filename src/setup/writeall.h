#pragma once

#include "setup/parameterimage.h"
#include "setup/registerwrite.h"

#include <QList>
#include <QString>

// Write-all: a parameter image written to a controller register by
// register, in 41 numbered steps:
//   0        0x4726 := 1 (on-line configuration on for the run)
//   1        0x4717 := entry 23 with bit 0 set
//   2..15    0x4718..0x4725 := entries 24..37
//   16..37   0x4701..0x4716 := entries 1..22
//   38, 39   0x101C, 0x101D := entries 38, 39
//   40       0x4726 := bit 0 of entry 23 (the image's own setting)
// The set value (16) is skipped in program control (mode 3), the output
// levels (17, 18) in every mode but manual (2).
namespace WriteAll {

constexpr int LastStep = 40;

QList<RegisterWrite> steps(const ParameterImage &image);
// The gauge after `step` is done: (step + 1) * 100 / 40.
int percentAfter(int step);
// "P1-4 Proportional Band (0x470C)": how a register is named to the user.
QString describe(int reg);

} // namespace WriteAll
