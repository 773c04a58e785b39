#pragma once
// What the console asks of an X11 window manager beyond what Qt says for it: whether a
// compositing manager draws the screen (then windows may be see-through per pixel), and keeping
// a window off the taskbar and the pager. Elsewhere (Wayland, offscreen) both do nothing.

class QWindow;

namespace x11 {

// True when the console runs as an X11 client and a compositing manager owns the screen's
// _NET_WM_CM_Sn selection.
bool compositingManagerRuns();

// Adds _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER to the window's _NET_WM_STATE,
// which a window manager reads when the window is mapped: call it while the native window exists
// and is not mapped (Qt merges the states it sets itself with these when it maps the window).
void keepOffTaskbar(QWindow& window);

} // namespace x11
