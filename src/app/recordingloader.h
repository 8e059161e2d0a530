#pragma once

#include "program/programcompare.h"

// A record file of the recorder read whole for the program editor's
// comparison: the empty string, or what the user is told. Records up to a
// damaged one are kept, and the damage is named in `out.damaged`.
QString LoadRecording(const QString &path, ProgramCompare::Recording &out);
