#include "recorder/recorderdata.h"

#include <algorithm>

namespace Recorder {

QColor InitialDeviceColour(int device)
{
    static const QColor colours[DeviceCount] = {
        QColor(128, 128, 0),   QColor(0, 0, 128),  QColor(128, 0, 128), QColor(0, 128, 128),
        QColor(128, 128, 128), QColor(0, 0, 255),  QColor(128, 0, 0),   QColor(0, 128, 0),
        QColor(192, 192, 192), QColor(0, 255, 255)};
    return device >= 0 && device < DeviceCount ? colours[device] : QColor(Qt::black);
}

const std::array<QColor, 16> &StandardColours()
{
    static const std::array<QColor, 16> colours = {
        QColor(0, 0, 0),       QColor(128, 0, 0),   QColor(0, 128, 0),   QColor(128, 128, 0),
        QColor(0, 0, 128),     QColor(128, 0, 128), QColor(0, 128, 128), QColor(128, 128, 128),
        QColor(192, 192, 192), QColor(255, 0, 0),   QColor(0, 255, 0),   QColor(255, 255, 0),
        QColor(0, 0, 255),     QColor(255, 0, 255), QColor(0, 255, 255), QColor(255, 255, 255)};
    return colours;
}

Data::Data()
{
    for (int d = 0; d < DeviceCount; ++d)
        device[size_t(d)].colour = InitialDeviceColour(d);
    device[0].address = 1;
    device[0].shown = true;
    setWidth(m_width);
}

void Data::setWidth(int width)
{
    m_width = std::max(1, width);
    for (Device &d : device)
        d.samples.assign(size_t(m_width), 0);
}

qint32 Data::sample(int d, qint64 index) const
{
    if (d < 0 || d >= DeviceCount || index < 0)
        return MissingSample;
    return device[size_t(d)].samples[size_t(index % m_width)];
}

void Data::store(int d, qint64 index, qint32 value)
{
    if (d < 0 || d >= DeviceCount || index < 0)
        return;
    Device &dev = device[size_t(d)];
    dev.samples[size_t(index % m_width)] = value;
    if (index == 0) {
        dev.highest = dev.lowest = value;
    } else if (index < m_width || (index - m_width) % ExtremesEvery != 0) {
        dev.highest = std::max(dev.highest, value);
        dev.lowest = std::min(dev.lowest, value);
    } else {
        rebuildExtremes();
    }
}

void Data::storeMissing(int d, qint64 index)
{
    if (d < 0 || d >= DeviceCount || index < 0)
        return;
    device[size_t(d)].samples[size_t(index % m_width)] = MissingSample;
}

void Data::rebuildExtremes()
{
    for (Device &dev : device) {
        bool any = false;
        for (qint32 v : dev.samples) {
            if (v == MissingSample)
                continue;
            if (!any) {
                dev.highest = dev.lowest = v;
                any = true;
            } else {
                dev.highest = std::max(dev.highest, v);
                dev.lowest = std::min(dev.lowest, v);
            }
        }
    }
}

} // namespace Recorder
