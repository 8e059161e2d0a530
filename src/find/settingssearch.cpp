#include "find/settingssearch.h"

#include "link/channelerror.h"

QList<LineSettings> SettingsSearch::Candidates(const LineSettings &base)
{
    static const quint32 bauds[] = {9600, 19200, 38400, 4800, 2400};
    struct Shape
    {
        ModbusMode framing;
        int dataBits;
        LineParity parity;
    };
    static const Shape shapes[] = {
        {ModbusMode::Ascii, 7, LineParity::Even}, {ModbusMode::Ascii, 7, LineParity::Odd},
        {ModbusMode::Ascii, 8, LineParity::None}, {ModbusMode::Rtu, 8, LineParity::None},
        {ModbusMode::Rtu, 8, LineParity::Even},   {ModbusMode::Rtu, 8, LineParity::Odd}};
    QList<LineSettings> out;
    for (quint32 baud : bauds) {
        for (const Shape &shape : shapes) {
            LineSettings s = base;
            s.baud = baud;
            s.framing = shape.framing;
            s.dataBits = shape.dataBits;
            s.parity = shape.parity;
            s.stopBits = 1;
            out.append(s);
        }
    }
    return out;
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
