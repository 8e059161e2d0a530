#pragma once

#include <QRect>

class QWidget;

// The windows are designed for a 1024 x 768 screen and scaled by the screen
// factor S = min(width, height * 1024 / 768) of the screen showing the main
// window, so that a design of 1024 x 768 fits the screen both ways: a design
// size of N pixels becomes N * S / 1024 (integer arithmetic, truncating).
constexpr int DesignScreenWidth = 1024;
constexpr int DesignScreenHeight = 768;

// The screen factor S for a screen of width x height pixels.
int ScreenFactor(int width, int height);

// The screen factor S fixed when the main window was created (1024 until
// then). Every scaled size of the program is N * ScreenWidth() / 1024.
int ScreenWidth();

// Fixes ScreenWidth from the screen `window` lies on, or from the size forced
// by SetScreenSizeOverride or the environment variables DUVA_SCREEN_WIDTH and
// DUVA_SCREEN_HEIGHT (tests and screenshots).
void FixScreenWidth(const QWidget *window);

// Forces the screen size that FixScreenWidth and ScreenArea take, as if the
// screen were width x height pixels with nothing reserved on it; 0 x 0
// returns to the real screen.
void SetScreenSizeOverride(int width, int height);

// Whether the screen size is forced (SetScreenSizeOverride): the platform's
// screen is then not the one the windows are laid out for, and a window
// covering the screen takes the forced area instead of being maximized.
bool ScreenSizeForced();

// The part of the screen windows may use (the screen `window` lies on, or
// the primary one): the forced screen size when there is one.
QRect ScreenArea(const QWidget *window);

// N * ScreenWidth / 1024.
int Scaled(int designPixels);

// Places a control at its design position and size, scaled. Push buttons and
// combo boxes are made wider when their text needs it (fonts differ from
// machine to machine); nothing is moved.
void PlaceScaled(QWidget *widget, int left, int top, int width, int height);

// Sets the font of a control to a design pixel size, scaled; bold optional.
// A push button or combo box placed by PlaceScaled grows to its text again.
void SetScaledFont(QWidget *widget, int designPixelSize, bool bold = false);
