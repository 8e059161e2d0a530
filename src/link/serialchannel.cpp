#include "link/serialchannel.h"

#include "link/comports.h"
#include "link/networklink.h"

#include <QPointer>
#include <QSerialPort>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <limits>

namespace {

qint64 monotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QSerialPort::Parity toQt(TParity parity)
{
    switch (parity) {
    case TParity::pNone:
        return QSerialPort::NoParity;
    case TParity::pOdd:
        return QSerialPort::OddParity;
    case TParity::pEven:
        return QSerialPort::EvenParity;
    case TParity::pMark:
        return QSerialPort::MarkParity;
    case TParity::pSpace:
        return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::DataBits toQtDataBits(quint16 bits)
{
    return static_cast<QSerialPort::DataBits>(std::clamp<int>(bits, 5, 8));
}

QSerialPort::StopBits toQtStopBits(quint16 bits)
{
    return bits >= 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

qint32 toQtBaud(quint32 baud)
{
    return qint32(std::min<quint32>(baud, std::numeric_limits<qint32>::max()));
}

// The system error number behind a failure text of QSerialPort, which keeps
// only the text of the error it met.
int systemErrorNumber(const QString &text)
{
    for (int number = 1; number < 256; ++number)
        if (QString::fromLocal8Bit(std::strerror(number)) == text)
            return number;
    return 0;
}

} // namespace

SerialChannel::SerialChannel(QObject *parent)
    : QObject(parent)
{
    m_poll.setTimerType(Qt::PreciseTimer);
    m_poll.setInterval(PassIntervalMs);
    connect(&m_poll, &QTimer::timeout, this, &SerialChannel::runPass);
    m_timerWake.setTimerType(Qt::PreciseTimer);
    m_timerWake.setSingleShot(true);
    connect(&m_timerWake, &QTimer::timeout, this, [this] {
        m_wakeAtMs = -1;
        runPass();
    });
}

SerialChannel::~SerialChannel()
{
    if (m_state != State::Closed) {
        releaseDevice();
        finishClose();
    }
}

qint64 SerialChannel::msecs() const
{
    return monotonicMs();
}

qint64 SerialChannel::currentTick()
{
    return monotonicMs() / TickMs;
}

// --- Properties ---------------------------------------------------------

void SerialChannel::setComNumber(quint16 number)
{
    if (number == m_comNumber)
        return;
    m_comNumber = number;
    if (m_state == State::Open) {
        // Timers are kept in the list across the reopening.
        releaseDevice();
        finishClose();
        openPort();
    }
}

// A line setting: stored, and applied at once to an open port. A setting the
// device refuses leaves the old one in force and the port working.
template<typename T, typename Apply>
static void changeLineSetting(T &field, T value, QSerialPort *port, Apply apply)
{
    if (field == value)
        return;
    field = value;
    if (port && port->isOpen())
        apply(*port, value);
}

void SerialChannel::setBaud(quint32 baud)
{
    changeLineSetting(m_baud, baud, m_port,
                      [](QSerialPort &port, quint32 v) { port.setBaudRate(toQtBaud(v)); });
}

void SerialChannel::setParity(TParity parity)
{
    changeLineSetting(m_parity, parity, m_port,
                      [](QSerialPort &port, TParity v) { port.setParity(toQt(v)); });
}

void SerialChannel::setDataBits(quint16 bits)
{
    changeLineSetting(m_dataBits, bits, m_port,
                      [](QSerialPort &port, quint16 v) { port.setDataBits(toQtDataBits(v)); });
}

void SerialChannel::setStopBits(quint16 bits)
{
    changeLineSetting(m_stopBits, bits, m_port,
                      [](QSerialPort &port, quint16 v) { port.setStopBits(toQtStopBits(v)); });
}

void SerialChannel::setInSize(quint16 size)
{
    m_inSize = size;
    if (m_port && m_port->isOpen())
        m_port->setReadBufferSize(m_inSize);
}

TParity ChannelParity(LineParity parity)
{
    switch (parity) {
    case LineParity::None:
        return TParity::pNone;
    case LineParity::Even:
        return TParity::pEven;
    case LineParity::Odd:
        return TParity::pOdd;
    }
    return TParity::pNone;
}

void SerialChannel::applySettings(const LineSettings &settings)
{
    keepLineSettings(settings);
    const bool networkChange = settings.kind != m_kind ||
        (settings.isNetwork() && settings.network != m_network) ||
        (settings.kind == LineKind::Gateway && settings.framing != m_framing);
    m_kind = settings.kind;
    m_network = settings.network;
    m_framing = settings.framing;
    if (networkChange && m_state == State::Open) {
        releaseDevice();
        finishClose();
        openPort();
    }
    if (settings.isNetwork())
        return; // the serial settings are the device server's
    setComNumber(quint16(std::clamp(settings.comNumber, 0, 0xFFFF)));
    setBaud(settings.baud);
    setParity(ChannelParity(settings.parity));
    setDataBits(quint16(std::clamp(settings.dataBits, 5, 8)));
    setStopBits(quint16(std::clamp(settings.stopBits, 1, 2)));
}

void SerialChannel::openWith(const LineSettings &settings)
{
    applySettings(settings);
    setOpen(true);
}

void SerialChannel::reopen(const LineSettings &settings)
{
    const bool sameNetwork = settings.isNetwork() && settings.kind == m_kind &&
        settings.network == m_network && settings.framing == m_framing;
    if (m_state == State::Open && m_link && sameNetwork) {
        if (m_link->isDown())
            throw ChannelError(ChannelError::NetworkDown, lossText());
        return;
    }
    close();
    openWith(settings);
}

int SerialChannel::replyMarginTicks() const
{
    if (m_kind == LineKind::Serial)
        return 0;
    return (std::clamp(m_network.marginMs, 0, NetworkTarget::MaximumMarginMs) + TickMs - 1) /
        TickMs;
}

bool SerialChannel::connecting() const
{
    return m_state == State::Open && m_link && m_link->isConnecting();
}

bool SerialChannel::deviceLost() const
{
    return m_deviceLost || (m_link && m_link->isDown());
}

QString SerialChannel::lossText() const
{
    if (m_link && m_link->isDown())
        return m_link->failure();
    return Line::lossText();
}

void SerialChannel::setTriggerHandler(Trigger handler)
{
    if (!handler) {
        OnTrigger = nullptr;
        return;
    }
    OnTrigger = [handler = std::move(handler)](SerialChannel &, quint16 msg, quint16 h,
                                               quint16 data) { handler(msg, h, data); };
}

// --- Opening and closing ---------------------------------------------

void SerialChannel::setOpen(bool open)
{
    if (open) {
        if (m_state == State::Open)
            return;
        if (m_state == State::ShuttingDown)
            finishClose();
        openPort();
        return;
    }
    if (m_state != State::Open)
        return;
    releaseDevice();
    if (m_ctx.active)
        m_state = State::ShuttingDown; // finished when the handler returns
    else
        finishClose();
}

void SerialChannel::openPort()
{
    if (m_kind == LineKind::Serial)
        openSerialPort();
    else
        openNetworkLink();
}

void SerialChannel::openNetworkLink()
{
    if (m_network.host.isEmpty() || m_network.port == 0)
        throw ChannelError(ChannelError::PortNotFound,
                           QStringLiteral("No network device set (host and port)"));
    auto *link = new NetworkLink(m_kind, m_network, m_framing, this);
    link->open(QIODevice::ReadWrite);
    // Once the connection is back, the windows learn it at their next look.
    connect(link, &NetworkLink::connectionChanged, this, &SerialChannel::schedulePass);
    m_link = link;
    startDevice(link, m_network.text());
}

void SerialChannel::openSerialPort()
{
    if (m_comNumber == 0) {
        if (!m_promptForPort)
            throw ChannelError::of(ChannelError::NoPortChosen);
        if (!m_portChooser)
            throw ChannelError::of(ChannelError::NoPortChosen);
        const QStringList entries = comPortEntries();
        const int chosen = m_portChooser(entries);
        // The dialog spins an event loop; someone may have opened us meanwhile.
        if (m_state != State::Closed)
            return;
        bool ok = false;
        const int number =
            chosen >= 0 && chosen < entries.size() ? entries.at(chosen).mid(3).toInt(&ok) : 0;
        if (!ok || number < 1 || number > std::numeric_limits<quint16>::max())
            throw ChannelError::of(ChannelError::NoPortChosen);
        m_comNumber = quint16(number);
    }

    const QString portName = QStringLiteral("COM%1").arg(m_comNumber);
    const QString device = comPortDevice(m_comNumber);
    if (device.isEmpty())
        throw ChannelError(ChannelError::PortNotFound, portName + QStringLiteral(" not found"));

    auto *port = new QSerialPort(this);
    port->setPortName(device);
    port->setBaudRate(toQtBaud(m_baud));
    port->setDataBits(toQtDataBits(m_dataBits));
    port->setParity(toQt(m_parity));
    port->setStopBits(toQtStopBits(m_stopBits));
    port->setFlowControl(QSerialPort::NoFlowControl);
    // What does not fit into the input ring waits in the port, up to InSize
    // bytes, and beyond that in the system.
    port->setReadBufferSize(m_inSize);
    if (!port->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port->error();
        const QString reason = port->errorString();
        delete port;
        if (error == QSerialPort::DeviceNotFoundError)
            throw ChannelError(ChannelError::PortNotFound,
                               portName + QStringLiteral(" not found (") + reason + ')');
        if (error == QSerialPort::PermissionError)
            throw ChannelError::refused(portName, device, reason);
        const int number = systemErrorNumber(reason);
        throw ChannelError(number ? -number : -1,
                           portName + QStringLiteral(" cannot be opened (") + reason + ')');
    }
    // Modem lines some devices cannot switch (a pseudo-terminal has none).
    port->setDataTerminalReady(true);
    port->setRequestToSend(true);

    connect(port, &QSerialPort::errorOccurred, this,
            [this, port](QSerialPort::SerialPortError error) { onPortError(error, port); });
    m_port = port;
    startDevice(port, device);
}

void SerialChannel::startDevice(QIODevice *device, const QString &name)
{
    connect(device, &QIODevice::readyRead, this, &SerialChannel::passOnArrival);
    m_device = device;
    m_deviceName = name;
    m_deviceLost = false;
    ++m_generation;
    m_readPos = 0;
    m_unread = 0;
    m_written = 0;
    m_announcedAt = 0;
    m_nextHandle = FirstTimerHandle;
    m_state = State::Open;
    m_poll.start();
    scheduleTimerWake();
    schedulePass();
}

void SerialChannel::releaseDevice()
{
    if (!m_device)
        return;
    QIODevice *device = std::exchange(m_device, nullptr);
    QSerialPort *port = std::exchange(m_port, nullptr);
    m_link = nullptr;
    disconnect(device, nullptr, this, nullptr);
    if (port && port->isOpen())
        port->clear(QSerialPort::AllDirections); // unsent output is dropped
    if (device->isOpen())
        device->close();
    device->deleteLater();
}

void SerialChannel::finishClose()
{
    // The timer list stays as it is: the next opening goes on with it.
    m_state = State::Closed;
    m_poll.stop();
    m_timerWake.stop();
    m_wakeAtMs = -1;
    ++m_generation;
    m_readPos = 0;
    m_unread = 0;
    m_deviceName.clear();
    m_deviceLost = false;
}

void SerialChannel::onPortError(int error, QSerialPort *port)
{
    if (port != m_port || m_deviceLost)
        return;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        break;
    default:
        return; // a refused setting and the like: the port works on
    }
    // The device is gone; the port would report the error again and again.
    // It is closed once control is back in the event loop, not inside the
    // port's own signal.
    m_deviceLost = true;
    QMetaObject::invokeMethod(
        this,
        [this, guarded = QPointer<QSerialPort>(port)] {
            if (guarded && guarded == m_port)
                releaseDevice();
        },
        Qt::QueuedConnection);
}

void SerialChannel::requireOpen()
{
    if (m_state != State::Closed)
        return;
    if (!m_autoOpen)
        throw ChannelError::of(ChannelError::NotOpen);
    setOpen(true);
}

// --- Operations -------------------------------------------------------

quint16 SerialChannel::AddTimer()
{
    requireOpen();
    const quint16 handle = m_nextHandle;
    m_nextHandle = quint16(m_nextHandle + FirstTimerHandle);
    m_timers.append(ChannelTimer {handle, 0, false, 0, 0});
    return handle;
}

int SerialChannel::firstTimerIndex(quint16 handle) const
{
    for (int i = 0; i < m_timers.size(); ++i)
        if (m_timers.at(i).handle == handle)
            return i;
    return -1;
}

void SerialChannel::ArmTimer(quint16 handle, quint32 ticks, bool active)
{
    requireOpen();
    const int index = firstTimerIndex(handle);
    if (index < 0)
        throw ChannelError::of(ChannelError::BadTriggerHandle);
    ChannelTimer &timer = m_timers[index];
    if (active) {
        if (ticks != 0)
            timer.length = std::min(ticks, MaxTimerTicks);
        timer.startTick = currentTick();
        timer.expiryTick = timer.startTick + timer.length;
        timer.armed = true;
    } else {
        timer.armed = false;
    }
    scheduleTimerWake();
}

quint8 SerialChannel::ReadByte()
{
    requireOpen();
    if (m_ctx.active && m_ctx.data && m_ctx.generation == m_generation) {
        // Announced bytes are read in place and consumed when the handler
        // returns; nothing newer is put into the ring meanwhile.
        if (m_ctx.read >= m_ctx.announced)
            throw ChannelError::of(ChannelError::BufferEmpty);
        return ringAt(m_ctx.read++);
    }
    if (m_unread == 0)
        throw ChannelError::of(ChannelError::BufferEmpty);
    const quint8 byte = ringAt(0);
    consume(1);
    return byte;
}

int SerialChannel::discardInput()
{
    requireOpen();
    if (m_ctx.active || m_state != State::Open)
        return 0;
    int discarded = 0;
    for (;;) {
        fillRing();
        if (m_unread == 0)
            break;
        discarded += m_unread;
        consume(m_unread);
    }
    m_announcedAt = m_written;
    return discarded;
}

void SerialChannel::SendText(const QByteArray &text)
{
    requireOpen();
    if (m_state != State::Open || text.isEmpty())
        return;
    if (deviceLost() || !m_device)
        return; // a lost device: the window sees a silent line
    const qint64 room = qint64(m_outSize) - m_device->bytesToWrite();
    if (room < text.size())
        throw ChannelError::of(ChannelError::OutputFull);
    m_device->write(text);
}

// --- The dispatcher ------------------------------------------------------

quint8 SerialChannel::ringAt(int offset) const
{
    return m_ring[(m_readPos + offset) % InputRingSize];
}

void SerialChannel::consume(int count)
{
    count = std::clamp(count, 0, m_unread);
    m_readPos = (m_readPos + count) % InputRingSize;
    m_unread -= count;
}

void SerialChannel::schedulePass()
{
    if (m_passQueued)
        return;
    m_passQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_passQueued = false;
            runPass();
        },
        Qt::QueuedConnection);
}

