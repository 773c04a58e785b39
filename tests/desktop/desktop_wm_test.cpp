// The console under the X11 window managers Debian's desktops run, each under Xvfb with real
// input: the panel docked as a strip at the main window's right edge, drawn whole on the screen
// when open, above the dashboard after a click on it, off the taskbar with its transient-for hint
// naming the main window; connecting through it leaves the keyboard on the dashboard, where Up
// drives at once. What counts is the screen's pixels and the frames the robot received.

#include "tests/desktop/desktop_fixture.h"
#include "tests/desktop/window_manager_session.h"

#include <algorithm>
#include <fstream>

namespace desktop {
namespace {

struct WindowManager {
    std::string name;
    std::vector<std::string> argv;
    bool composites; // draws the screen itself: wait for its compositing manager too
};

void PrintTo(const WindowManager& wm, std::ostream* out) {
    *out << wm.name;
}

class WindowManagerDesktop : public Desktop, public ::testing::WithParamInterface<WindowManager> {
protected:
    void SetUp() override {
        linkPath_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-robot";
        ASSERT_NO_FATAL_FAILURE(startDisplay());
        const std::string why = session_.start(GetParam().argv, env(), outPath("wm.log"), [&] {
            const std::string wm = windowManager();
            return !wm.empty() && (!GetParam().composites || wm.find("\t1") != std::string::npos);
        });
        if (!why.empty())
            GTEST_SKIP() << "NO " << GetParam().name << ", its desktop tests did not run: " << why;
        ASSERT_NO_FATAL_FAILURE(startConsole());
    }

    std::vector<int> notDrawnHere(const XWindow& w) {
        return notDrawn(pixels(0, 0, w.width, w.height, w.id), pixels(w.x, w.y, w.width, w.height),
                        w.width, w.height, kBelowCorner);
    }
    bool drawn(int width, std::vector<int>& bad) {
        return waitFor(
            [&] {
                const XWindow p = panel();
                bad = p.width == width ? notDrawnHere(p) : std::vector<int>{-1};
                return bad.empty();
            },
            8000, 100);
    }

    WindowManagerSession session_;
};

TEST_P(WindowManagerDesktop, PanelDrawnAboveOffTheTaskbarAndUpDrivesRightAfterConnecting) {
    // A strip at the main window's right edge (the frame's border, if any, beside it).
    const XWindow m = main(), p = panel();
    EXPECT_EQ(p.width, 20);
    EXPECT_NEAR(p.x + p.width, m.x + m.width, 8) << "not docked at the main window's right edge";
    // The main window's taskbar button is the console's only one.
    EXPECT_TRUE(p.hasState("_NET_WM_STATE_SKIP_TASKBAR")) << p.states;
    EXPECT_TRUE(p.hasState("_NET_WM_STATE_SKIP_PAGER")) << p.states;
    EXPECT_EQ(p.transient, m.id) << "WM_TRANSIENT_FOR names another window";

    std::vector<int> bad;
    ASSERT_NO_FATAL_FAILURE(expandPanel());
    EXPECT_TRUE(drawn(kPanelWide, bad))
        << bad.size() << " columns of the open panel not on the screen, the first " << bad[0];
    screenshot("open");

    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    EXPECT_TRUE(waitFor([&] { return focusWindow() == main().id; }))
        << "after the opened notice the keyboard is with 0x" << hexId(focusWindow());
    const size_t before = frames().size();
    xdo({"keydown", "Up"});
    EXPECT_TRUE(waitPolls(2, 150, 150, before)) << "Up does not drive";
    xdo({"keyup", "Up"});
    EXPECT_TRUE(waitPolls(2, 100, 100, frames().size())) << "the robot was not stopped";

    // A click on the dashboard: the strip stays above it, drawn.
    ASSERT_NO_FATAL_FAILURE(focusDashboard());
    EXPECT_TRUE(drawn(20, bad)) << "the strip is not on the screen after a click on the dashboard";

    std::ifstream log(outPath("wm.log"));
    const std::string said(std::istreambuf_iterator<char>(log), {});
    EXPECT_EQ(said.find("Invalid WM_TRANSIENT_FOR"), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(X11, WindowManagerDesktop,
                         ::testing::Values(WindowManager{"openbox", {"openbox"}, false},
                                           WindowManager{"xfwm4", {"xfwm4"}, true},
                                           WindowManager{"marco", {"marco"}, true},
                                           WindowManager{"metacity", {"metacity"}, true},
                                           WindowManager{"muffin", {"muffin"}, true},
                                           WindowManager{"mutter", {"mutter", "--x11"}, true},
                                           WindowManager{"kwin_x11", {"kwin_x11"}, true},
                                           WindowManager{"icewm", {"icewm"}, false},
                                           WindowManager{"fluxbox", {"fluxbox"}, false}),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace desktop
