#include "app/mainlogic.h"

#include "app/comsettings.h"
#include "app/settingsfile.h"
#include "link/duvaerror.h"
#include "ui/dialogs.h"

#include <QTimer>

MainLogic::MainLogic(ComSettings &settings)
    : m_settings(settings)
{ }

void MainLogic::setWindow(TalkingWindow window, TalkingWindowHooks hooks)
{
    m_windows[size_t(window)] = std::move(hooks);
}

bool MainLogic::othersFree(std::optional<TalkingWindow> except)
{
    for (size_t w = 0; w < m_windows.size(); ++w) {
        const TalkingWindowHooks &h = m_windows[w];
        if (except && size_t(*except) == w)
            continue;
        if (h.holdsPort && h.holdsPort()) {
            AppDialogs().inform(QStringLiteral("Message"),
                                QStringLiteral("COM port in use, Shut down other program first !"));
            return false;
        }
    }
    return true;
}

bool MainLogic::maySetSettings()
{
    return othersFree(std::nullopt);
}

bool MainLogic::mayOpen(TalkingWindow window)
{
    return othersFree(window);
}

void MainLogic::loadSettings(const QString &dir)
{
    ComSettings loaded = m_settings;
    try {
        LoadSettingsFile(loaded, dir);
        m_settings = loaded;
    } catch (const DuvaError &e) {
        // The selections keep their defaults; the window is still shown.
        const QString text = e.text();
        QTimer::singleShot(0, [text] { AppDialogs().error(text); });
    }
    try {
        LoadNetworkFile(loaded, dir);
        m_settings = loaded;
    } catch (const DuvaError &e) {
        const QString text = e.text();
        QTimer::singleShot(0, [text] { AppDialogs().error(text); });
    }
}

void MainLogic::endProgram()
{
    m_ended = true;
    for (const TalkingWindowHooks &h : m_windows)
        if (h.endWork)
            h.endWork();
}
