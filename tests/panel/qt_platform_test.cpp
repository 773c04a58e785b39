// The platform the console asks Qt for: X11 where an X server is named and the operator chose
// nothing, with Wayland after it in a Wayland session; otherwise Qt's own choice.

#include "console/qt_platform.h"

#include <gtest/gtest.h>

namespace {

TEST(PreferredQtPlatform, X11WhereAnXServerIsNamedUnlessTheOperatorChose) {
    const std::optional<std::string> none;
    const std::optional<std::string> x11 = "xcb", x11ThenWayland = "xcb;wayland";
    struct Case {
        PlatformEnvironment environment;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {{":0", "", "", {}}, x11},                     // an X11 session
        {{":0", "wayland-0", "", {}}, x11ThenWayland}, // a Wayland session with XWayland
        {{"", "wayland-0", "", {}}, none},             // Wayland without an X server
        {{"", "", "", {}}, none},                      // no display at all
        {{":0", "wayland-0", "wayland", {}}, none},    // chosen in the environment
        {{":0", "", "offscreen", {}}, none},           // also a platform without windows
        {{":0", "wayland-0", "", {"-platform", "wayland"}}, none},
        {{":0", "wayland-0", "", {"--platform", "wayland"}}, none},
        // Other arguments, and the word as an argument's value, are no choice.
        {{":0", "wayland-0", "", {"-style", "fusion", "-platformtheme"}}, x11ThenWayland},
        {{":0", "", "", {"--", "x-platform"}}, x11},
    };
    for (const Case& c : cases) {
        std::string args;
        for (const std::string& a : c.environment.args)
            args += " " + a;
        EXPECT_EQ(preferredQtPlatform(c.environment), c.expected)
            << "DISPLAY=" << c.environment.display
            << " WAYLAND_DISPLAY=" << c.environment.waylandDisplay
            << " QT_QPA_PLATFORM=" << c.environment.qtPlatform << " args:" << args;
    }
}

} // namespace
