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

bool MainLogic::othersFree(std::initializer_list<TalkingWindow> others)
{
    for (const TalkingWindow w : others) {
        const TalkingWindowHooks &h = hooks(w);
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
    return othersFree({TalkingWindow::Console, TalkingWindow::Monitor, TalkingWindow::Recorder});
}

bool MainLogic::mayOpen(TalkingWindow window)
{
    switch (window) {
    case TalkingWindow::Console:
        return othersFree({TalkingWindow::Monitor, TalkingWindow::Recorder});
    case TalkingWindow::Monitor:
        return othersFree({TalkingWindow::Console, TalkingWindow::Recorder});
    case TalkingWindow::Recorder:
        return othersFree({TalkingWindow::Console, TalkingWindow::Monitor});
    }
    return false;
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
}

void MainLogic::endProgram()
{
    m_ended = true;
    for (const TalkingWindowHooks &h : m_windows)
        if (h.endWork)
            h.endWork();
}
