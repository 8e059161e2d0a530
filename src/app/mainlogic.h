#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>

class ComSettings;

// The windows that talk on the serial port; only one may hold it at a time.
enum class TalkingWindow { Console, Monitor, Recorder, Find };
constexpr size_t TalkingWindowCount = 4;

// What the main window needs of a talking window: whether it holds the port
// now, and how it ends its work when the program ends (without asking
// anything, closing its channel).
struct TalkingWindowHooks
{
    std::function<bool()> holdsPort;
    std::function<void()> endWork;
};

// The main window's rules, apart from its widgets: the port ownership rule,
// the start-up load of the settings file, and the one path that ends the
// program.
class MainLogic
{
public:
    explicit MainLogic(ComSettings &settings);

    void setWindow(TalkingWindow window, TalkingWindowHooks hooks);

    // The port ownership rule. The settings dialog may open only while no
    // window holds the port; a talking window only while none of the others
    // holds it (a window that holds it itself is brought forward).
    // A refusal shows "COM port in use, Shut down other program first !".
    bool maySetSettings();
    bool mayOpen(TalkingWindow window);

    // Loads the settings file from `dir` into the settings. A missing file
    // selects the defaults; a faulty one keeps the defaults and its error is
    // shown (posted, never inside the caller's event).
    void loadSettings(const QString &dir = QStringLiteral("."));

    // Every talking window ends its work and closes its channel. Safe to
    // call more than once.
    void endProgram();
    bool ended() const { return m_ended; }

private:
    // No window but `except` holds the port (all of them, without one).
    bool othersFree(std::optional<TalkingWindow> except);

    ComSettings &m_settings;
    std::array<TalkingWindowHooks, TalkingWindowCount> m_windows;
    bool m_ended = false;
};
