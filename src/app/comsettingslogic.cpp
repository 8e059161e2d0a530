#include "app/comsettingslogic.h"

#include "app/settingsfile.h"
#include "ui/dialogs.h"

void ComSettingsLogic::OKBt1Click()
{
    SaveSettingsFile(m_settings, m_dir);
}

bool ComSettingsLogic::AssignBtClick(const QList<SerialDevice> &devices)
{
    const int n = m_settings.comPort() + 1;
    const QString title = QStringLiteral("Assign device to COM%1").arg(n);
    if (n < 1)
        return false;
    if (devices.isEmpty()) {
        AppDialogs().inform(QStringLiteral("Message"),
                            QStringLiteral("No serial device was found on this computer."));
        return false;
    }
    QStringList items;
    for (const SerialDevice &d : devices)
        items << (d.description.isEmpty() ? d.device
                                          : QStringLiteral("%1 - %2").arg(d.device, d.description));
    const int chosen = AppDialogs().chooseItem(title, QStringLiteral("Serial device:"), items);
    if (chosen < 0 || chosen >= devices.size())
        return false;
    const SerialDevice &d = devices.at(chosen);
    QString error;
    if (!bindComPort(n, d.stableName.isEmpty() ? d.device : d.stableName, &error)) {
        AppDialogs().inform(QStringLiteral("Message"), error);
        return false;
    }
    return true;
}
