#pragma once

#include "program/rampsoakprogram.h"

#include <QSize>

class Canvas;

// The size of the curve below the program table.
inline constexpr QSize ProgramCurveSize(620, 95);

// Draws the program as a curve of set value over time, from the start
// pattern along the chain of next patterns: a frame, the lead-in in green,
// the pattern the chain comes back to and what follows it in blue, the
// repetitions in navy up to the right edge, and, when the program ends, an
// olive line holding the last set value to the edge. The canvas is made
// 620 x 95 when it has another size.
//
// Returns false, and leaves the canvas as it was, when there is nothing to
// draw: the start pattern is not 0..7 or the chain holds no time.
bool DrawProgramCurve(const RampSoakProgram &program, Canvas &canvas);
