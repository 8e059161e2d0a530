#include "sim/simline.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStringList>
#include <QTime>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace {

// A reply byte counts as due this close before its time, so that bytes of
// the same millisecond leave together.
constexpr qint64 DueSlackNs = 500'000;
constexpr qsizetype MaxAsciiFrame = 600;
constexpr qsizetype MaxRtuFrame = 256;

struct StandardRate
{
    speed_t constant;
    int baud;
};

constexpr StandardRate StandardRates[] = {
    {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

// The terminal's constant for a bit rate; B9600 for a rate it has none for.
speed_t speedConstant(int baud)
{
    for (const StandardRate &r : StandardRates)
        if (r.baud == baud)
            return r.constant;
    return B9600;
}

// The bit rate of a terminal constant; 0 for B0 and anything non-standard.
int baudOf(speed_t constant)
{
    for (const StandardRate &r : StandardRates)
        if (r.constant == constant)
            return r.baud;
    return 0;
}

bool isStandardRate(int baud)
{
    return std::any_of(std::begin(StandardRates), std::end(StandardRates),
                       [baud](const StandardRate &r) { return r.baud == baud; });
}

// Two replies sent at once: the second controller starts one character
// after the first, and where both drive the line the result is the OR of
// their bytes. Never a valid frame: should the overlap happen to give one,
// a bit of the address is spoilt as well.
QByteArray collide(const QList<QByteArray> &frames, ModbusMode mode)
{
    QByteArray line;
    for (qsizetype k = 0; k < frames.size(); ++k) {
        const QByteArray &frame = frames.at(k);
        if (line.size() < k + frame.size())
            line.append(QByteArray(k + frame.size() - line.size(), '\0'));
        for (qsizetype i = 0; i < frame.size(); ++i)
            line[k + i] = char(line.at(k + i) | frame.at(i));
    }
    const ParsedFrame parsed =
        mode == ModbusMode::Ascii ? ParseAsciiFrame(line) : ParseRtuFrame(line);
    if (parsed.error == FrameError::None && line.size() > 1)
        line[1] = char(line.at(1) ^ 0x01);
    return line;
}

QString hexBytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString printable(const QByteArray &frame, ModbusMode mode)
{
    const QByteArray cut = frame.left(64);
    if (mode == ModbusMode::Rtu)
        return hexBytes(cut);
    QString text;
    for (char c : cut) {
        if (c == '\r')
            text += QStringLiteral("\\r");
        else if (c == '\n')
            text += QStringLiteral("\\n");
        else if (c >= 32 && c < 127)
            text += QLatin1Char(c);
        else
            text +=
                QStringLiteral("\\x%1").arg(static_cast<unsigned char>(c), 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString hex2(int v)
{
    return QStringLiteral("%1").arg(v & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QString hex4(int v)
{
    return QStringLiteral("%1").arg(v & 0xFFFF, 4, 16, QLatin1Char('0')).toUpper();
}

QString describeRequest(const ModbusPdu &pdu)
{
    QString text = QStringLiteral("addr %1 fn %2").arg(hex2(pdu.address), hex2(pdu.function));
    const QByteArray &d = pdu.data;
    if ((pdu.function == 0x03 || pdu.function == 0x06) && d.size() == 4) {
        const int reg = (static_cast<unsigned char>(d[0]) << 8) | static_cast<unsigned char>(d[1]);
        const int val = (static_cast<unsigned char>(d[2]) << 8) | static_cast<unsigned char>(d[3]);
        text += QStringLiteral(" reg %1").arg(hex4(reg));
        text += pdu.function == 0x03 ? QStringLiteral(" count %1").arg(val)
                                     : QStringLiteral(" value %1").arg(hex4(val));
    } else if (!d.isEmpty()) {
        text += QStringLiteral(" data %1").arg(hexBytes(d.left(16)));
    }
    return text;
}

} // namespace

QString SimFault::describe() const
{
    switch (kind) {
    case Kind::None:
        return QStringLiteral("none");
    case Kind::Silent:
        return QStringLiteral("silent");
    case Kind::BadChecksum:
        return QStringLiteral("badcrc");
    case Kind::WrongAddress:
        return QStringLiteral("wrongaddr");
    case Kind::Split:
        return QStringLiteral("split");
    case Kind::Delay:
        return QStringLiteral("delay %1").arg(value);
    case Kind::Exception:
        return QStringLiteral("exception %1").arg(value);
    }
    return QString();
}

SimLine::SimLine(const SimLineSettings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    m_clock.start();
    m_gapTimer.setSingleShot(true);
    m_gapTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_gapTimer, &QTimer::timeout, this, &SimLine::onFrameGap);
    m_txTimer.setSingleShot(true);
    m_txTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_txTimer, &QTimer::timeout, this, &SimLine::onTransmit);
    m_tickTimer.setInterval(TickMs);
    connect(&m_tickTimer, &QTimer::timeout, this, &SimLine::onTick);
    m_latencyTimer.setSingleShot(true);
    m_latencyTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_latencyTimer, &QTimer::timeout, this,
            [this] { writeToMaster(std::exchange(m_adapter, {})); });
    connect(&m_noiseTimer, &QTimer::timeout, this, [this] {
        // Garbage that never starts or ends an ASCII frame.
        static const char garbage[] = {'\x7F', '\xFE', 'x', '\x00', '\x33'};
        static int next = 0;
        toMaster(QByteArray(1, garbage[next++ % int(sizeof garbage)]));
    });
}

void SimLine::setWire(const SimWire &wire)
{
    m_wire = wire;
    m_wire.packetSize = std::max(1, m_wire.packetSize);
    if (m_wire.noiseMs > 0)
        m_noiseTimer.start(m_wire.noiseMs);
    else
        m_noiseTimer.stop();
    if (m_wire.latencyMs <= 0 && !m_adapter.isEmpty()) {
        m_latencyTimer.stop();
        writeToMaster(std::exchange(m_adapter, {}));
    }
}

void SimLine::toMaster(const QByteArray &bytes)
{
    if (m_wire.latencyMs <= 0) {
        writeToMaster(bytes);
        return;
    }
    // A full packet leaves at once; the rest waits for the latency timer,
    // counted from the first byte the adapter holds.
    m_adapter.append(bytes);
    while (m_adapter.size() >= m_wire.packetSize) {
        writeToMaster(m_adapter.left(m_wire.packetSize));
        m_adapter.remove(0, m_wire.packetSize);
        m_latencyTimer.stop();
    }
    if (!m_adapter.isEmpty() && !m_latencyTimer.isActive())
        m_latencyTimer.start(m_wire.latencyMs);
}

void SimLine::writeToMaster(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !m_plugged)
        return;
    if (m_output) {
        m_output(bytes);
    } else if (m_masterFd >= 0) {
        // Bytes the terminal cannot take are lost, as on a line where
        // nobody listens.
        const ssize_t written = ::write(m_masterFd, bytes.constData(), size_t(bytes.size()));
        Q_UNUSED(written);
    }
}

SimLine::~SimLine()
{
    close();
}

bool SimLine::open(QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        close();
        return false;
    };
    m_masterFd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_masterFd < 0)
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    if (::grantpt(m_masterFd) != 0 || ::unlockpt(m_masterFd) != 0)
        return fail(QStringLiteral("cannot unlock the pseudo-terminal"));
    char name[256];
    if (::ptsname_r(m_masterFd, name, sizeof name) != 0)
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    m_ptyPath = QString::fromLocal8Bit(name);
    m_slaveFd = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveFd < 0)
        return fail(QStringLiteral("cannot open ") + m_ptyPath);

    // Raw mode with the line settings where the terminal takes them; a
    // pseudo-terminal takes only 8 data bits without parity, and that
    // refusal is of no consequence here.
    termios tio {};
    if (::tcgetattr(m_slaveFd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        ::cfsetispeed(&tio, speedConstant(m_settings.baud));
        ::cfsetospeed(&tio, speedConstant(m_settings.baud));
        termios wanted = tio;
        wanted.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
        wanted.c_cflag |= m_settings.dataBits == 7 ? CS7 : CS8;
        if (m_settings.parity != Parity::None)
            wanted.c_cflag |= PARENB | (m_settings.parity == Parity::Odd ? PARODD : 0);
        if (m_settings.stopBits == 2)
            wanted.c_cflag |= CSTOPB;
        if (::tcsetattr(m_slaveFd, TCSANOW, &wanted) != 0)
            ::tcsetattr(m_slaveFd, TCSANOW, &tio);
    }

    m_notifier = new QSocketNotifier(m_masterFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimLine::onReadable);
    m_lastTickNs = nowNs();
    m_tickTimer.start();
    return true;
}

