#include "recorder/acquisition.h"

#include "link/channelerror.h"
#include "link/framing.h"
#include "link/replies.h"
#include "ui/dialogs.h"
#include "ui/files.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

using Recorder::DeviceCount;

namespace {
constexpr int ProcessValueRegister = 0x4700;
} // namespace

RecorderAcquisition::RecorderAcquisition(Line &line, LineSettingsSource settings,
                                         Recorder::Data &data, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_settings(std::move(settings))
    , m_data(data)
    , m_collector(line, ReplyCollector::Timing::FromLastByte)
{
    m_collector.setTrafficSource("Recorder");
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    // One scan a second means one a second: a coarse timer may tick 5 %
    // early, and two scans would carry the same time stamp.
    m_timer1.setTimerType(Qt::PreciseTimer);
    connect(&m_timer1, &QTimer::timeout, this, &RecorderAcquisition::Timer1Timer);
    m_line.setTriggerHandler([this](quint16 msg, quint16 handle, quint16 data) {
        ApdComPort1Trigger(msg, handle, data);
    });
    // The record file: written line by line while armed.
    hooks.fileArmed = [this] { return m_view.saveArmed; };
    hooks.fileStart = [this] {
        std::array<int, DeviceCount> addresses {};
        for (int d = 0; d < DeviceCount; ++d)
            addresses[size_t(d)] = m_data.device[size_t(d)].address;
        const QString failure = m_writer.open(m_savePath, addresses, m_sampleTime);
        if (!failure.isEmpty()) {
            m_fileOpen = false;
            disarmSaving();
            const QString text = QStringLiteral("Can not create file %1 : %2")
                                     .arg(QDir::toNativeSeparators(m_savePath), failure);
            QTimer::singleShot(0, this,
                               [text] { AppDialogs().inform(QStringLiteral("Message"), text); });
        }
    };
    hooks.fileSample = [this](int d, qint32 v) { m_writer.sample(d, v); };
    hooks.fileMissing = [this](int d) { m_writer.missing(d); };
    hooks.fileLineEnd = [this](const QString &time, const QString &date) {
        const QString failure = m_writer.endLine(time, date);
        if (failure.isEmpty())
            return;
        // The recording goes on; the file stops where it was whole, and
        // "Save to File" is free for another file.
        m_fileOpen = false;
        m_writer.finish();
        disarmSaving();
        const QString text = QStringLiteral("Can not write file %1 : %2")
                                 .arg(QDir::toNativeSeparators(m_savePath), failure);
        QTimer::singleShot(0, this,
                           [text] { AppDialogs().inform(QStringLiteral("Message"), text); });
    };
    hooks.fileEnd = [this] {
        m_writer.finish();
        disarmSaving();
    };
}

void RecorderAcquisition::showViewing(const QString &loopCnt)
{
    m_view.viewing = true;
    m_view.loopCnt = loopCnt;
    m_view.timePanelVisible = false;
    m_view.devicePanelsEnabled = true;
    m_view.idleControlsEnabled = true;
    changed();
}

void RecorderAcquisition::disarmSaving()
{
    m_view.saveArmed = false;
    changed();
}

void RecorderAcquisition::SaveBtClick()
{
    if (m_view.recording || m_view.saveArmed)
        return;
    const QString path = ChooseFileToWrite(QStringLiteral("Save to File"), RecordFile::Filter,
                                           RecordFile::Extension);
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    m_savePath = path;
    m_view.saveArmed = true;
    changed();
}

QString RecorderAcquisition::TimeText(const QDateTime &t)
{
    return t.toString(QStringLiteral("h:mm:ss AP"));
}

QString RecorderAcquisition::DateText(const QDateTime &t)
{
    return t.toString(QStringLiteral("M/d/yyyy"));
}

void RecorderAcquisition::setComAddr(int device, int address)
{
    if (device >= 0 && device < DeviceCount)
        m_comAddr[size_t(device)] = qBound(0, address, 255);
}

void RecorderAcquisition::setSampleTime(int seconds)
{
    m_sampleTime = qBound(1, seconds, MaxSampleSeconds);
}

void RecorderAcquisition::FormShow()
{
    if (m_view.recording)
        stop();
    for (Recorder::Device &d : m_data.device) {
        d.valueRed = false;
        d.comAddrSilver = false;
        d.failed = false;
    }
    m_requestOutstanding = false;
    m_scanCounter = 0;
    m_current = 0;
    m_view.saveArmed = false;
    idleState();
    if (hooks.chartClear)
        hooks.chartClear();
    changed();
}

void RecorderAcquisition::idleState()
{
    m_view.recording = false;
    m_view.backgroundRed = false;
    m_view.idleControlsEnabled = true;
    m_view.startCaption = QStringLiteral("START");
    m_view.startHint = QStringLiteral("Start record process");
    m_view.devicePanelsEnabled = false;
    m_view.comAddrPanelEnabled = true;
}

void RecorderAcquisition::StartBtClick()
{
    if (m_view.recording)
        stop();
    else
        start();
}

void RecorderAcquisition::start()
{
    m_view.errMess.clear();
    m_view.viewing = false;
    m_view.recording = true;
    m_view.backgroundRed = true;
    m_view.idleControlsEnabled = false;
    m_view.startCaption = QStringLiteral("STOP");
    m_view.startHint = QStringLiteral("End of acquire data");
    m_view.timePanelVisible = true;
    m_view.comAddrPanelEnabled = false;
    for (Recorder::Device &d : m_data.device)
        d.valueText.clear();
    if (hooks.chartClear)
        hooks.chartClear();
    m_current = 0;
    m_lostSaid = false;

    int first = -1;
    for (int d = 0; d < DeviceCount; ++d) {
        m_data.device[size_t(d)].address = m_comAddr[size_t(d)];
        if (first < 0 && m_comAddr[size_t(d)] != 0)
            first = d;
    }
    if (first < 0) {
        // Nobody to ask: back to idle, without a word.
        idleState();
        changed();
        return;
    }
    if (hooks.chartActive)
        hooks.chartActive(true);
    for (Recorder::Device &d : m_data.device) {
        d.failureCount = 0;
        d.failed = false;
        d.valueRed = false;
        d.comAddrSilver = false;
        d.shown = d.address != 0;
    }
    m_current = first;
    m_scanCounter = 0;
    m_view.loopCnt = QStringLiteral(" 00000000");
    m_view.startTime.clear();
    m_view.lastTime.clear();
    try {
        m_line.openWith(m_settings());
        m_collector.attach();
    } catch (const ChannelError &e) {
        m_line.close();
        idleState();
        if (hooks.chartActive)
            hooks.chartActive(false);
        changed();
        // The system's reason too: a permission problem reads differently
        // from a missing adapter.
        const QString reason = PortFailureText(e);
        QTimer::singleShot(0, this, [reason] {
            AppDialogs().inform(QStringLiteral("Warning"),
                                QStringLiteral("Comport did not exist !!!\n") + reason);
        });
        return;
    }
    const bool armed = hooks.fileArmed && hooks.fileArmed();
    m_fileOpen = armed;
    if (m_fileOpen && hooks.fileStart)
        hooks.fileStart();
    if (armed && !m_fileOpen) {
        // The record file could not be made (said already): no recording.
        m_line.close();
        idleState();
        if (hooks.chartActive)
            hooks.chartActive(false);
        changed();
        return;
    }
    m_timer1.setInterval(m_sampleTime * 1000);
    m_timer1.start();
    m_view.devicePanelsEnabled = true;
    changed();
}

void RecorderAcquisition::stop()
{
    idleState();
    if (hooks.chartActive)
        hooks.chartActive(false);
    m_requestOutstanding = false;
    m_collector.cancel();
    m_line.close();
    m_timer1.stop();
    if (m_fileOpen && hooks.fileEnd)
        hooks.fileEnd();
    m_fileOpen = false;
    m_view.saveArmed = false;
    changed();
}

void RecorderAcquisition::FormClose()
{
    if (m_view.recording)
        stop();
}

void RecorderAcquisition::Timer1Timer()
{
    // A slow scan delays the next one instead of overlapping it.
    if (!m_view.recording || m_requestOutstanding)
        return;
    sendRequest();
}

void RecorderAcquisition::sendRequest()
{
    if (m_current < 0 || m_current >= DeviceCount)
        return;
    const LineSettings settings = m_settings();
    const Framing &f = Framing::of(settings.framing);
    const int address = m_data.device[size_t(m_current)].address;
    m_lastRequest = f.wrap(ReadRequest(address, ProcessValueRegister, 1));
    m_requestOutstanding = true;
    if (!m_line.isOpen())
        return;
    if (!lineBack()) {
        lineLost();
        return;
    }
    m_lostSaid = false; // a later loss is said again
    try {
        m_collector.send(m_lastRequest, f, f.replyTicks(TextReplyTicks, settings.baud));
    } catch (const ChannelError &) {
        lineLost();
    }
}

void RecorderAcquisition::ApdComPort1Trigger(int msg, int triggerHandle, int data)
{
    switch (m_collector.take(quint16(msg), quint16(triggerHandle), quint16(data))) {
    case ReplyCollector::Event::Reply:
        replyArrived();
        break;
    case ReplyCollector::Event::TimedOut:
        timedOut();
        break;
    default:
        break;
    }
}

void RecorderAcquisition::timedOut()
{
    m_requestOutstanding = false;
    if (!m_view.recording)
        return;
    if (m_line.deviceLost()) {
        lineLost();
        return;
    }
    afterResult(TransactionResult::timedOut(), m_current);
}

void RecorderAcquisition::replyArrived()
{
    m_requestOutstanding = false;
    if (!m_view.recording)
        return;
    const int address = m_data.device[size_t(m_current)].address;
    const Framing &f = Framing::of(m_settings().framing);
    const Reply reply = DecodeReply(f, m_collector.received(), m_lastRequest, address);
    const int answered = m_current;
    switch (reply.kind) {
    case ReplyKind::Words: {
        const qint32 sample = qint16(reply.words.value(0));
        m_data.store(m_current, m_scanCounter, sample);
        if (m_fileOpen && hooks.fileSample)
            hooks.fileSample(m_current, sample);
        advanceFrom(m_current + 1, m_scanCounter);
        afterResult(TransactionResult::ok(), answered);
        return;
    }
    case ReplyKind::Failure:
        afterResult(reply.result, answered);
        return;
    case ReplyKind::NoReply:
        afterResult(TransactionResult::timedOut(), answered);
        return;
    default:
        // A damaged reply, another address or another function: a failure
        // of the device asked, so that a stray talker cannot hold a scan.
        afterResult(TransactionResult::mismatch(), answered);
        return;
    }
}

void RecorderAcquisition::afterResult(const TransactionResult &result, int answered)
{
    if (!result.isError()) {
        m_data.device[size_t(answered)].failureCount = 0;
    } else {
        Recorder::Device &d = m_data.device[size_t(m_current)];
        m_view.errMess = QStringLiteral("Device %1").arg(m_current + 1) + RecorderErrorText(result);
        if (++d.failureCount >= m_settings().talk.retriesOr(FailuresToGiveUp - 1) + 1) {
            d.valueRed = true;
            d.failureCount = 0;
            d.failed = true;
            advanceFrom(m_current, m_scanCounter);
        }
    }
    if (m_current >= DeviceCount)
        completeScan();
    else if (m_view.recording)
        sendRequest();
    changed();
}

void RecorderAcquisition::advanceFrom(int from, qint64 index)
{
    int d = from;
    for (; d < DeviceCount; ++d) {
        const Recorder::Device &dev = m_data.device[size_t(d)];
        if (dev.address == 0)
            continue;
        if (!dev.failed)
            break;
        m_data.storeMissing(d, index);
        if (m_fileOpen && hooks.fileMissing)
            hooks.fileMissing(d);
    }
    m_current = d;
}

void RecorderAcquisition::completeScan()
{
    const QDateTime now = clock();
    const QString time = TimeText(now);
    if (hooks.chartUpdate)
        hooks.chartUpdate(m_scanCounter, time);
    if (m_fileOpen && hooks.fileLineEnd)
        hooks.fileLineEnd(time, DateText(now));
    ++m_scanCounter;
    m_view.loopCnt =
        QLatin1Char(' ') + QStringLiteral("%1").arg(m_scanCounter, 8, 10, QLatin1Char('0'));
    if (m_scanCounter == 1)
        m_view.startTime = time;
    else
        m_view.lastTime = time;
    // The next scan starts with the first device in service; the failed
    // ones before it get their missing entries now.
    advanceFrom(0, m_scanCounter);
    if (m_current >= DeviceCount)
        stop(); // nobody left in service: the recording ends by itself
    changed();
}

void RecorderAcquisition::lineLost()
{
    m_requestOutstanding = false;
    if (!m_lostSaid) {
        m_lostSaid = true;
        const QString text = m_line.lossText();
        QTimer::singleShot(0, this,
                           [text] { AppDialogs().inform(QStringLiteral("Warning"), text); });
    }
    // Nobody can answer while the line is away: the devices still in
    // service miss this scan's samples, and the recording goes on. Every
    // scan tries the line again; a network line comes back by itself.
    for (int d = m_current; d < DeviceCount; ++d) {
        const Recorder::Device &dev = m_data.device[size_t(d)];
        if (dev.address == 0 || dev.failed)
            continue;
        m_data.storeMissing(d, m_scanCounter);
        if (m_fileOpen && hooks.fileMissing)
            hooks.fileMissing(d);
    }
    m_current = DeviceCount;
    completeScan();
}

bool RecorderAcquisition::lineBack()
{
    if (!m_line.deviceLost())
        return true;
    try {
        m_line.reopen(m_settings());
        m_collector.reattach();
    } catch (const ChannelError &) {
        return false;
    }
    return !m_line.deviceLost();
}
