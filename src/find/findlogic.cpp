#include "find/findlogic.h"

#include "link/channelerror.h"
#include "link/valueformat.h"
#include "ui/dialogs.h"

#include <QTimer>

const char FindLogic::GarbledText[] = "garbled reply \u2013 two controllers on one address?";

namespace {

void postWarning(const QString &text)
{
    // Never a modal box inside a line event.
    QTimer::singleShot(0, [text] { AppDialogs().inform(QStringLiteral("Warning"), text); });
}

QString countText(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 controller") : QStringLiteral("%1 controllers").arg(n);
}

} // namespace

FindLogic::FindLogic(Line &line, LineSettingsSource programSettings, QObject *parent)
    : QObject(parent)
    , m_line(line)
    , m_programSettings(std::move(programSettings))
    , m_setting(m_programSettings())
    , m_scan(line, [this] { return m_setting; })
    , m_search(line)
    , m_check(line, [this] { return m_setting; })
{
    m_line.setTriggerHandler(
        [this](quint16 msg, quint16 handle, quint16 data) { take(msg, handle, data); });
    connect(&m_scan, &AddressScan::progress, this, &FindLogic::scanProgress);
    connect(&m_scan, &AddressScan::finished, this, &FindLogic::scanEnded);
    connect(&m_check, &LineCheck::progress, this, [this](int address) {
        m_view.progressValue = qBound(1, address - m_first + 1, m_last - m_first + 1);
        m_view.status = QStringLiteral("Checking the line: asking address %1...").arg(address);
        emit changed();
    });
    connect(&m_check, &LineCheck::finished, this, &FindLogic::checkEnded);
    connect(&m_search.scan(), &AddressScan::progress, this, &FindLogic::scanProgress);
    connect(&m_search, &SettingsSearch::trying, this, &FindLogic::searchTrying);
    connect(&m_search, &SettingsSearch::finished, this, &FindLogic::searchEnded);
    m_view.settings = SettingText(m_setting);
}

QString FindLogic::SettingText(const LineSettings &s)
{
    if (s.kind == LineKind::Gateway)
        return QStringLiteral("Modbus TCP gateway %1").arg(s.network.text());
    if (s.kind == LineKind::DeviceServer)
        return QStringLiteral("%1 through device server %2")
            .arg(s.framing == ModbusMode::Rtu ? QStringLiteral("RTU") : QStringLiteral("ASCII"),
                 s.network.text());
    const char parity = s.parity == LineParity::None ? 'N'
        : s.parity == LineParity::Even               ? 'E'
                                                     : 'O';
    return QStringLiteral("%1 %2 bit/s %3%4%5")
        .arg(s.framing == ModbusMode::Rtu ? QStringLiteral("RTU") : QStringLiteral("ASCII"))
        .arg(s.baud)
        .arg(s.dataBits)
        .arg(QLatin1Char(parity))
        .arg(s.stopBits);
}

QString FindLogic::ModelText(int modelCode)
{
    switch (modelCode) {
    case 0x4824:
    case 0x3432: // reported by some units of that model
        return QStringLiteral("DUVA 4824");
    case 0x4848:
        return QStringLiteral("DUVA 4848");
    case 0x4896:
        return QStringLiteral("DUVA 4896");
    case 0x9696:
        return QStringLiteral("DUVA 9696");
    default:
        return QStringLiteral("unknown model %1h")
            .arg(QString::number(modelCode, 16).toUpper().rightJustified(4, QLatin1Char('0')));
    }
}

QString FindLogic::FirmwareText(int firmware)
{
    if (firmware < 0)
        return QStringLiteral("no reply");
    return FirmwareVersionText((firmware >> 8) & 0xFF, firmware & 0xFF);
}

void FindLogic::FormShow()
{
    m_setting = m_programSettings();
    m_found.clear();
    m_view = FindView();
    m_view.settings = SettingText(m_setting);
    openAt(m_setting);
    rangesChanged(m_ranges[0], m_ranges[1], m_ranges[2], m_ranges[3]);
    emit changed();
}

void FindLogic::setMarginMs(int ms)
{
    m_scan.setMarginMs(ms);
    m_search.scan().setMarginMs(ms);
    rangesChanged(m_ranges[0], m_ranges[1], m_ranges[2], m_ranges[3]);
}

