#include "ui/lamp.h"

#include <QPainter>

Lamp::Lamp(QWidget *parent)
    : QWidget(parent)
{ }

void Lamp::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void Lamp::setShape(Shape shape)
{
    if (shape == m_shape)
        return;
    m_shape = shape;
    update();
}

void Lamp::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.setBrush(m_color.isValid() ? QBrush(m_color) : QBrush());
    // The edge's centre line half a pixel inside, so all of it is drawn.
    const QRectF edge = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_shape == Shape::Round)
        p.drawEllipse(edge);
    else
        p.drawRoundedRect(edge, width() / 5.0, height() / 5.0);
}
