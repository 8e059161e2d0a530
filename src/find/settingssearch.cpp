#include "find/settingssearch.h"

#include "link/channelerror.h"

#include <iterator>

QList<LineSettings> SettingsSearch::Candidates(const LineSettings &base)
{
    static const quint32 bauds[] = {9600, 19200, 38400, 4800, 2400};
    struct Shape
    {
        ModbusMode framing;
        int dataBits;
        LineParity parity;
        int stopBits;
    };
    using P = LineParity;
    constexpr ModbusMode A = ModbusMode::Ascii, R = ModbusMode::Rtu;
    // The most usual first, at every baud rate; then every other setting
    // the settings dialog can make (RTU always runs 8 data bits).
    static const Shape usual[] = {{A, 7, P::Even, 1}, {A, 7, P::Odd, 1},  {A, 8, P::None, 1},
                                  {R, 8, P::None, 1}, {R, 8, P::Even, 1}, {R, 8, P::Odd, 1}};
    static const Shape others[] = {{A, 7, P::None, 1}, {A, 8, P::Even, 1}, {A, 8, P::Odd, 1},
                                   {A, 7, P::None, 2}, {A, 7, P::Even, 2}, {A, 7, P::Odd, 2},
                                   {A, 8, P::None, 2}, {A, 8, P::Even, 2}, {A, 8, P::Odd, 2},
                                   {R, 8, P::None, 2}, {R, 8, P::Even, 2}, {R, 8, P::Odd, 2}};
    QList<LineSettings> out;
    auto add = [&](const Shape *shapes, int count) {
        for (quint32 baud : bauds) {
            for (int k = 0; k < count; ++k) {
                LineSettings s = base;
                s.baud = baud;
                s.framing = shapes[k].framing;
                s.dataBits = shapes[k].dataBits;
                s.parity = shapes[k].parity;
                s.stopBits = shapes[k].stopBits;
                out.append(s);
            }
        }
    };
    add(usual, int(std::size(usual)));
    add(others, int(std::size(others)));
    return out;
}

qint64 SettingsSearch::expectedMs(const LineSettings &base, int first, int last, int marginMs)
{
    qint64 ms = 0;
    for (const LineSettings &s : Candidates(base))
        ms += AddressScan::expectedScanMs(s, first, last, marginMs);
    return ms;
}

SettingsSearch::SettingsSearch(Line &line, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_scan(std::make_unique<AddressScan>(line, [this] { return m_setting; }))
{
    connect(m_scan.get(), &AddressScan::finished, this, &SettingsSearch::scanEnded);
}

const QList<FoundController> &SettingsSearch::found() const
{
    return m_scan->found();
}

void SettingsSearch::start(const LineSettings &base, int first, int last)
{
    m_candidates = Candidates(base);
    m_first = first;
    m_last = last;
    m_next = 0;
    m_succeeded = false;
    m_running = true;
    tryNext();
}

void SettingsSearch::cancel()
{
    if (!m_running)
        return;
    m_running = false;
    m_scan->cancel(); // emits finished; scanEnded sees the search stopped
}

void SettingsSearch::tryNext()
{
    while (m_running && m_next < m_candidates.size()) {
        m_setting = m_candidates.at(m_next);
        emit trying(m_next, int(m_candidates.size()));
        ++m_next;
        try {
            m_line.close();
            m_line.openWith(m_setting);
        } catch (const ChannelError &) {
            // A setting the port does not take (a pseudo-terminal refuses
            // 7 data bits or parity): the next one.
            continue;
        }
        m_scan->start(m_first, m_last);
        return;
    }
    const bool wasRunning = m_running;
    m_running = false;
    if (wasRunning)
        emit finished();
}

void SettingsSearch::scanEnded()
{
    if (!m_running) {
        emit finished();
        return;
    }
    for (const FoundController &c : m_scan->found()) {
        if (!c.garbled) {
            m_succeeded = true;
            m_running = false;
            emit finished();
            return;
        }
    }
    tryNext();
}