void FindLogic::rangesChanged(int first, int last, int searchFirst, int searchLast)
{
    m_ranges = {first, last, searchFirst, searchLast};
    const LineSettings base = m_programSettings();
    const int margin = m_scan.marginMs();
    m_view.searchOffered = !base.isNetwork();
    if (base.isNetwork()) {
        m_view.timeText =
            QStringLiteral("A scan of %1 to %2 takes up to %3. The search of line "
                           "settings is for serial ports only: a network device "
                           "keeps the line's settings itself.")
                .arg(first)
                .arg(qMax(first, last))
                .arg(DurationText(AddressScan::expectedScanMs(m_setting, first, last, margin)));
        emit changed();
        return;
    }
    m_view.timeText =
        QStringLiteral("A scan of %1 to %2 takes up to %3; a search of every setting (%4) up "
                       "to %5.")
            .arg(first)
            .arg(qMax(first, last))
            .arg(DurationText(AddressScan::expectedScanMs(m_setting, first, last, margin)))
            .arg(SettingsSearch::Candidates(base).size())
            .arg(DurationText(SettingsSearch::expectedMs(base, searchFirst, searchLast, margin)));
    emit changed();
}

QString FindLogic::DurationText(qint64 ms)
{
    const qint64 seconds = (ms + 999) / 1000;
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
}

void FindLogic::FormClose()
{
    CancelBtClick();
    m_line.close();
}

bool FindLogic::openAt(const LineSettings &settings)
{
    try {
        // Reopened for every run: the line counts its timers afresh.
        m_line.close();
        m_line.openWith(settings);
        return true;
    } catch (const ChannelError &e) {
        m_line.close();
        postWarning(PortFailureText(e));
        return false;
    }
}

bool FindLogic::beginOnRange(Work work, int first, int last)
{
    if (m_work != Work::None)
        return false;
    m_first = qBound(FirstAddress, first, LastAddress);
    m_last = qBound(m_first, last, LastAddress);
    if (!openAt(m_setting)) {
        setIdle(QStringLiteral("The port could not be opened."));
        return false;
    }
    m_work = work;
    m_cancelled = false;
    m_settingIndex = 0;
    m_settingCount = 1;
    m_view.running = true;
    m_view.progressValue = 0;
    m_view.progressMaximum = m_last - m_first + 1;
    return true;
}

void FindLogic::ScanBtClick(int first, int last)
{
    if (!beginOnRange(Work::Scan, first, last))
        return;
    showFound({});
    m_view.running = true;
    m_scan.start(m_first, m_last);
}

void FindLogic::CheckBtClick(int first, int last)
{
    if (!beginOnRange(Work::Check, first, last))
        return;
    m_view.checkText.clear();
    m_view.status = QStringLiteral("Listening to the line...");
    emit changed();
    m_check.start(m_first, m_last);
}

void FindLogic::checkEnded()
{
    m_work = Work::None;
    const LineCheckResult &r = m_check.result();
    QStringList lines;
    for (const LineFinding &f : r.findings)
        lines << f.text;
    if (r.findings.isEmpty())
        lines << QStringLiteral("The line is clean.");
    for (const CheckedController &c : r.controllers)
        lines
            << QStringLiteral("Address %1 answers after %2 ms.").arg(c.address).arg(c.turnaroundMs);
    lines << QStringLiteral("Recommended: %1.").arg(r.recommended);
    m_view.checkText = lines.join(QLatin1Char('\n'));
    setIdle(r.clean() ? QStringLiteral("Line check: the line is clean.")
                      : QStringLiteral("Line check: problems found."));
}

void FindLogic::SearchBtClick(int first, int last)
{
    if (m_work != Work::None)
        return;
    m_first = qBound(FirstAddress, first, LastAddress);
    m_last = qBound(m_first, last, LastAddress);
    // A port that is not there at all fails every setting alike: say so once.
    const LineSettings base = m_programSettings();
    if (base.isNetwork()) {
        setIdle(QStringLiteral("The search of line settings is for serial ports only."));
        return;
    }
    if (!openAt(base)) {
        setIdle(QStringLiteral("The port could not be opened."));
        return;
    }
    m_work = Work::Search;
    m_cancelled = false;
    showFound({});
    m_view.running = true;
    m_view.progressValue = 0;
    m_settingCount = int(SettingsSearch::Candidates(base).size());
    m_view.progressMaximum = m_settingCount * (m_last - m_first + 1);
    m_search.start(base, m_first, m_last);
}

void FindLogic::CancelBtClick()
{
    if (m_work == Work::None)
        return;
    m_cancelled = true;
    if (m_work == Work::Scan) {
        m_scan.cancel();
    } else if (m_work == Work::Check) {
        m_check.cancel();
        m_work = Work::None;
        setIdle(QStringLiteral("Line check cancelled."));
    } else {
        m_search.cancel();
    }
}

void FindLogic::take(int msg, int triggerHandle, int data)
{
    if (m_work == Work::Scan)
        m_scan.take(msg, triggerHandle, data);
    else if (m_work == Work::Search)
        m_search.take(msg, triggerHandle, data);
    else if (m_work == Work::Check)
        m_check.take(msg, triggerHandle, data);
}

