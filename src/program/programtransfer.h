#pragma once

#include "program/rampsoakprogram.h"
#include "setup/registerwrite.h"

#include <QList>

// The ramp/soak program on the line: what a program-read reply puts into the
// program, and the writes that put the program into a controller. The
// program window and the command line both go by these.
namespace ProgramTransfer {

// A reply of the program read in `phase` (0: start pattern; 1 additional
// cycles, 2 last steps, 3 next patterns, a word per pattern; 4: the set
// value and time of the four steps from `firstStep`) into `program`. Words
// missing from a short reply count as 0; steps beyond the last are ignored.
void applyReply(RampSoakProgram &program, int phase, int firstStep, const QList<quint16> &words);

// The 153 writes of the program, in register order, each carrying its
// position as its step.
QList<RegisterWrite> writes(const RampSoakProgram &program);

} // namespace ProgramTransfer