void SerialChannel::passOnArrival()
{
    // The pass runs at once, inside the port's signal. An exception from a
    // handler must not unwind through the port (it would stop announcing
    // arrivals): it is thrown again from the event loop instead.
    try {
        runPass();
    } catch (...) {
        QMetaObject::invokeMethod(
            this, [error = std::current_exception()] { std::rethrow_exception(error); },
            Qt::QueuedConnection);
    }
}

void SerialChannel::fillRing()
{
    if (!m_device || m_deviceLost || !m_device->isOpen())
        return;
    while (m_unread < InputRingSize) {
        const int writePos = (m_readPos + m_unread) % InputRingSize;
        const int room = std::min(InputRingSize - m_unread, InputRingSize - writePos);
        const qint64 got = m_device->read(reinterpret_cast<char *>(m_ring.data()) + writePos, room);
        if (got <= 0)
            break;
        m_unread += int(got);
        m_written += quint64(got);
    }
}

void SerialChannel::runPass()
{
    if (m_ctx.active) {
        m_passWanted = true; // delivered after the running handler
        return;
    }
    if (m_state != State::Open)
        return;

    fillRing();
    if (m_written != m_announcedAt && m_unread > 0) {
        m_announcedAt = m_written;
        deliver(DataAvailable, quint16(m_unread), quint16(m_unread));
    }

    const qint64 now = currentTick();
    for (int i = 0; i < m_timers.size() && m_state == State::Open; ++i) {
        ChannelTimer &timer = m_timers[i];
        if (!timer.armed || (timer.expiryTick >= now && timer.startTick <= now))
            continue;
        timer.armed = false;
        deliver(TimerExpired, timer.handle, 0); // may change the list
    }

    if (m_state != State::Open)
        return;
    scheduleTimerWake();
    // Bytes held in the port while the ring was full.
    if (m_device && !m_deviceLost && m_unread < InputRingSize && m_device->bytesAvailable() > 0)
        schedulePass();
}

