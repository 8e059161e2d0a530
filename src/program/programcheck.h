#pragma once

#include "program/rampsoakprogram.h"

#include <QList>
#include <QString>
#include <optional>

// The range of set values a controller accepts, as its setup holds it:
// Range Low and Range High (P3-4, P3-3) as register words, with the decimal
// point position and the kind of input that give their scale.
struct ControllerRange
{
    int low = 0; // register word of 0x4705
    int high = 0; // register word of 0x4704
    int decimals = 1; // 0x4725
    bool linearInput = false; // input type above 12

    bool operator==(const ControllerRange &) const = default;
};

class ParameterImage;
// The range a setup image holds.
ControllerRange RangeOfSetup(const ParameterImage &image);

// Register units per unit shown: a temperature input with the decimal point
// at 0 or 1 holds tenths; any other holds the shown digits.
int RegisterUnitsPerUnit(int decimals, bool linearInput);

// What the program check says about one step or pattern, or the whole run.
struct CheckFinding
{
    enum class Level { Error, Warning, Note };
    Level level = Level::Note;
    int pattern = -1; // -1: the whole run
    int step = -1; // -1: the whole pattern
    QString text;
};

// The program as it will run from its start pattern: the run's text and
// time, then the findings, errors first, then warnings, then the ramp rate of
// every step that runs.
struct ProgramCheck
{
    // "pattern 0 ×3 → 1 → 2 ×2 → end": the patterns in the order they run,
    // with the times each runs where more than once.
    QString runText;
    // "Total time 07:15", "Total time 2 d 03:15", or, for a chain that links
    // back, "Runs without end: pattern 2 → 3 → 2 (every 03:20, after 01:00)".
    QString timeText;
    bool endless = false;
    qint64 minutes = 0; // the whole run, or the lead-in and one loop
    // The steepest ramp of the run, in tenths per minute (its sign is the
    // direction), and the step it belongs to; pattern -1 when no step ramps.
    double steepest = 0;
    int steepestPattern = -1;
    int steepestStep = -1;
    QList<CheckFinding> findings;

    int errorCount() const;
    // The errors' texts, one a line.
    QString errorsText() const;
};

// Checks the program; `range` is the selected controller's when its setup
// is known.
ProgramCheck CheckProgram(const RampSoakProgram &program,
                          const std::optional<ControllerRange> &range = {});

// A time in minutes as "hh:mm", with whole days in front when longer: 435 is
// "07:15", 3075 is "2 d 03:15".
QString DurationText(qint64 minutes);
// A rate in tenths per minute as units per minute: 25 is "+2.50/min".
QString RampText(double tenthsPerMinute);
