#pragma once

#include "program/programcompare.h"
#include "ui/canvas.h"

#include <QStringList>
#include <functional>

// The logic of the window "Compare with Recording": which recording, device,
// start and band, the comparison they give, its chart and its texts, and the
// CSV export.
class ProgramComparison
{
public:
    struct View
    {
        QString fileText; // the recording's name, records and span
        QStringList devices; // "Device 1 (address 1)"
        int deviceIndex = -1; // into `devices`
        qint64 startMax = 0; // the last record that may be the start
        qint64 start = 0;
        QString startText; // when the start record was taken
        int toleranceTenths = 50;
        int decimals = 1;
        QString summary; // the figures, the notes, the steps
        bool exportEnabled = false;
        int chartVersion = 0;
    };

    // `program` is the editor's, read again at each comparison; `changed`
    // is called when the view changed.
    ProgramComparison(const RampSoakProgram &program, std::function<void()> changed);

    // What reads a record file; without one no recording can be opened.
    void setLoader(ProgramCompare::RecordingLoader loader) { m_loader = std::move(loader); }

    const View &view() const { return m_view; }
    const Canvas &chart() const { return m_chart; }
    const ProgramCompare::Result &result() const { return m_result; }

    // Asks for a record file and compares with it from its first record;
    // false when the user cancelled or the file was refused (the user is
    // told why, and what was shown stays).
    bool open();
    // The same with a file already chosen.
    bool openPath(const QString &path);
    // The decimals of the recorded words, 0..3 (1: tenths, as the program).
    void setDecimals(int decimals);
    void setDevice(int index);
    void setStart(qint64 record);
    // The start at the record nearest to a click at x on the chart.
    void setStartAtChart(int x);
    // The start where the recording follows the program best.
    void findStart();
    void setTolerance(int tenths);
    // Compares again, with the program as it is now.
    void refresh();
    // Asks where and writes the aligned series as CSV.
    void exportCsv();

private:
    void run();

    const RampSoakProgram &m_program;
    std::function<void()> m_changed;
    ProgramCompare::RecordingLoader m_loader;
    ProgramCompare::Recording m_recording;
    ProgramCompare::Settings m_settings;
    ProgramCompare::Result m_result;
    QList<int> m_devices;
    bool m_loaded = false;
    bool m_startFound = false; // the start is the one found, not the user's
    View m_view;
    Canvas m_chart {ProgramCompare::ChartSize};
};
