#pragma once

#include "monitor/monitorstate.h"
#include "ui/canvas.h"

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <array>

// The process values of one slot's last 900 seconds, one sample a second, in
// tenths. TrendBuffer is a ring of 900 samples: the sample that completes a
// lap is written to entry 900 and copied to entry 0 when the ring wraps, so
// from then on entries 0 and 900 hold the same sample.
struct PvHistory
{
    static constexpr int Samples = 900;

    std::array<qint32, Samples + 1> TrendBuffer {};
    int SampleIndex = 0; // where the next sample goes, 0..900
    bool TrendFull = false; // the ring has wrapped at least once
    qint32 TrendMax = 0; // running extremes of the samples
    qint32 TrendMin = 0;

    // Forgets every sample.
    void clear();
};

// The monitor window's PV trend: the histories of the four slots, and the
// chart of the selected slot's history on the image DrawIme. The chart is a
// white curve on black, scaled to the range of the values, with a grey value
// grid and a dotted mark with its value every 60 samples; once 900 samples
// are kept it scrolls one sample a second. No widgets: the window shows
// canvas().image() and repaints when version() has changed.
//
// Lengths are laid out for a screen 1024 pixels wide and scaled to the
// screen width S (N becomes N * S / 1024): the image is 960 x 360, the chart
// runs from chartLeft() (50) over 900 to chartRight(), the time axis lies
// at 320. Values are placed in design rows, y(v) = 321 - (v - chartBottom())
// times or divided by scaleFactor(), and drawn on row y(v) * S / 1024.
class PvTrend
{
public:
    static constexpr int Samples = PvHistory::Samples;
    // Samples between minute marks.
    static constexpr int MinuteSamples = 60;

    explicit PvTrend(int screenWidth = 1024);

    // Lays the chart out for a screen S pixels wide (kept within 64..8192)
    // and blanks it; the next tick draws it afresh. The histories stay.
    void setScreenWidth(int screenWidth);

    int screenWidth() const { return m_screenWidth; }
    QSize imageSize() const { return m_canvas.size(); }
    int chartLeft() const { return m_chartLeft; } // ChartLeft
    int chartRight() const { return m_chartRight; } // ChartRight, where sample 900 lies
    int timeAxis() const { return m_timeAxis; } // the time axis line is one row below

    // Forgets the history of `slot` (1..4): on connecting, disconnecting, an
    // address change and a reset. Its chart starts afresh, without the
    // values before.
    void clear(int slot);

    // One tick of the monitor's one-second timer: stores the last PV of
    // every active slot (index 1..4; 0 is unused) in its history, then, when
    // the chart is shown, draws the new sample of the selected slot (or
    // redraws the chart when it shows another slot, was switched on, or the
    // sample left its scale).
    void sample(const std::array<bool, SlotCount + 1> &active,
                const std::array<int, SlotCount + 1> &lastPv, int selected, bool chartShown);

    // DrawBt shows the chart: the next tick draws it afresh.
    void show();

    // DrawIme.
    const Canvas &canvas() const { return m_canvas; }
    const QImage &image() const { return m_canvas.image(); }
    // Rises with every change of the image.
    quint64 version() const { return m_version; }

    // The history of `slot`; an empty one for a slot outside 1..4.
    const PvHistory &history(int slot) const;

    // The slot whose chart is on the image; 0 when the next tick redraws.
    int drawnSlot() const { return m_drawnSlot; }
    // The scale of the last full redraw.
    int scaleFactor() const { return m_scaleFactor; }
    bool scaleDivides() const { return m_scaleDivides; }
    qint32 chartCentre() const { return m_chartCentre; }
    qint32 chartBottom() const { return m_chartBottom; }
    int gridStep() const { return m_gridStep; }
    // The ring entry the last full redraw started its curve with.
    int chartStart() const { return m_chartStart; }

    // A value in tenths with one decimal and its sign: -5 is "-0.5".
    static QString valueText(qint32 tenths);

private:
    // Both draw the sample just stored for `slot`, while its SampleIndex
    // still points at it. fullRedraw draws the chart of the slot's history
    // afresh, with a scale fitted to its extremes; addSample adds the sample
    // to the chart on the image, scrolling it left once the history is full,
    // or redraws when the sample lies outside the scale.
    void fullRedraw(int slot);
    void addSample(int slot);
    int scaled(int designPixels) const;
    void computeScale(const PvHistory &h);
    void drawGrid();
    qint64 y(qint64 v) const; // the design row of value v
    int row(qint64 v) const; // the pixel row of value v
    int sampleX(int b) const; // the x of sample number b (1..900)
    // Draws the curve on to sample value `v` of ring entry `entry` at `x`.
    void extendCurve(int x, int entry, qint32 v);
    void touched() { ++m_version; }

    // Index 0 is never written: history() answers it for a slot out of range.
    std::array<PvHistory, SlotCount + 1> m_history {};
    Canvas m_canvas {QSize()};
    QFont m_font;

    int m_screenWidth = 1024;
    int m_chartLeft = 0;
    int m_chartRight = 0;
    int m_timeAxis = 0;
    int m_overhang = 0; // how far grid and time axis reach right of ChartRight

    int m_drawnSlot = 0;
    int m_scaleFactor = 10;
    bool m_scaleDivides = false;
    qint32 m_chartCentre = 0;
    qint32 m_chartBottom = -16;
    int m_gridStep = 10;
    int m_chartStart = 1;
    int m_lastX = 0;
    int m_lastY = 0;

    quint64 m_version = 0;
};
