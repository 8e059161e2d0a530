#include "ui/screenscale.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVariant>
#include <QWidget>

namespace {
int fixedFactor = DesignScreenWidth;
QSize overrideSize;

const char *const DesignWidthProperty = "duvaScaledDesignWidth";

const QScreen *screenOf(const QWidget *window)
{
    const QScreen *screen = window ? window->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

// A control whose text must not be clipped by a design width too small for
// this machine's fonts.
bool sizedByText(const QWidget *widget)
{
    if (widget->isWindow())
        return false;
    if (qobject_cast<const QComboBox *>(widget))
        return true;
    const auto *button = qobject_cast<const QPushButton *>(widget);
    return button && !button->text().isEmpty();
}

// A control grown past its design width comes above the neighbours it now
// reaches into (made after it, they would hide its end), once the window is
// built; controls over its design place keep lying over it.
void bringAboveReachedNeighbours(QWidget *widget)
{
    QWidget *parent = widget->parentWidget();
    if (!parent)
        return;
    const int designWidth = widget->property(DesignWidthProperty).toInt();
    const QRect design(widget->pos(), QSize(designWidth, widget->height()));
    const QRect grown = widget->geometry();
    for (QObject *child : parent->children()) {
        auto *sibling = qobject_cast<QWidget *>(child);
        if (sibling && sibling != widget && !sibling->isWindow() &&
            sibling->geometry().intersects(grown) && !sibling->geometry().intersects(design))
            sibling->stackUnder(widget);
    }
}

void fitText(QWidget *widget)
{
    const QVariant design = widget->property(DesignWidthProperty);
    if (!design.isValid() || !sizedByText(widget))
        return;
    widget->resize(qMax(design.toInt(), widget->sizeHint().width()), widget->height());
    if (widget->width() > design.toInt()) {
        QPointer<QWidget> grown = widget;
        QTimer::singleShot(0, widget, [grown] {
            if (grown)
                bringAboveReachedNeighbours(grown);
        });
    }
}
} // namespace

int ScreenFactor(int width, int height)
{
    const long long byHeight =
        static_cast<long long>(height) * DesignScreenWidth / DesignScreenHeight;
    return static_cast<int>(qMin<long long>(width, byHeight));
}

int ScreenWidth()
{
    return fixedFactor;
}

void SetScreenSizeOverride(int width, int height)
{
    overrideSize = width > 0 && height > 0 ? QSize(width, height) : QSize();
}

bool ScreenSizeForced()
{
    return overrideSize.isValid();
}

QRect ScreenArea(const QWidget *window)
{
    if (overrideSize.isValid())
        return QRect(QPoint(0, 0), overrideSize);
    const QScreen *screen = screenOf(window);
    return screen ? screen->availableGeometry()
                  : QRect(0, 0, DesignScreenWidth, DesignScreenHeight);
}

void FixScreenWidth(const QWidget *window)
{
    if (overrideSize.isValid()) {
        fixedFactor = ScreenFactor(overrideSize.width(), overrideSize.height());
        return;
    }
    const QScreen *screen = screenOf(window);
    QSize size = screen ? screen->geometry().size() : QSize(DesignScreenWidth, DesignScreenHeight);
    bool ok = false;
    const int width = qEnvironmentVariableIntValue("DUVA_SCREEN_WIDTH", &ok);
    if (ok && width > 0)
        size.setWidth(width);
    const int height = qEnvironmentVariableIntValue("DUVA_SCREEN_HEIGHT", &ok);
    if (ok && height > 0)
        size.setHeight(height);
    fixedFactor = qMax(1, ScreenFactor(size.width(), size.height()));
}

int Scaled(int designPixels)
{
    return static_cast<int>(static_cast<long long>(designPixels) * fixedFactor / DesignScreenWidth);
}

void PlaceScaled(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
    if (sizedByText(widget)) {
        widget->setProperty(DesignWidthProperty, Scaled(width));
        fitText(widget);
    }
}

void SetScaledFont(QWidget *widget, int designPixelSize, bool bold)
{
    QFont font = widget->font();
    font.setPixelSize(qMax(1, Scaled(designPixelSize)));
    font.setBold(bold);
    widget->setFont(font);
    fitText(widget);
}
