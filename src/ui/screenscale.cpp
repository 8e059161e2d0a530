#include "ui/screenscale.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
int fixedWidth = DesignScreenWidth;
int overrideWidth = 0;
} // namespace

int ScreenWidth()
{
    return fixedWidth;
}

void SetScreenWidthOverride(int width)
{
    overrideWidth = width;
}

void FixScreenWidth(const QWidget *window)
{
    if (overrideWidth > 0) {
        fixedWidth = overrideWidth;
        return;
    }
    bool ok = false;
    const int fromEnv = qEnvironmentVariableIntValue("DUVA_SCREEN_WIDTH", &ok);
    if (ok && fromEnv > 0) {
        fixedWidth = fromEnv;
        return;
    }
    const QScreen *screen = window ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        fixedWidth = screen->geometry().width();
}

int Scaled(int designPixels)
{
    return static_cast<int>(static_cast<long long>(designPixels) * fixedWidth / DesignScreenWidth);
}

void PlaceScaled(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(Scaled(left), Scaled(top), Scaled(width), Scaled(height));
}

void SetScaledFont(QWidget *widget, int designPixelSize, bool bold)
{
    QFont font = widget->font();
    font.setPixelSize(qMax(1, Scaled(designPixelSize)));
    font.setBold(bold);
    widget->setFont(font);
}
