#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// One render of a window's model into its widgets per turn of the event
// loop, after the request the line's event just handed to the port has
// left: a posted call starts a zero-time timer. Alone, neither would do:
// with Qt's glib event loop posted calls run before the port's write in the
// next turn, with its Unix loop a zero-time timer runs before it; a timer
// started from a posted call runs after the turn's socket events with
// either.
class DeferredRender : public QObject
{
public:
    DeferredRender(QObject *parent, std::function<void()> render);

    // Asks for a render; several requests before it runs make one.
    void request();
    // The render runs now (or has just run): pending requests are met.
    void done();

private:
    std::function<void()> m_render;
    QTimer m_timer;
    bool m_armed = false;
};