bool SimLine::makeLink(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        QFile::remove(path);
    } else if (info.exists()) {
        if (error)
            *error = path + QStringLiteral(" exists and is not a symbolic link");
        return false;
    }
    QDir().mkpath(info.absolutePath());
    if (!QFile::link(m_ptyPath, path)) {
        if (error)
            *error = QStringLiteral("cannot link ") + path + QStringLiteral(" to ") + m_ptyPath;
        return false;
    }
    m_linkPath = info.absoluteFilePath();
    return true;
}

void SimLine::removeLink()
{
    if (m_linkPath.isEmpty())
        return;
    const QFileInfo info(m_linkPath);
    if (info.isSymLink() && info.symLinkTarget() == m_ptyPath)
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}

void SimLine::close()
{
    removeLink();
    m_tickTimer.stop();
    m_gapTimer.stop();
    m_txTimer.stop();
    m_latencyTimer.stop();
    m_noiseTimer.stop();
    m_adapter.clear();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_slaveFd >= 0)
        ::close(m_slaveFd);
    if (m_masterFd >= 0)
        ::close(m_masterFd);
    m_slaveFd = -1;
    m_masterFd = -1;
}

bool SimLine::addController(int address, int modelCode)
{
    if (address < 1 || address > 247)
        return false;
    m_controllers.emplace(address, Slot {std::make_unique<SimController>(address, modelCode), {}});
    return true;
}

