#pragma once

#include "app/comsettings.h"
#include "link/comports.h"

#include <QString>

// The settings dialog's rules, apart from its widgets: the selections are the
// program's one settings object (owned by main()), the show rule, the RTU
// rule, and OK writing the settings file.
class ComSettingsLogic
{
public:
    explicit ComSettingsLogic(ComSettings &settings, QString dir = QStringLiteral("."))
        : m_settings(settings)
        , m_dir(std::move(dir))
    { }

    const ComSettings &settings() const { return m_settings; }

    // Shown: no port selected resets all six groups to their defaults.
    void FormShow() { m_settings.resetIfNoPort(); }
    // A COM port chosen makes the line a serial one again.
    void RadioClick(ComSettings::Group group, int index);
    // A network line chosen beside the COM ports; the port number starts
    // at the kind's usual one (4001 for a device server, 502 for a gateway).
    void NetworkClick(LineKind kind);
    void HostEditChange(const QString &host);
    void PortEditChange(int port);
    void MarginEditChange(int marginMs);
    // Echo removal, reply time-out, retries and pause of the line.
    void TalkChange(const LineTalk &talk) { m_settings.setTalk(talk); }
    // Writes the settings file and the network file. A network line
    // without its host, or a failed save, throws DuvaError (the dialog then
    // stays open).
    void OKBt1Click();
    // "Assign device...": offers `devices` for the selected COM number and
    // binds the chosen one by its stable name when it has one, so the number
    // keeps reaching the same adapter. False when nothing was bound (the
    // user cancelled, there was nothing to offer, or the link could not be
    // written; the user is told why).
    bool AssignBtClick(const QList<SerialDevice> &devices);

private:
    ComSettings &m_settings;
    QString m_dir;
};
