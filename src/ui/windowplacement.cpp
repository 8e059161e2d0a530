#include "ui/windowplacement.h"

#include <QWidget>

void ShowCentredOnOwner(QWidget *window)
{
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
        return;
    }
    if (QWidget *owner = window->parentWidget()) {
        const QPoint centre = owner->frameGeometry().center();
        window->move(centre - QPoint(window->width() / 2, window->height() / 2));
    }
    window->show();
}