SimController *SimLine::controller(int address)
{
    const auto it = m_controllers.lower_bound(address);
    return it == m_controllers.end() || it->first != address ? nullptr
                                                             : it->second.controller.get();
}

QList<int> SimLine::addresses() const
{
    QList<int> list;
    for (const auto &[address, slot] : m_controllers)
        if (list.isEmpty() || list.last() != address)
            list.append(address);
    return list;
}

bool SimLine::moveController(int from, int to)
{
    const auto it = m_controllers.lower_bound(from);
    if (it == m_controllers.end() || it->first != from || to < 1 || to > 247)
        return false;
    if (from == to)
        return true;
    auto node = m_controllers.extract(it);
    node.key() = to;
    node.mapped().controller->setAddress(to);
    m_controllers.insert(std::move(node));
    return true;
}

bool SimLine::setFault(int address, const SimFault &fault)
{
    const auto [first, last] = m_controllers.equal_range(address);
    if (first == last)
        return false;
    for (auto it = first; it != last; ++it)
        it->second.fault = fault;
    return true;
}

SimFault SimLine::fault(int address) const
{
    const auto it = m_controllers.lower_bound(address);
    return it == m_controllers.end() || it->first != address ? SimFault() : it->second.fault;
}

void SimLine::setPacing(bool on, int turnaroundMs)
{
    m_pacing = on;
    m_turnaroundMs = std::max(0, turnaroundMs);
}

bool SimLine::setLogFile(const QString &path, QString *error)
{
    m_logFile.close();
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_logFile.setFileName(path);
    if (!m_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, m_logFile.errorString());
        return false;
    }
    return true;
}

void SimLine::log(const QString &text)
{
    const QString line =
        QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) + QLatin1Char(' ') + text;
    if (m_logFile.isOpen()) {
        m_logFile.write(line.toUtf8() + '\n');
        m_logFile.flush();
    }
    emit requestLogged(line);
}

int SimLine::mismatchedBaud() const
{
    const int fd = m_slaveFd >= 0 ? m_slaveFd : m_masterFd;
    termios tio {};
    if (fd < 0 || !isStandardRate(m_settings.baud) || ::tcgetattr(fd, &tio) != 0)
        return 0;
    const int master = baudOf(::cfgetospeed(&tio));
    return master != 0 && master != m_settings.baud ? master : 0;
}

