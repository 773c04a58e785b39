#pragma once
// Arithmetic of the connection panel, kept free of widgets: where the panel docks at the main
// window's right edge, one step of the unit scan, and the unit address a line of the found-unit
// list stands for.

#include <cstdint>
#include <string_view>

// Size of the panel's client area. The height never changes; the width is one of the two below.
constexpr int PanelCollapsedWidth = 20;
constexpr int PanelExpandedWidth = 241;
constexpr int PanelHeight = 339;
// How far below the main window's top the docked panel sits after a docking move.
constexpr int PanelDockDrop = 24;

// Last address a scan probes: 0..251, one per tick.
constexpr int32_t ScanLastAddress = 251;

// The moments at which the panel docks.
enum class DockMoment {
    Creation,       // the panel is constructed
    MainMouseMove,  // the mouse moves over the main window's background (collapse)
    PanelMouseMove, // the mouse moves over the panel's background (expand)
    Shown,          // the panel is shown
};

// The main window's outer frame, in screen pixels.
struct MainFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    // How far the client area's top lies below the frame's top: the title bar a window manager
    // adds. 0 where the frame is the client area.
    int titleBar = 0;
};

// The panel's outer frame, in screen pixels (the panel has no frame of its own).
struct PanelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = PanelHeight;

    bool operator==(const PanelRect&) const = default;
};

// Where the panel goes at moment, given the main window's frame and the panel's present width.
// The width is settled first and the left edge follows from it, so that the panel's right edge
// lies on the main window's right edge and the panel grows and shrinks to the left. Where a
// window manager gives the main window a title bar, the panel's top is level with the top of the
// client area at every moment, so that it never covers the title bar and its buttons.
PanelRect panelDockRect(DockMoment moment, const MainFrame& main, int currentWidth);

// One tick of the unit scan, starting from the address the tick probes.
struct ScanStep {
    uint8_t probeAddress = 0; // address and argument byte of the probe: low 8 bits
    int gaugeValue = 0;       // what the progress gauge shows after the tick
    int32_t nextAddress = 0;  // scanAddress after the tick
    bool scanEnds = false;    // the tick probed the last address: the scan timer stops
};

ScanStep scanStep(int32_t scanAddress);

// The unit address a line of the found-unit list stands for: the line read as a decimal integer
// (surrounding blanks allowed), or 1 when the line is no number or lies outside the 32-bit
// range. The caller keeps the result within the spin edit's range.
int unitAddressFromLine(std::string_view line);
