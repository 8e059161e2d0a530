#pragma once

#include <QColor>
#include <QWidget>

// A lamp on a window: a circle (or a square with rounded corners) filled
// with its colour and edged in dark grey. It paints itself, and only when its
// colour or shape changes, so a window may set the colour on every update.
class Lamp : public QWidget
{
    Q_OBJECT
public:
    enum class Shape { Round, Square };

    explicit Lamp(QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color);
    Shape shape() const { return m_shape; }
    void setShape(Shape shape);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
    Shape m_shape = Shape::Round;
};
