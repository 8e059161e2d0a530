#pragma once

#include <memory>

class ComSettings;
class MainForm;

// Creates the program's six windows, in this order: the main window, the
// About box, the monitor window, the settings dialog, the program editor,
// the recorder. The main window owns the others. `settings` is the program's
// one settings object: the settings dialog edits it, the talking windows
// read it whenever they open their port or build a frame.
std::unique_ptr<MainForm> CreateWindows(ComSettings &settings);
