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
    void RadioClick(ComSettings::Group group, int index) { m_settings.select(group, index); }
    // Writes the settings file. A failed save throws DuvaError with the file
    // name and the reason; the dialog then stays open.
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
