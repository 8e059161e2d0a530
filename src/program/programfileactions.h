#pragma once

#include "program/rampsoakprogram.h"

#include <QString>

// The program window's "Write to File" and "Open File": the file dialogs,
// the program file and what the user is told.
namespace ProgramFileActions {

struct Outcome
{
    bool chosen = false; // false: the user cancelled, nothing happened
    bool ok = false; // written, or read whole (then `program` holds it)
    RampSoakProgram program;
    QString fileName; // the name alone
    QString message; // the message box's text, titled "Message"
};

// Asks where (and before replacing a file) and writes the program there.
Outcome save(const RampSoakProgram &program);
// Asks which file and reads it; a file is taken whole or not at all.
Outcome open();

} // namespace ProgramFileActions
