#pragma once
// Which Qt platform the console asks for before its application is built. The panel docks at the
// main window's edge and stays on top only where a program may place its own windows: X11 lets
// it, Wayland does not. GNOME's and Plasma's Wayland sessions also run an X server (XWayland),
// so there the console prefers to be an X11 client. Plain strings, no Qt.

#include <optional>
#include <string>
#include <vector>

// What the choice looks at: the environment's DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM (empty
// when unset) and the program's arguments (without the program name).
struct PlatformEnvironment {
    std::string display;
    std::string waylandDisplay;
    std::string qtPlatform;
    std::vector<std::string> args;
};

// The value for QT_QPA_PLATFORM, or nothing to leave Qt's own choice. Where an X server is named
// and the operator chose no platform (QT_QPA_PLATFORM empty, no -platform or --platform
// argument): X11, with Wayland after it in a Wayland session, so that a DISPLAY whose server is
// gone still gives a console.
std::optional<std::string> preferredQtPlatform(const PlatformEnvironment& environment);

// Reads this process's environment and arguments and sets QT_QPA_PLATFORM as
// preferredQtPlatform says. Call before the application is built.
void choosePreferredQtPlatform(int argc, char** argv);
