#pragma once
// Showing a fixed-size window smaller than designed. Qt's own device-independent scaling does
// not paint below a factor of 1 (children come out unscaled and cropped), so the window's
// controls move onto one page of their designed size that a view draws scaled. The controls keep
// their designed geometry: every position an event reports, every bound the handlers read, is
// the designed one; only the screen shows them smaller.

#include <QSize>
#include <functional>

class QWidget;

// Moves window's controls onto the scaled page and gives window the scaled client size.
// backgroundMoved runs for every mouse move that reaches the page itself, as such moves reached
// the window before. Call once, after the window's controls exist and before it is shown.
void showScaled(QWidget& window, QSize design, double scale,
                const std::function<void()>& backgroundMoved);

// Where the primary screen's available area (what the window manager leaves) does not hold
// window at its designed client size with room for a frame, shows it scaled to fit and places
// it inside that area; otherwise leaves it exactly as it is. A scale the user set for Qt, or a
// screen's own factor, is already in the area's size: the fit only comes on top of it. Returns
// the factor applied, 1 for none.
double fitToScreen(QWidget& window, QSize design, const std::function<void()>& backgroundMoved);
