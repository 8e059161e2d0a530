#pragma once

#include "program/rampsoakprogram.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class Canvas;

// Planned against actual: the set-value profile of a program, walked as the
// controller runs it from the moment it started, held against the process
// value that a recording of the recorder holds for one of its devices.
namespace ProgramCompare {

constexpr int Devices = 10; // a recording's devices 1 to 10
constexpr qint32 MissingValue = 32768; // a device given up ("E")

// A whole recording of the recorder in memory: per device its address (0:
// not in use), the sample time, and per record the moment it was taken and
// the devices' samples in tenths (MissingValue for an "E").
struct Recording
{
    QString fileName;
    std::array<int, Devices> addresses {};
    int sampleTime = 1; // seconds
    // Invalid where the record holds no whole stamp; in UTC or local time (the
    // reader gives UTC), shown in local time.
    QList<QDateTime> moments;
    QList<std::array<qint32, Devices>> values;
    // Where reading stopped before the recording's end: the reason, naming
    // the record. The records before it are kept.
    QString damaged;

    // The devices in use, 0..9.
    QList<int> devices() const;
    qint64 count() const { return values.size(); }
};

// Reads a record file whole into `out`: the empty string, or what the user
// is told (and `out` is left alone). The recorder's file format is the
// recorder's: the application gives the comparison its reader.
using RecordingLoader = std::function<QString(const QString &path, Recording &out)>;

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

// A record before the program's start: drawn, never compared.
struct Before
{
    qint64 seconds = 0; // before the start: negative
    double actual = 0; // tenths
    bool missing = false;
};

struct Result
{
    QList<Sample> samples; // from the start record on
    QList<Before> before; // the records before the start record
    qint64 startRecord = 0;
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

// Each record's time in seconds from record 0, from the time stamps; a
// record without one, or with one behind the record before it (the clock
// was set back), is placed a sample time after the one before.
QList<qint64> RecordSeconds(const Recording &recording);

// Where the program started in the recording: the first record from which
// the recorded value of the device follows the planned profile best (the
// least mean deviation over the program's time, or over what the recording
// holds of it).
qint64 FindStart(const RampSoakProgram &program, const Recording &recording,
                 const Settings &settings);

// The record a click at x on the chart points at.
qint64 RecordAtChartX(const Result &result, int x);

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
