#pragma once

#include <memory>

class MainForm;

// Creates the program's six windows, in this order: the main window, the
// About box, the monitor window, the settings dialog, the program editor,
// the recorder. The main window owns the others.
std::unique_ptr<MainForm> CreateWindows();
