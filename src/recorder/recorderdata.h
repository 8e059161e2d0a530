#pragma once

#include <QColor>
#include <QString>
#include <QtGlobal>

#include <array>
#include <vector>

// The ten devices of the recorder and their samples, shared by the
// acquisition (which fills them), the trend chart (which draws them) and the
// record file.
namespace Recorder {

constexpr int DeviceCount = 10;
// The sample of a device that did not answer in a scan.
constexpr qint32 MissingSample = 32768;
// The extremes are rebuilt from the whole ring every this many samples once
// the ring is full.
constexpr int ExtremesEvery = 60;

// The colours the device panels and traces start with: olive, navy, purple,
// teal, gray, blue, maroon, green, silver, aqua.
QColor InitialDeviceColour(int device);
// The 16 standard colours the colour boxes offer, in order: black, maroon,
// green, olive, navy, purple, teal, gray, silver, red, lime, yellow, blue,
// fuchsia, aqua, white.
const std::array<QColor, 16> &StandardColours();

struct Device
{
    int address = 0; // 0: not used
    QColor colour;
    bool shown = false;
    bool failed = false; // given up in this recording
    int failureCount = 0; // failed attempts in a row, 0..3
    qint32 highest = 0;
    qint32 lowest = 0;
    std::vector<qint32> samples; // ring of the chart's width
    // What the device's boxes show.
    QString valueText; // Valuen: the latest sample with one decimal
    bool valueRed = false; // Valuen red: given up, or a missing sample drawn
    bool comAddrSilver = false; // ComAddrn silver: switched off on the chart
};

// The devices and their rings. A sample of scan counter i sits at ring
// position i modulo the width.
struct Data
{
    std::array<Device, DeviceCount> device {};

    Data();
    int width() const { return m_width; }
    // Sizes every ring to `width` samples (the chart's width), emptied.
    void setWidth(int width);
    qint32 sample(int d, qint64 index) const;
    // Stores a sample at `index` with the extremes rule: the first sample
    // sets them, later ones widen them, and once the ring is full they are
    // rebuilt from the whole ring of every device every 60 samples.
    void store(int d, qint64 index, qint32 value);
    // The missing mark, which leaves the extremes alone.
    void storeMissing(int d, qint64 index);
    void rebuildExtremes();

private:
    int m_width = 900;
};

} // namespace Recorder
