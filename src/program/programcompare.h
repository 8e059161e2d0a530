#pragma once

#include "program/rampsoakprogram.h"
#include "recorder/recordfile.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>

class Canvas;

// Planned against actual: the set-value profile of a program, walked as the
// controller runs it from the moment it started, held against the process
// value that a recording of the recorder holds for one of its devices.
namespace ProgramCompare {

// A whole recording in memory: its header, and per record the moment it was
// taken and the devices' samples (Recorder::MissingSample for an "E").
struct Recording
{
    QString fileName;
    RecordFile::Header header;
    QList<QDateTime> moments; // invalid where the record holds no whole stamp
    QList<std::array<qint32, RecordFile::DeviceCount>> values;
    // Where reading stopped before the recording's end: the reason, naming
    // the record. The records before it are kept.
    QString damaged;

    // The devices in use, 0..9.
    QList<int> devices() const;
    qint64 count() const { return values.size(); }
};

// Reads a record file whole; the empty string, or what the user is told.
// `progress` gets the percent read whenever it changes.
QString load(const QString &path, Recording &out,
             const std::function<void(int percent)> &progress = {});

struct Settings
{
    int device = 0; // 0..9
    qint64 startRecord = 0; // the record taken when the program started
    int toleranceTenths = 50; // the band: planned ± this
    // The decimals of the recorded words: 1 for tenths, as the program
    // holds its set values; 0, 2 or 3 for a device whose values are scaled
    // otherwise (the record holds the register's raw word).
    int recordDecimals = 1;
};

struct Sample
{
    enum class State { Compared, Missing, AfterEnd };
    State state = State::Compared;
    qint64 seconds = 0; // from the program's start
    QDateTime moment; // as recorded; invalid when the record has none whole
    double planned = 0; // tenths; not for AfterEnd
    double actual = 0; // tenths; not for Missing
    int pattern = -1; // the step running then; -1 after the end
    int step = -1;
    double deviation() const { return actual - planned; }
};

struct StepDeviation
{
    int pattern = 0;
    int step = 0;
    double mean = 0; // tenths
    int samples = 0;
};

struct Result
{
    QList<Sample> samples; // from the start record on
    qint64 programSeconds = -1; // the program's whole time; -1 without end
    int compared = 0;
    int missing = 0;
    int afterEnd = 0;
    double largest = 0; // the largest deviation by size, with its sign
    int largestAt = -1; // index into samples; -1 when nothing was compared
    int outside = 0; // samples outside the band
    qint64 outsideSeconds = 0;
    QList<StepDeviation> steps; // in the order they first ran
    // What the user must know to read the figures: scale, records missing,
    // a recording shorter or longer than the program, the start value.
    QStringList notes;
};

Result compare(const RampSoakProgram &program, const Recording &recording,
               const Settings &settings);

// The aligned series as CSV (CR LF line ends): "Time,Planned,Actual,
// Deviation", then a row per record from the start, its time in ISO 8601
// and the values in units with two decimals; a value that is not there
// (missing, or after the program's end) is an empty field.
QByteArray csv(const Result &result);

// The chart: the planned profile, the band around it and the recorded
// value on one time axis from the start record to the last.
inline constexpr QSize ChartSize(700, 250);
void draw(const Result &result, int toleranceTenths, Canvas &canvas);

// A time in seconds as "h:mm:ss", with whole days in front when longer.
QString ElapsedText(qint64 seconds);
// Tenths as units with one decimal and a sign: 34 is "+3.4".
QString SignedUnits(double tenths);

} // namespace ProgramCompare
