#pragma once

#include "program/rampsoakprogram.h"

#include <QString>
#include <array>

// The program table: its cells' texts and the editors that change them.
namespace ProgramGrid {

// The grid's shape: a title row and column, then the program.
constexpr int Rows = 20;
constexpr int Columns = 9;
constexpr int LastStepRow = 17;
constexpr int CyclesRow = 18;
constexpr int NextPatternRow = 19;
constexpr bool isSetValueRow(int row)
{
    return row >= 1 && row <= 15 && row % 2 == 1;
}
constexpr bool isTimeRow(int row)
{
    return row >= 2 && row <= 16 && row % 2 == 0;
}
constexpr int stepOfRow(int row)
{
    return (row - 1) / 2;
}

using Cells = std::array<std::array<QString, Columns>, Rows>;

// "Pattern n", "Prog End" for 8, the number itself for anything else.
QString NextPatternText(int value);
// The titles and every cell of the program.
void FillCells(Cells &cells, const RampSoakProgram &program);

} // namespace ProgramGrid

// Which control takes the focus when the editors are set up.
enum class ProgramFocus { None, SPEdit, MaxStep, StepLink, POKBt };

// The editors of EditBox as they show.
struct ProgramEditors
{
    bool stepLinkLbVisible = false;
    QString stepLinkLbCaption;
    bool spEditVisible = false;
    QString spEditText;
    bool maxStepVisible = false;
    int maxStepIndex = -1;
    bool stepLinkVisible = false;
    int stepLinkIndex = -1;
    bool timeVisible = false; // TimeHour, TimeMin and their captions
    int timeHour = -1; // no hour shown for a time beyond the editor's 15 h
    QString timeMinText = QStringLiteral("0");
    bool timeMinEnabled = true;
};

namespace ProgramGrid {

// Shows the editor of the row's kind; returns the control that takes the focus.
ProgramFocus SetUpEditors(ProgramEditors &editors, int row);
// Loads the value of the cell (row 1..19, column 1..8) into its editor.
void LoadEditors(ProgramEditors &editors, const RampSoakProgram &program, const Cells &cells,
                 int row, int column);

// What a commit of the editor into its cell did.
struct Commit
{
    enum class Kind { Stored, Ignored, Refused };
    Kind kind = Kind::Ignored;
    QString message; // when Refused
};
// The editor of the row into the program and the cell: the last step, the
// cycles (a whole number, at most 99; other text keeps the old value), the
// next pattern, a set value (digits, one ".", a leading "-"; other
// characters are ignored, a text without a digit after its point is
// refused) or a time (hour and minute).
Commit CommitEditors(const ProgramEditors &editors, RampSoakProgram &program, Cells &cells, int row,
                     int column);

} // namespace ProgramGrid
