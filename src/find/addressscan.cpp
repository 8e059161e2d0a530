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
constexpr int LineTicks = 40;
// The listening after the last address, in windows of an address.
constexpr int TailWindows = 2;

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

int AddressScan::replyWindowMs(const LineSettings &s, int registers, int marginMs)
{
    // Characters of the request and of the reply, and three more.
    const bool rtu = s.framing == ModbusMode::Rtu;
    const int request = rtu ? 8 : 17;
    const int reply = rtu ? 5 + 2 * registers : 11 + 4 * registers;
    const double charMs = CharacterMs(s);
    // A network line's own delays come on top.
    const int network = s.isNetwork() ? qBound(0, s.network.marginMs, NetworkTarget::MaximumMarginMs)
                                      : 0;
    return int((request + reply + 3) * charMs + 0.999) + qBound(0, marginMs, MaximumMarginMs) +
        network;
}

qint64 AddressScan::expectedScanMs(const LineSettings &s, int first, int last, int marginMs)
{
    const int window = replyWindowMs(s, IdentificationCount, marginMs);
    return qint64(qMax(0, last - first + 1)) * window + TailWindows * window;
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
    m_extended = false;
    const int window = replyWindowMs(s, IdentificationCount, m_marginMs);
    if (m_phase == Phase::Tail) {
        // Nothing is sent: a slow controller at one of the last addresses
        // may still answer.
        m_collector.listen(m_silent.isEmpty() ? m_request : m_silent.last().second, f, LineTicks);
        m_window.start(TailWindows * window);
        return;
    }
    int address = m_phase == Phase::Confirm ? m_confirmAddress : m_address;
    ModbusRequest request = ReadRequest(address, IdentificationStart, IdentificationCount);
    int ms = window;
    if (m_phase == Phase::Confirm) {
        // Alone, and as long as the configuration window would wait.
        ms = replyWindowMs(s, IdentificationCount, MaximumMarginMs);
    } else if (m_phase == Phase::Firmware) {
        // A controller that answered its identification gets a generous
        // window for its firmware: a late reply costs nothing, a missed
        // one a row.
        address = m_found.at(m_firmwareIndex).address;
        request = ReadRequest(address, FirmwareRegister, 1);
        ms = qMax(FirmwareWindowMs, replyWindowMs(s, 1, m_marginMs));
    }
    m_request = f.wrap(request);
    m_collector.send(m_request, f, LineTicks);
    m_window.start(ms);
    emit progress(m_phase == Phase::Firmware ? address : m_address);
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

int AddressScan::lateAddress() const
{
    const Framing &f = Framing::of(m_settings().framing);
    for (const auto &[address, request] : m_silent)
        if (isIdentification(DecodeReply(f, m_collector.received(), request, address)))
            return address;
    return 0;
}

void AddressScan::confirm(int address, bool again)
{
    m_silent.removeIf([address](const QPair<int, QByteArray> &s) { return s.first == address; });
    m_phase = Phase::Confirm;
    m_confirmAddress = address;
    m_askAgain = again;
    ask();
}

void AddressScan::confirmed(const FoundController &c)
{
    const auto at = std::lower_bound(m_found.begin(), m_found.end(), c.address,
                                     [](const FoundController &f, int a) { return f.address < a; });
    m_found.insert(at, c);
}

void AddressScan::replied()
{
    m_window.stop();
    const Framing &f = Framing::of(m_settings().framing);
    const int address = m_phase == Phase::Firmware ? m_found.at(m_firmwareIndex).address
        : m_phase == Phase::Confirm                ? m_confirmAddress
                                                   : m_address;
    const Reply reply = DecodeReply(f, m_collector.received(), m_request, address);
    const int late = m_phase == Phase::Identify || m_phase == Phase::Tail ? lateAddress() : 0;
    // A whole frame of another address, not a collision's garble.
    const bool otherTalker =
        reply.kind == ReplyKind::Ignored && f.unwrap(m_collector.received()).checksumOk;
    m_collector.cancel();
    if (m_phase == Phase::Confirm && otherTalker) {
        // Another controller's late reply: the address asked again goes on
        // waiting for its own.
        m_collector.listen(m_request, f, LineTicks);
        m_window.start(replyWindowMs(m_settings(), IdentificationCount, MaximumMarginMs));
        return;
    }
    if (late != 0 && (m_phase == Phase::Tail || reply.kind == ReplyKind::Ignored)) {
        // One of the last silent addresses answering after its window: it is
        // asked again alone, then this address, whose reply was not heard.
        confirm(late, m_phase == Phase::Identify);
        return;
    }
    switch (m_phase) {
    case Phase::Identify:
        if (isIdentification(reply)) {
            FoundController c;
            c.address = address;
            c.modelCode = reply.words.at(2);
            m_found.append(c);
        } else if (reply.kind != ReplyKind::NoReply) {
            // Bytes that are no good reply where only this address was
            // asked: asked once more before anything is said.
            confirm(address, false);
            return;
        }
        break;
    case Phase::Confirm: {
        FoundController c;
        c.address = address;
        if (isIdentification(reply))
            c.modelCode = reply.words.at(2);
        else
            c.garbled = true; // garbled twice: two controllers on one address?
        confirmed(c);
        break;
    }
    case Phase::Tail:
        break; // nothing that belongs to a silent address
    case Phase::Firmware:
        if (reply.kind == ReplyKind::Words && !reply.words.isEmpty())
            m_found[m_firmwareIndex].firmware = reply.words.at(0);
        break;
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
        m_window.start(replyWindowMs(s, registers, m_marginMs));
        return;
    }
    const bool partial = !m_collector.received().isEmpty();
    // Nothing at all: the controller may yet answer, late, in a later
    // address's window.
    if (m_phase == Phase::Identify && !partial) {
        m_silent.append({m_address, m_request});
        if (m_silent.size() > LateReplyAddresses)
            m_silent.removeFirst();
    }
    if (m_phase == Phase::Tail)
        m_collector.cancel();
    else
        m_collector.endWindow();
    if (partial && m_phase == Phase::Identify) {
        // Bytes that never made a whole frame: asked once more.
        confirm(m_address, false);
        return;
    }
    if (partial && m_phase == Phase::Confirm) {
        FoundController c;
        c.address = m_confirmAddress;
        c.garbled = true;
        confirmed(c);
    }
    next();
}

void AddressScan::next()
{
    if (!m_running)
        return;
    if (m_phase == Phase::Confirm) {
        m_phase = m_address > m_last ? Phase::Tail : Phase::Identify;
        if (m_phase == Phase::Identify && m_askAgain) {
            ask();
            return;
        }
    }
    if (m_phase == Phase::Identify && m_address < m_last) {
        ++m_address;
        ask();
        return;
    }
    if (m_phase == Phase::Identify) {
        // After the last address, a while of listening for a late reply.
        m_address = m_last + 1;
        if (!m_silent.isEmpty()) {
            m_phase = Phase::Tail;
            ask();
            return;
        }
    }
    if (m_phase != Phase::Firmware) {
        m_phase = Phase::Firmware;
        m_address = m_last;
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
