#include "ui/deferredrender.h"

DeferredRender::DeferredRender(QObject *parent, std::function<void()> render)
    : QObject(parent)
    , m_render(std::move(render))
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, [this] { m_render(); });
}

void DeferredRender::request()
{
    if (m_armed)
        return;
    m_armed = true;
    QMetaObject::invokeMethod(
        this, [this] { m_timer.start(); }, Qt::QueuedConnection);
}

void DeferredRender::done()
{
    m_timer.stop();
    m_armed = false;
}
