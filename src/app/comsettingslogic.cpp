#include "app/comsettingslogic.h"

#include "app/settingsfile.h"
#include "ui/dialogs.h"

#include "link/duvaerror.h"

#include <algorithm>

void ComSettingsLogic::RadioClick(ComSettings::Group group, int index)
{
    m_settings.select(group, index);
    if (group == ComSettings::ComPort)
        m_settings.setLineKind(LineKind::Serial);
}

void ComSettingsLogic::NetworkClick(LineKind kind)
{
    m_settings.setLineKind(kind);
    NetworkTarget target = m_settings.network();
    if (kind == LineKind::Gateway && target.port == 0)
        target.port = NetworkTarget::GatewayPort;
    if (kind == LineKind::DeviceServer && target.port == 0)
        target.port = 4001;
    m_settings.setNetwork(target);
}

void ComSettingsLogic::HostEditChange(const QString &host)
{
    NetworkTarget target = m_settings.network();
    target.host = host.trimmed();
    m_settings.setNetwork(target);
}

void ComSettingsLogic::PortEditChange(int port)
{
    NetworkTarget target = m_settings.network();
    target.port = quint16(std::clamp(port, 0, 65535));
    m_settings.setNetwork(target);
}

void ComSettingsLogic::MarginEditChange(int marginMs)
{
    NetworkTarget target = m_settings.network();
    target.marginMs = std::clamp(marginMs, 0, NetworkTarget::MaximumMarginMs);
    m_settings.setNetwork(target);
}

void ComSettingsLogic::OKBt1Click()
{
    const NetworkTarget &target = m_settings.network();
    if (m_settings.lineKind() != LineKind::Serial && (target.host.isEmpty() || target.port == 0))
        throw DuvaError(QStringLiteral("Enter the host (name or address) and the port of the "
                                       "network device."));
    // No code reads back as "no port" beside the other selections: saving
    // one would bring back another port and speed than the dialog shows.
    if (m_settings.comPort() < 0)
        throw DuvaError(QStringLiteral("Choose a COM port: none is selected. Nothing was saved."));
    SaveSettingsFile(m_settings, m_dir);
    SaveNetworkFile(m_settings, m_dir);
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
