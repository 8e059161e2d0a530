#pragma once

class QWidget;

// Shows a window centred over its owner (its parent widget), or, when it is
// already visible, brings it to the front without showing it again.
void ShowCentredOnOwner(QWidget *window);

#include <Qt>

// A window that stays on top of the program's other windows and has only a
// close box in its title bar.
constexpr Qt::WindowFlags StayOnTopDialogFlags = Qt::Window | Qt::WindowStaysOnTopHint |
    Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
