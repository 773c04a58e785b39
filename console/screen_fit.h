#pragma once
// Fitting the main window to a screen that is too small for its designed size: the factor by
// which the window is shown smaller and where its frame goes. Plain arithmetic on screen pixels,
// without widgets.

namespace screen_fit {

struct Size {
    int width = 0;
    int height = 0;
};

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct Point {
    int x = 0;
    int y = 0;

    bool operator==(const Point&) const = default;
};

// Room left for a window manager's frame: borders and a title bar. The frame is known only once
// the window is up; this is about the largest that common window managers draw.
constexpr Size FrameAllowance{8, 40};

// The factor by which a window of client size design, with a frame of frame around it, is shown
// so that it lies wholly inside available: 1 where it fits as designed, less than 1 otherwise,
// the same for both directions. An available area smaller than the frame itself gives the
// smallest factor, never 0 or less.
double fitScale(const Rect& available, Size design, Size frame);

// The client size shown at scale: each side rounded down, so that it never outgrows the room
// the factor was computed for.
Size scaledSize(Size design, double scale);

// Where the frame's top left corner goes for a framed window of outer size framed: centred in
// available, and never left of or above it, so that the title bar stays on the screen.
Point fitPlacement(const Rect& available, Size framed);

} // namespace screen_fit
