#pragma once

class QWidget;

// The windows are designed for a screen 1024 pixels wide and scaled to the
// width of the screen showing the main window: a design size of N pixels
// becomes N * ScreenWidth / 1024 (integer arithmetic, truncating).
constexpr int DesignScreenWidth = 1024;

// The width fixed when the main window was created (1024 until then).
int ScreenWidth();

// Fixes ScreenWidth from the screen `window` lies on, or from the width
// forced by SetScreenWidthOverride or the environment variable
// DUVA_SCREEN_WIDTH (tests and screenshots).
void FixScreenWidth(const QWidget *window);

// Forces the width that FixScreenWidth takes; 0 returns to the screen's.
void SetScreenWidthOverride(int width);

// N * ScreenWidth / 1024.
int Scaled(int designPixels);

// Places a control at its design position and size, scaled.
void PlaceScaled(QWidget *widget, int left, int top, int width, int height);

// Sets the font of a control to a design pixel size, scaled; bold optional.
void SetScaledFont(QWidget *widget, int designPixelSize, bool bold = false);
