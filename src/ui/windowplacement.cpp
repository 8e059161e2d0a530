#include "ui/windowplacement.h"

#include "ui/screenscale.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace {
class KeepOnScreenFilter : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            QPointer<QWidget> window = static_cast<QWidget *>(watched);
            QTimer::singleShot(0, window, [window] {
                if (window && window->isVisible())
                    KeepFrameOnScreen(window);
            });
        }
        return false;
    }
};
} // namespace

void KeepFrameOnScreen(QWidget *window)
{
    const QRect area = ScreenArea(window);
    const QRect frame = window->frameGeometry();
    if (area.contains(frame))
        return;
    const QRect client = window->geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    QRect fitted(frame.topLeft(), frame.size().boundedTo(area.size()));
    fitted.moveTopLeft(KeptOnScreen(fitted, area));
    window->setGeometry(fitted.marginsRemoved(margins));
}

void KeepOnScreenWhenShown(QWidget *window)
{
    window->installEventFilter(new KeepOnScreenFilter(window));
}

QPoint KeptOnScreen(const QRect &frame, const QRect &area)
{
    // The right and bottom edges give way first, so that the title bar (and
    // the close box at its left or right) stays reachable.
    int x = qMin(frame.x(), area.right() + 1 - frame.width());
    int y = qMin(frame.y(), area.bottom() + 1 - frame.height());
    x = qMax(x, area.left());
    y = qMax(y, area.top());
    return QPoint(x, y);
}

void ShowCentredOnOwner(QWidget *window)
{
    if (window->isVisible()) {
        window->raise();
        window->activateWindow();
        return;
    }
    const QRect area = ScreenArea(window->parentWidget() ? window->parentWidget() : window);
    // move() places the frame, title bar included (none is known before the
    // window is first shown).
    QRect placed = window->frameGeometry();
    if (QWidget *owner = window->parentWidget())
        placed.moveCenter(owner->frameGeometry().center());
    window->move(KeptOnScreen(placed, area));
    window->show();
    KeepFrameOnScreen(window);
}
