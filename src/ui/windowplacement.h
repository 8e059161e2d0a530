#pragma once

class QWidget;

// Shows a window centred over its owner (its parent widget), or, when it is
// already visible, brings it to the front without showing it again.
void ShowCentredOnOwner(QWidget *window);