void SimLine::onReadable()
{
    char buffer[4096];
    bool checked = false;
    int noiseBaud = 0;
    qint64 noiseBytes = 0;
    for (;;) {
        const ssize_t n = ::read(m_masterFd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        if (!m_plugged)
            continue;
        // Sent at another bit rate, the bytes arrive as noise: nothing in
        // them is heard, and a frame begun before is lost.
        if (!checked) {
            checked = true;
            noiseBaud = mismatchedBaud();
        }
        if (noiseBaud != 0) {
            noiseBytes += n;
            continue;
        }
        receive(QByteArray(buffer, n));
    }
    if (noiseBytes > 0) {
        m_rx.clear();
        m_gapTimer.stop();
        log(QStringLiteral("noise: master at %1, line at %2 (%3 bytes ignored)")
                .arg(noiseBaud)
                .arg(m_settings.baud)
                .arg(noiseBytes));
    }
}

void SimLine::receive(const QByteArray &bytes)
{
    if (!m_plugged || bytes.isEmpty())
        return;
    const qint64 now = nowNs();
    m_lineFreeNs = std::max(m_lineFreeNs, now) + bytes.size() * m_settings.characterNs();
    // The adapter hears the request as it crosses the line.
    if (m_wire.echo)
        queueReply(bytes, now, SimFault());
    m_rx.append(bytes);
    if (m_settings.mode == ModbusMode::Ascii) {
        takeAsciiFrames();
    } else {
        takeRtuFrames(false);
        if (!m_rx.isEmpty())
            m_gapTimer.start(int((m_settings.frameGapNs() + 999'999) / 1'000'000));
    }
}

void SimLine::startWithoutTerminal()
{
    m_lastTickNs = nowNs();
    m_tickTimer.start();
}

void SimLine::onFrameGap()
{
    takeRtuFrames(true);
}

void SimLine::takeAsciiFrames()
{
    const qint64 received = m_pacing ? m_lineFreeNs : nowNs();
    for (;;) {
        const qsizetype start = m_rx.indexOf(':');
        if (start < 0) {
            m_rx.clear(); // noise between frames
            return;
        }
        m_rx.remove(0, start);
        const qsizetype restart = m_rx.indexOf(':', 1);
        const qsizetype end = m_rx.indexOf('\n');
        if (restart > 0 && (end < 0 || restart < end)) {
            // A new frame began before this one ended.
            log(QStringLiteral("ignored unfinished frame: ") +
                printable(m_rx.left(restart), ModbusMode::Ascii));
            m_rx.remove(0, restart);
            continue;
        }
        if (end < 0) {
            if (m_rx.size() > MaxAsciiFrame) {
                log(QStringLiteral("ignored overlong frame: ") +
                    printable(m_rx, ModbusMode::Ascii));
                m_rx.clear();
            }
            return;
        }
        const QByteArray frame = m_rx.left(end + 1);
        m_rx.remove(0, end + 1);
        handleFrame(frame, received);
    }
}

void SimLine::takeRtuFrames(bool gapSeen)
{
    const qint64 received = m_pacing ? m_lineFreeNs : nowNs();
    while (RtuRequestComplete(m_rx)) {
        const QByteArray frame = m_rx.left(8);
        m_rx.remove(0, 8);
        handleFrame(frame, received);
    }
    if (gapSeen && !m_rx.isEmpty()) {
        const QByteArray frame = m_rx;
        m_rx.clear();
        handleFrame(frame, received);
    } else if (m_rx.size() > MaxRtuFrame) {
        log(QStringLiteral("ignored overlong frame: ") + printable(m_rx, ModbusMode::Rtu));
        m_rx.clear();
    }
}

void SimLine::handleFrame(const QByteArray &frame, qint64 receivedNs)
{
    const ModbusMode mode = m_settings.mode;
    const ParsedFrame parsed =
        mode == ModbusMode::Ascii ? ParseAsciiFrame(frame) : ParseRtuFrame(frame);
    if (parsed.error != FrameError::None) {
        log(QStringLiteral("ignored frame (%1): %2")
                .arg(FrameErrorText(parsed.error), printable(frame, mode)));
        return;
    }
    const ModbusPdu &request = parsed.pdu;
    const QString what = describeRequest(request);

    if (request.address == 0) {
        QString answered;
        for (auto &[address, slot] : m_controllers) {
            const SimController::Answer a =
                slot.controller->handle(request.function, request.data, true);
            if (answered.isEmpty())
                answered = a.text;
        }
        log(what + QStringLiteral(" -> ") +
            (answered.isEmpty() ? QStringLiteral("no reply (broadcast)") : answered));
        return;
    }
    const auto [first, last] = m_controllers.equal_range(request.address);
    if (first == last) {
        log(what + QStringLiteral(" -> no reply (no controller)"));
        return;
    }
    // Every controller at the address takes the request (a write is applied
    // by each); what they answer goes out together.
    QStringList texts;
    QList<QByteArray> replies;
    SimFault timing; // of the first controller that replies
    for (auto it = first; it != last; ++it) {
        const SimFault &f = it->second.fault;
        const QString faultNote = f.kind == SimFault::Kind::None
            ? QString()
            : QStringLiteral(" [fault %1]").arg(f.describe());
        if (f.kind == SimFault::Kind::Silent) {
            texts.append(QStringLiteral("no reply") + faultNote);
            continue;
        }
        SimController::Answer answer;
        if (f.kind == SimFault::Kind::Exception) {
            answer.reply = true;
            answer.function = (request.function | 0x80) & 0xFF;
            answer.data = QByteArray(1, char(f.value & 0xFF));
            answer.text = QStringLiteral("exception %1").arg(hex2(f.value));
        } else {
            answer = it->second.controller->handle(request.function, request.data, false);
        }
        texts.append(answer.text + faultNote);
        if (!answer.reply)
            continue;
        ModbusPdu reply {request.address, answer.function, answer.data};
        if (f.kind == SimFault::Kind::WrongAddress)
            reply.address = request.address % 247 + 1;
        if (replies.isEmpty())
            timing = f;
        replies.append(BuildFrame(reply, mode, f.kind == SimFault::Kind::BadChecksum));
    }
    log(what + QStringLiteral(" -> ") + texts.join(QStringLiteral(" | ")));
    if (replies.isEmpty())
        return;
    QByteArray bytes = replies.first();
    if (replies.size() > 1) {
        bytes = collide(replies, mode);
        log(QStringLiteral("collision at address %1: %2 replies garbled")
                .arg(request.address)
                .arg(replies.size()));
    }
    if (m_wire.strayByte && mode == ModbusMode::Ascii)
        bytes.prepend('\xFF');
    qint64 start = receivedNs + (m_pacing ? qint64(m_turnaroundMs) * 1'000'000 : 0);
    if (timing.kind == SimFault::Kind::Delay)
        start += qint64(std::max(0, timing.value)) * 1'000'000;
    queueReply(bytes, start, timing);
}

void SimLine::queueReply(const QByteArray &frame, qint64 startNs, const SimFault &fault)
{
    const qint64 charNs = m_pacing ? m_settings.characterNs() : 0;
    auto add = [&](const QByteArray &bytes, qint64 start) {
        Burst b;
        b.bytes = bytes;
        b.startNs = std::max(start, m_txLineFreeNs);
        m_txLineFreeNs = b.startNs + bytes.size() * charNs;
        m_tx.push_back(b);
    };
    if (fault.kind == SimFault::Kind::Split && frame.size() >= 2) {
        const qsizetype half = frame.size() / 2;
        add(frame.left(half), startNs);
        add(frame.mid(half), m_txLineFreeNs + qint64(SplitGapMs) * 1'000'000);
    } else {
        add(frame, startNs);
    }
    scheduleTransmit();
}

void SimLine::scheduleTransmit()
{
    if (m_tx.empty())
        return;
    const Burst &b = m_tx.front();
    const qint64 charNs = m_pacing ? m_settings.characterNs() : 0;
    const qint64 due = b.startNs + (b.sent + 1) * charNs;
    const qint64 waitNs = due - DueSlackNs - nowNs();
    const int ms = waitNs <= 0 ? 0 : int((waitNs + 999'999) / 1'000'000);
    m_txTimer.start(ms);
}

void SimLine::onTransmit()
{
    const qint64 now = nowNs() + DueSlackNs;
    const qint64 charNs = m_pacing ? m_settings.characterNs() : 0;
    while (!m_tx.empty()) {
        Burst &b = m_tx.front();
        qsizetype due = b.bytes.size();
        if (charNs > 0) {
            const qint64 crossed = (now - b.startNs) / charNs;
            due = std::clamp<qint64>(crossed, 0, b.bytes.size());
        } else if (b.startNs > now) {
            due = 0;
        }
        if (due > b.sent) {
            const qsizetype n = due - b.sent;
            toMaster(b.bytes.mid(b.sent, n));
            m_bytesSent += n;
            b.sent = due;
        }
        if (b.sent < b.bytes.size())
            break;
        m_tx.pop_front();
    }
    scheduleTransmit();
}

void SimLine::onTick()
{
    const qint64 now = nowNs();
    const double seconds = double(now - m_lastTickNs) / 1e9 * m_speed;
    m_lastTickNs = now;
    for (auto &[address, slot] : m_controllers)
        slot.controller->advance(seconds);
}
