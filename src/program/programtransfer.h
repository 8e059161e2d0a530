#pragma once

#include "program/rampsoakprogram.h"
#include "setup/registerwrite.h"

#include <QList>
#include <QString>

// The program's transfers with a controller, register by register as the
// register map lays them out: the read's replies into the program, the
// program into its 153 writes, and the names of values a write left out.
namespace ProgramTransfer {

// The words of a read reply into the program: phase 0 the start pattern,
// 1 the additional cycles, 2 the last steps, 3 the next patterns, 4 the four
// steps from `firstStep` (set value as signed 16-bit, then time). False for
// any other phase.
bool applyReply(RampSoakProgram &program, int phase, int firstStep, const QList<quint16> &words);
// The read's gauge after the step block from `firstStep`: the four single
// blocks count as four steps.
int readPercent(int firstStep);

// The 153 writes, registers 0x4767 to 0x47FF in ascending order.
QList<RegisterWrite> writes(const RampSoakProgram &program);

// How a value of the program is named to the user, by its position in the
// register order: "next pattern of pattern 7", "set value of pattern 0, step 0".
QString describePosition(int position);
// The values of writes not taken, one a line; a long list is cut.
QString listOf(const QList<RegisterWrite> &writes);

} // namespace ProgramTransfer
