#pragma once

#include "recorder/recordfile.h"

#include <QString>
#include <functional>

class RecorderAcquisition;
namespace Recorder {
struct Data;
class TrendChart;
} // namespace Recorder

// What the window shows of a record file being viewed.
struct RecordViewerView
{
    bool viewing = false;
    bool trackBarVisible = false; // TrackBar
    int trackMax = 0; // its range 0..N - W
    int trackPos = 0;
    int recordedSampleTime = 1; // SampleTime steps by it, and not below it
    bool exportEnabled = false; // ExportBt
    int opened = 0; // rises with each file opened: the track bar starts again
};

// A record file opened again: its devices and sample time taken from its
// header, a chart width of its records shown, the track bar and the viewing
// interval moving through it, and its export to CSV.
class RecordViewer
{
public:
    RecordViewer(Recorder::Data &data, Recorder::TrendChart &chart,
                 RecorderAcquisition &acquisition);

    const RecordViewerView &view() const { return m_view; }
    const QString &file() const { return m_path; }

    // "Open File": the dialog, then the file.
    void OpenBtClick();
    // Opens and shows `path`; false (with its message shown) when refused.
    bool open(const QString &path);
    // TrackBar moved or SampleTime changed while viewing.
    void browse(int trackPos, int sampleTime);
    // "Export CSV": the whole recording being viewed. `progress` gets the
    // percent and returns false to cancel.
    void ExportBtClick(const std::function<bool(int)> &progress);
    // A recording starts, or the window closes: viewing ends.
    void stop();

private:
    // Loads `count` records from `first`, `step` apart, into the chart's
    // columns and draws them; false at a bad record (the chart inactive).
    bool load(qint64 first, qint64 step, qint64 count);

    Recorder::Data &m_data;
    Recorder::TrendChart &m_chart;
    RecorderAcquisition &m_acquisition;
    RecordFile::Reader m_reader;
    RecordViewerView m_view;
    QString m_path;
};
