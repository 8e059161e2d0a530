#include "find/addressscan.h"

#include "link/framing.h"
#include "link/replies.h"

#include <algorithm>

namespace {

constexpr int IdentificationStart = 0x4744;
constexpr int IdentificationCount = 4;
constexpr int IdentificationWord = 0x4456;
constexpr int FirmwareRegister = 0x472A;
// A line's timer far beyond the scan's own window: the scan decides.
constexpr int LineTicks = 36;

bool isIdentification(const Reply &reply)
{
    return reply.kind == ReplyKind::Words && reply.words.size() >= 3 &&
        reply.words.at(1) == IdentificationWord;
}

} // namespace

AddressScan::AddressScan(Line &line, LineSettingsSource settings, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_settings(std::move(settings))
    , m_collector(line, ReplyCollector::Timing::FromSend)
{
    m_collector.setTrafficSource("Find");
    m_window.setSingleShot(true);
    m_window.setTimerType(Qt::PreciseTimer);
    connect(&m_window, &QTimer::timeout, this, &AddressScan::windowEnded);
}

int AddressScan::replyWindowMs(const LineSettings &s, int registers)
{
    // Characters of the request and of the reply, and three more.
    const bool rtu = s.framing == ModbusMode::Rtu;
    const int request = rtu ? 8 : 17;
    const int reply = rtu ? 5 + 2 * registers : 11 + 4 * registers;
    const double charMs = CharacterMs(s);
    const int ms = int((request + reply + 3) * charMs + 0.999) + TurnaroundMs;
    return qMax(MinimumWindowMs, ms);
}

void AddressScan::start(int first, int last)
{
    m_first = qBound(1, first, 247);
    m_last = qBound(m_first, last, 247);
    m_found.clear();
    m_silent.clear();
    m_phase = Phase::Identify;
    m_address = m_first;
    m_running = true;
    m_collector.attach();
    ask();
}

void AddressScan::cancel()
{
    if (!m_running)
        return;
    m_window.stop();
    m_collector.cancel();
    m_running = false;
    emit finished();
}

void AddressScan::ask()
{
    const LineSettings s = m_settings();
    const Framing &f = Framing::of(s.framing);
    int address = m_address;
    int registers = IdentificationCount;
    ModbusRequest request = ReadRequest(address, IdentificationStart, IdentificationCount);
    if (m_phase == Phase::Firmware) {
        address = m_found.at(m_firmwareIndex).address;
        registers = 1;
        request = ReadRequest(address, FirmwareRegister, 1);
    }
    m_request = f.wrap(request);
    m_extended = false;
    m_collector.send(m_request, f, LineTicks);
    // A controller that answered its identification gets a generous window
    // for its firmware: a late reply there costs nothing, a missed one a row.
    const int window = replyWindowMs(s, registers);
    m_window.start(m_phase == Phase::Firmware ? qMax(FirmwareWindowMs, window) : window);
    emit progress(address);
}

void AddressScan::take(int msg, int triggerHandle, int data)
{
    if (!m_running)
        return;
    const ReplyCollector::Event e =
        m_collector.take(quint16(msg), quint16(triggerHandle), quint16(data));
    if (e == ReplyCollector::Event::Reply)
        replied();
}

void AddressScan::replied()
{
    m_window.stop();
    const Framing &f = Framing::of(m_settings().framing);
    const int address =
        m_phase == Phase::Firmware ? m_found.at(m_firmwareIndex).address : m_address;
    const Reply reply = DecodeReply(f, m_collector.received(), m_request, address);
    m_collector.cancel();
    if (m_phase == Phase::Identify && reply.kind == ReplyKind::Ignored) {
        // One of the last silent addresses answering after its window: found
        // there, and this address is asked again, its own reply not heard.
        for (qsizetype i = 0; i < m_silent.size(); ++i) {
            const Reply late =
                DecodeReply(f, m_collector.received(), m_silent.at(i).second, m_silent.at(i).first);
            if (!isIdentification(late))
                continue;
            FoundController c;
            c.address = m_silent.at(i).first;
            c.modelCode = late.words.at(2);
            const auto at =
                std::lower_bound(m_found.begin(), m_found.end(), c.address,
                                 [](const FoundController &f, int a) { return f.address < a; });
            m_found.insert(at, c);
            m_silent.removeAt(i);
            ask();
            return;
        }
    }
    if (m_phase == Phase::Identify) {
        if (isIdentification(reply)) {
            FoundController c;
            c.address = address;
            c.modelCode = reply.words.at(2);
            m_found.append(c);
        } else if (reply.kind == ReplyKind::BadChecksum || reply.kind == ReplyKind::Ignored ||
                   reply.kind == ReplyKind::OtherFunction) {
            // Bytes that are no good reply where only this address was asked.
            FoundController c;
            c.address = address;
            c.garbled = true;
            m_found.append(c);
        }
    } else if (reply.kind == ReplyKind::Words && !reply.words.isEmpty()) {
        m_found[m_firmwareIndex].firmware = reply.words.at(0);
    }
    next();
}

void AddressScan::windowEnded()
{
    const LineSettings s = m_settings();
    // A reply still coming in when the window ends gets the time its
    // longest form needs to finish.
    if (!m_extended && !m_collector.received().isEmpty()) {
        m_extended = true;
        const int registers = m_phase == Phase::Firmware ? 1 : IdentificationCount;
        m_window.start(replyWindowMs(s, registers));
        return;
    }
    // Bytes that came but never made a whole frame are a garbled reply too.
    const bool partial = m_phase == Phase::Identify && !m_collector.received().isEmpty();
    // Nothing at all: the controller may yet answer, late, in a later
    // address's window.
    if (m_phase == Phase::Identify && m_collector.received().isEmpty()) {
        m_silent.append({m_address, m_request});
        if (m_silent.size() > LateReplyAddresses)
            m_silent.removeFirst();
    }
    m_collector.endWindow();
    if (partial) {
        FoundController c;
        c.address = m_address;
        c.garbled = true;
        m_found.append(c);
    }
    next();
}

void AddressScan::next()
{
    if (!m_running)
        return;
    if (m_phase == Phase::Identify && m_address < m_last) {
        ++m_address;
        ask();
        return;
    }
    if (m_phase == Phase::Identify) {
        m_phase = Phase::Firmware;
        m_firmwareIndex = -1;
    }
    // The firmware of each controller found (not of a garbled address).
    do {
        ++m_firmwareIndex;
    } while (m_firmwareIndex < m_found.size() && m_found.at(m_firmwareIndex).garbled);
    if (m_firmwareIndex < m_found.size()) {
        ask();
        return;
    }
    finish();
}

void AddressScan::finish()
{
    m_running = false;
    emit finished();
}