void SerialChannel::deliver(quint16 msg, quint16 triggerHandle, quint16 data)
{
    if (!OnTrigger)
        return;
    m_ctx = HandlerContext {true, msg == DataAvailable, m_generation, data, 0};
    // The handler may throw; the channel is put straight all the same.
    struct Finish
    {
        SerialChannel *channel;
        ~Finish() { channel->endHandler(); }
    } finish {this};
    const TriggerHandler handler = OnTrigger; // the handler may replace itself
    handler(*this, msg, triggerHandle, data);
}

void SerialChannel::endHandler()
{
    if (m_ctx.data && m_ctx.generation == m_generation)
        consume(m_ctx.read);
    m_ctx = HandlerContext {};
    if (m_state == State::ShuttingDown)
        finishClose();
    if (m_passWanted) {
        m_passWanted = false;
        if (m_state == State::Open)
            schedulePass();
    }
}

void SerialChannel::scheduleTimerWake()
{
    if (m_state != State::Open) {
        m_timerWake.stop();
        m_wakeAtMs = -1;
        return;
    }
    qint64 earliest = std::numeric_limits<qint64>::max();
    for (const ChannelTimer &timer : std::as_const(m_timers))
        if (timer.armed)
            earliest = std::min(earliest, timer.expiryTick);
    if (earliest == std::numeric_limits<qint64>::max())
        return; // a wake still pending finds nothing due and is not renewed
    // Due when the tick count has passed the expiry tick. A wake already set
    // for an earlier moment stays: it sets the next one when it comes, so a
    // reply timer re-armed on every burst costs no timer restart.
    const qint64 dueMs = (earliest + 1) * TickMs;
    if (m_timerWake.isActive() && m_wakeAtMs <= dueMs)
        return;
    m_wakeAtMs = dueMs;
    const qint64 delay =
        std::clamp<qint64>(dueMs - monotonicMs(), 0, std::numeric_limits<int>::max());
    m_timerWake.start(int(delay));
}
