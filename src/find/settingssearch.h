#pragma once

#include "find/addressscan.h"
#include "link/linesettings.h"

#include <QList>
#include <QObject>
#include <memory>

// Looks for the line settings controllers answer at: tries each setting in
// turn (the line opened afresh for each, since a port's data bits and parity
// cannot change while it is open), scans a short address range at it, and
// ends at the first setting where a controller answered.
class SettingsSearch : public QObject
{
    Q_OBJECT
public:
    // The settings tried, all on the port of `base`, most usual first: the
    // baud rates of the settings dialog from 9600 up then down, each in
    // ASCII (7E1, 7O1, 8N1) and in RTU (8N1, 8E1, 8O1); then every other
    // setting the dialog can make (90 in all).
    static QList<LineSettings> Candidates(const LineSettings &base);
    // The longest a search of first..last takes with nothing on the line.
    static qint64 expectedMs(const LineSettings &base, int first, int last, int marginMs);

    SettingsSearch(Line &line, QObject *parent = nullptr);

    void start(const LineSettings &base, int first, int last);
    void cancel();
    bool running() const { return m_running; }
    // The setting being tried, or the one that found controllers.
    const LineSettings &setting() const { return m_setting; }
    bool succeeded() const { return m_succeeded; }
    const QList<FoundController> &found() const;
    AddressScan &scan() { return *m_scan; }

    // The line's events, from the window's trigger handler.
    void take(int msg, int triggerHandle, int data) { m_scan->take(msg, triggerHandle, data); }

signals:
    // The setting `index` of `count` is being tried.
    void trying(int index, int count);
    void finished();

private:
    void tryNext();
    void scanEnded();

    Line &m_line;
    std::unique_ptr<AddressScan> m_scan;
    QList<LineSettings> m_candidates;
    LineSettings m_setting;
    int m_next = 0;
    int m_first = 1;
    int m_last = 16;
    bool m_running = false;
    bool m_succeeded = false;
};
