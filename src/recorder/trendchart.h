#pragma once

#include "recorder/recorderdata.h"
#include "ui/canvas.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

namespace Recorder {

// DisplayMd: the limits come from the shown devices' extremes, or from
// MaxScale and MinScale.
enum class ScaleMode { Automatic, Manual };

// How the scale of the last full redraw turns a value into a row: pixels per
// unit or units per pixel (automatic), or factor / 500 pixels per unit
// (manual).
enum class ScaleKind { Multiply, Divide, Manual };

// The recorder's trend chart: the shown devices' samples as coloured traces
// on the image DrawIme, one pixel column per sample, scrolling left once the
// chart is full, with a value grid, a dotted minute mark every 60 samples and
// time labels below. It also keeps what the Value, ComAddr, MaxScale and
// MinScale boxes show. No widgets: the window shows image().
class TrendChart
{
public:
    // The newest sample index of a chart that has none.
    static constexpr qint64 NoSamples = -1;
    // Samples between minute marks.
    static constexpr int MinuteSamples = 60;
    // The message of refused manual limits.
    static QString manualLimitsMessage();

    // A chart for a screen `screenWidth` pixels wide; sizes the rings of
    // `data` to the chart width.
    explicit TrendChart(Data &data, int screenWidth = 1024);

    // Lays the chart out for a screen S pixels wide (S is kept within
    // 64..8192): every design size N becomes N * S / 1024. The rings of the
    // data are sized to the new width and emptied, the stored minute labels
    // are dropped and the chart is cleared.
    void setScreenWidth(int screenWidth);

    int screenWidth() const { return m_screenWidth; }
    int left() const { return m_left; } // x of the first sample column
    int right() const { return m_right; }
    int width() const { return m_right - m_left; } // W, samples across
    QSize imageSize() const { return m_canvas.size(); }
    int top() const { return m_top; } // y of the top of the value range
    int bottom() const { return m_bottom; } // y of the bottom of the value range
    int plotHeight() const { return m_bottom - m_top; }

    // DrawIme.
    const Canvas &canvas() const { return m_canvas; }
    const QImage &image() const { return m_canvas.image(); }
    // Rises with every change of the image.
    quint64 version() const { return m_version; }

    // The empty chart: background, axes and "Time". Forgets the newest
    // sample, so a later redraw shows none until one is drawn.
    void clear();
    // Clears, scales, draws the grid and replays the ring up to sample
    // `newest` (NoSamples: none, only the grid).
    void fullRedraw(qint64 newest);
    // Draws the column of sample `index` right of the previous one,
    // scrolling the chart one pixel left when it is full.
    void addColumn(qint64 index);
    // After the scan with sample index `index` (the scan counter before it
    // rises) completed at `timeStamp`: keeps the minute label, then, while
    // the chart is active, redraws it (first scan, or an automatic scale the
    // samples left) or adds the column.
    void updateAfterScan(qint64 index, const QString &timeStamp);
    // The newest sample drawn (NoSamples for none).
    qint64 newest() const { return m_newest; }

    // Whether the chart follows the samples (recording, a record file shown,
    // or a device switched on).
    bool active() const { return m_active; }
    void setActive(bool active) { m_active = active; }

    // DisplayMd; the new mode takes effect at the next full redraw. The
    // window enables MaxScale and MinScale in manual mode.
    ScaleMode scaleMode() const { return m_mode; }
    void DisplayMdChange(ScaleMode mode) { m_mode = mode; }
    // MaxScale and MinScale as typed: whole numbers within 32 bits, Max above
    // Min. Returns "" and takes them (for the next full redraw in manual
    // mode), or returns the message and keeps the previous limits.
    QString setManualLimits(const QString &max, const QString &min);
    qint64 manualMax() const { return m_manualMax; }
    qint64 manualMin() const { return m_manualMin; }
    // What MaxScale and MinScale show: the limits taken, or those of the
    // last automatic scale.
    const QString &maxScaleText() const { return m_maxScaleText; }
    const QString &minScaleText() const { return m_minScaleText; }

    // BGColor: the background, with black axes and texts on silver and the
    // lighter standard colours, white ones on black through gray; clears,
    // and redraws an active chart.
    void BGColorChange(const QColor &colour);
    QColor background() const { return m_background; }
    QColor axisColour() const { return m_axis; }
    // ColorBox1..ColorBoxA: the colour of device `device` (0..9) from its
    // next line on.
    void ColorBox1Change(int device, const QColor &colour);
    // Panel1..PanelA: switches the trace of device `device` (0..9) on or off
    // (not for a device without an address), then redraws the chart. The
    // chart stays active only while a device is shown.
    void Panel1Click(int device);

    // The scale of the last full redraw.
    ScaleKind scaleKind() const { return m_kind; }
    qint64 factor() const { return m_factor; }
    qint64 base() const { return m_base; } // the value drawn at the bottom
    qint64 upperLimit() const { return m_upper; }
    qint64 lowerLimit() const { return m_lower; }
    qint64 gridStep() const;
    // The row of value `v` under that scale (not clamped to the plot).
    qint64 y(qint64 v) const;

    // The time label the last minute mark drawn carries.
    const QString &currentTimeLabel() const { return m_timeLabel; }

private:
    void clearImage();
    void scale();
    void drawGrid();
    int plotRow(qint64 v) const; // y(v) clamped to top..bottom
    bool samplesLeftScale() const;
    // The stored label of the minute mark at sample `index`; empty if none.
    QString minuteLabel(qint64 index) const;
    void touched() { ++m_version; }

    struct MinuteLabel
    {
        qint64 index = -1; // the sample index of the minute mark
        QString text;
    };

    Data &m_data;
    Canvas m_canvas {QSize()};

    int m_screenWidth = 1024;
    int m_left = 0;
    int m_right = 0;
    int m_top = 0;
    int m_bottom = 0;
    QFont m_font; // the texts
    QFont m_titleFont; // "Time"

    QColor m_background = Qt::white;
    QColor m_axis = Qt::black;

    ScaleMode m_mode = ScaleMode::Automatic;
    qint64 m_manualMax = 100;
    qint64 m_manualMin = 0;
    QString m_maxScaleText = QStringLiteral("100");
    QString m_minScaleText = QStringLiteral("0");

    ScaleKind m_kind = ScaleKind::Multiply;

    qint64 m_scaleNewest = -1; // the newest sample of the drawing being scaled
    qint64 m_factor = 1;
    qint64 m_base = 0;
    qint64 m_upper = 0;
    qint64 m_lower = 0;

    int m_previousColumn = 0;
    int m_currentColumn = 1;
    std::array<int, DeviceCount> m_lastY {};
    qint64 m_newest = NoSamples;
    bool m_active = false;

    QString m_timeLabel;
    // The labels of the last W / 60 + 1 minute marks, each in the slot of
    // its minute number modulo their count.
    std::vector<MinuteLabel> m_minuteLabels;

    quint64 m_version = 0;
};

} // namespace Recorder
