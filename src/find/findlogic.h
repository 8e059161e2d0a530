#pragma once

#include "find/addressscan.h"
#include "find/linecheck.h"
#include "find/settingssearch.h"
#include "link/line.h"

#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <functional>

// One row of the results table.
struct FindRow
{
    QString address;
    QString model; // or the garbled-reply text
    QString firmware;
    bool garbled = false;
};

// What the "Find Controllers" window shows.
struct FindView
{
    QString settings; // the setting scans run at
    QString status; // what is being tried now, or how the last run ended
    int progressValue = 0;
    int progressMaximum = 1;
    QList<FindRow> rows;
    bool running = false;
    bool mayUse = false; // the setting found differs from the program's
    bool mayMonitor = false; // controllers were found
    bool searchOffered = true; // a serial line: a network device sets its own line
    // How long a scan and a search of the ranges can take, before they start.
    QString timeText;
    // What the last line check found, in plain words, and the settings it
    // recommends (empty before the first check).
    QString checkText;
};

// What the window asks of the rest of the program.
struct FindHooks
{
    // Makes `settings` the program's settings; `save` writes the settings
    // file as the settings dialog's OK does. False when that failed (the
    // user has been told).
    std::function<bool(const LineSettings &settings, bool save)> useSettings;
    // Opens the configuration window on `addresses` (at most four) at
    // `settings`, after this window has let the port go.
    std::function<void(const LineSettings &settings, const QList<int> &addresses)> monitorThese;
};

// The "Find Controllers" window's logic: an address scan at the window's
// setting (the program's, or the one a line-settings search found), the
// search itself, and what to do with what was found. Only reads.
class FindLogic : public QObject
{
    Q_OBJECT
public:
    static constexpr int FirstAddress = 1;
    static constexpr int LastAddress = 247;
    static constexpr int SearchLastAddress = 16;
    static constexpr int MonitorSlots = 4;

    FindLogic(Line &line, LineSettingsSource programSettings, QObject *parent = nullptr);

    FindHooks hooks;

    // The window is shown: the line opens at the program's settings (a
    // failure is shown and the line stays closed).
    void FormShow();
    // The window closes: whatever runs stops and the line closes.
    void FormClose();
    bool holdsPort() const { return m_line.isOpen(); }

    // The time a controller is given to answer beyond the wire time
    // (MarginBox), and the ranges the time text speaks of.
    void setMarginMs(int ms);
    int marginMs() const { return m_scan.marginMs(); }
    void rangesChanged(int first, int last, int searchFirst, int searchLast);
    // "38 s", "6 min 12 s".
    static QString DurationText(qint64 ms);

    void ScanBtClick(int first, int last);
    // "Check line": listens, asks first..last, and says what it found.
    void CheckBtClick(int first, int last);
    const LineCheckResult &checkResult() const { return m_check.result(); }
    void SearchBtClick(int first, int last);
    void CancelBtClick();
    void UseBtClick();
    void MonitorBtClick();

    // The line's events, from the window's trigger handler.
    void take(int msg, int triggerHandle, int data);

    const FindView &view() const { return m_view; }
    const LineSettings &setting() const { return m_setting; }
    // The addresses of the controllers that answered, in address order.
    QList<int> foundAddresses() const;

    // "ASCII 9600 bit/s 7E1" and the like.
    static QString SettingText(const LineSettings &settings);
    static QString ModelText(int modelCode);
    // Major in decimal, minor as two hex digits: 0x010A is "1.0A".
    static QString FirmwareText(int firmware);
    static const char GarbledText[];

signals:
    void changed();

private:
    bool openAt(const LineSettings &settings);
    void scanProgress(int address);
    void searchTrying(int index, int count);
    void scanEnded();
    void searchEnded();
    void checkEnded();
    void showFound(const QList<FoundController> &found);
    void setIdle(const QString &status);

    enum class Work { None, Scan, Search, Check };
    // Starts `work` on first..last at the window's setting; false (said)
    // when something runs already or the port does not open.
    bool beginOnRange(Work work, int first, int last);
    Line &m_line;
    LineSettingsSource m_programSettings;
    LineSettings m_setting;
    AddressScan m_scan;
    SettingsSearch m_search;
    LineCheck m_check;
    Work m_work = Work::None;
    bool m_cancelled = false;
    int m_first = FirstAddress;
    std::array<int, 4> m_ranges {FirstAddress, LastAddress, FirstAddress, SearchLastAddress};
    int m_last = LastAddress;
    int m_settingIndex = 0;
    int m_settingCount = 1;
    QList<FoundController> m_found;
    FindView m_view;
};