void FindLogic::searchTrying(int index, int count)
{
    m_settingIndex = index;
    m_settingCount = count;
    m_view.settings = SettingText(m_search.setting());
}

void FindLogic::scanProgress(int address)
{
    const AddressScan &scan = m_work == Work::Search ? m_search.scan() : m_scan;
    const int span = m_last - m_first + 1;
    // The firmware reads after the identification reads show a full bar.
    const int done = address == scan.current() ? qBound(1, address - m_first + 1, span) : span;
    m_view.progressValue = m_settingIndex * span + done;
    const int found = int(std::count_if(scan.found().begin(), scan.found().end(),
                                        [](const FoundController &c) { return !c.garbled; }));
    QString text;
    if (m_work == Work::Search)
        text = QStringLiteral("Trying %1 (%2 of %3) \u2013 ")
                   .arg(SettingText(m_search.setting()))
                   .arg(m_settingIndex + 1)
                   .arg(m_settingCount);
    text += QStringLiteral("address %1 \u2013 %2 found").arg(address).arg(found);
    m_view.status = text;
    if (scan.found().size() != m_found.size())
        showFound(scan.found()); // rows as they are found
    emit changed();
}

void FindLogic::scanEnded()
{
    if (m_work != Work::Scan)
        return;
    m_work = Work::None;
    showFound(m_scan.found());
    const qsizetype n = foundAddresses().size();
    QString status;
    if (m_cancelled)
        status = QStringLiteral("Cancelled at address %1: %2 found.")
                     .arg(m_scan.current())
                     .arg(countText(n));
    else if (n == 0 && m_found.isEmpty())
        status = QStringLiteral("No controller answered at %1 between addresses %2 and %3.")
                     .arg(SettingText(m_setting))
                     .arg(m_first)
                     .arg(m_last);
    else
        status = QStringLiteral("%1 found at %2.").arg(countText(n), SettingText(m_setting));
    m_view.progressValue = m_cancelled ? m_view.progressValue : m_view.progressMaximum;
    setIdle(status);
}

void FindLogic::searchEnded()
{
    if (m_work != Work::Search)
        return;
    m_work = Work::None;
    QString status;
    if (m_search.succeeded()) {
        m_setting = m_search.setting();
        showFound(m_search.found());
        status = QStringLiteral("Controllers answer at %1: %2 found between addresses %3 and %4.")
                     .arg(SettingText(m_setting), countText(foundAddresses().size()))
                     .arg(m_first)
                     .arg(m_last);
        m_view.progressValue = m_view.progressMaximum;
    } else {
        // Back to the program's settings (a scan opens the line afresh).
        m_setting = m_programSettings();
        showFound({});
        status = m_cancelled
            ? QStringLiteral("Search cancelled.")
            : QStringLiteral("No controller answered at any setting between addresses %1 and %2.")
                  .arg(m_first)
                  .arg(m_last);
    }
    m_view.settings = SettingText(m_setting);
    setIdle(status);
}

void FindLogic::showFound(const QList<FoundController> &found)
{
    m_found = found;
    m_view.rows.clear();
    for (const FoundController &c : found) {
        FindRow row;
        row.address = QString::number(c.address);
        row.garbled = c.garbled;
        row.model = c.garbled ? QString::fromUtf8(GarbledText) : ModelText(c.modelCode);
        row.firmware = c.garbled ? QString() : FirmwareText(c.firmware);
        m_view.rows.append(row);
    }
}

void FindLogic::setIdle(const QString &status)
{
    m_view.running = false;
    m_view.status = status;
    m_view.settings = SettingText(m_setting);
    m_view.mayUse = !(m_setting == m_programSettings());
    m_view.mayMonitor = !foundAddresses().isEmpty();
    emit changed();
}

QList<int> FindLogic::foundAddresses() const
{
    QList<int> out;
    for (const FoundController &c : m_found)
        if (!c.garbled)
            out.append(c.address);
    return out;
}

void FindLogic::UseBtClick()
{
    if (m_work != Work::None || !hooks.useSettings)
        return;
    if (hooks.useSettings(m_setting, true))
        setIdle(QStringLiteral("%1 is now the program's setting.").arg(SettingText(m_setting)));
}

void FindLogic::MonitorBtClick()
{
    if (m_work != Work::None || !hooks.monitorThese)
        return;
    const QList<int> addresses = foundAddresses().mid(0, MonitorSlots);
    if (addresses.isEmpty())
        return;
    hooks.monitorThese(m_setting, addresses);
}
