#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

// Shows a window centred over its owner (its parent widget) and kept on the
// owner's screen, its title bar never above the screen's top; or, when it is
// already visible, brings it to the front without showing it again.
void ShowCentredOnOwner(QWidget *window);

// Moves and, if need be, shrinks a shown window so that its frame (title
// bar included) lies within the screen's usable area: a window laid over the
// whole area is brought back inside it once its frame is known.
void KeepFrameOnScreen(QWidget *window);

// Makes `window` keep its frame on the screen each time it is shown, once
// the platform has placed it.
void KeepOnScreenWhenShown(QWidget *window);

// Where a window frame `frame` goes so that it lies within `area`; a frame
// larger than the area keeps its top left corner on it.
QPoint KeptOnScreen(const QRect &frame, const QRect &area);

#include <Qt>

// A window that stays on top of the program's other windows and has only a
// close box in its title bar.
constexpr Qt::WindowFlags StayOnTopDialogFlags = Qt::Window | Qt::WindowStaysOnTopHint |
    Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
