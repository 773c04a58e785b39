// Laptop screens under openbox: both windows inside the screen, the panel below the title bar at
// start, expanded and collapsed; the same fraction of the pad drives as at the designed size.

#include "tests/desktop/desktop_fixture.h"

#include <cmath>

namespace desktop {
namespace {

class DesktopScreen : public Desktop, public ::testing::WithParamInterface<std::pair<int, int>> {
protected:
    void SetUp() override {
        linkPath_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-robot";
        ASSERT_NO_FATAL_FAILURE(startDisplay(std::to_string(GetParam().first) + "x" +
                                             std::to_string(GetParam().second)));
        Child::Options options;
        options.env = env();
        wm_ = std::make_unique<Child>(std::vector<std::string>{ZELK_OPENBOX_PATH}, options);
        ASSERT_TRUE(waitFor([&] { return !windowManager().empty(); })) << "no window manager";
        console_ = std::make_unique<Child>(std::vector<std::string>{ZELK_CONSOLE_PATH}, options);
        ASSERT_TRUE(waitFor([&] { return docked(20); })) << "the console is not framed and docked";
    }
    // A window's own area on the screen, also inside a frame: x, y, width, height.
    std::array<int, 4> client(const std::string& id) {
        const std::string out = run({"xwininfo", "-id", id}, env()).out;
        std::array<int, 4> a{};
        size_t i = 0;
        for (const std::string key : {"upper-left X:", "upper-left Y:", "Width:", "Height:"})
            a[i++] = out.find(key) == std::string::npos
                         ? -1
                         : std::atoi(out.c_str() + out.find(key) + key.size());
        return a;
    }
    // Both windows and the main window's frame (the top-level window around its client area)
    // inside the screen; the panel at the frame's right edge, level with the client area.
    bool docked(int panelWidth) {
        const RunResult ids = run(
            {ZELK_XDOTOOL_PATH, "search", "--onlyvisible", "--classname", "zelk_console"}, env());
        std::istringstream list(ids.out);
        std::array<int, 4> panel{};
        for (std::string id; list >> id;) {
            const std::array<int, 4> a = client(id);
            (a[3] == 339 ? panel : main_) = a;
        }
        const auto [width, height] = GetParam();
        for (const XWindow& m : windows())
            if (m.viewable && m.x <= main_[0] && m.y < main_[1] &&
                m.x + m.width >= main_[0] + main_[2])
                return m.x >= 0 && m.y >= 0 && m.x + m.width <= width && m.y + m.height <= height &&
                       panel[2] == panelWidth && panel[1] == main_[1] &&
                       panel[0] + panel[2] == m.x + m.width && panel[1] + panel[3] <= height;
        return false;
    }
    // The screen pixel nearest the first of offsets from the pad centre that maps back onto
    // exactly that designed pixel of the main window.
    std::optional<std::pair<int, int>> onPad(const std::vector<std::pair<int, int>>& offsets) {
        const double scale = double(main_[2]) / kMainWidth;
        for (auto [dx, dy] : offsets) {
            const long x = std::lround((kPadCentreX + dx) * scale);
            const long y = std::lround((kPadCentreY + dy) * scale);
            if (std::lround(x / scale) == kPadCentreX + dx &&
                std::lround(y / scale) == kPadCentreY + dy)
                return std::pair{main_[0] + int(x), main_[1] + int(y)};
        }
        return std::nullopt;
    }
    std::unique_ptr<Child> wm_;
    std::array<int, 4> main_{};
};

TEST_P(DesktopScreen, WholeConsoleInsideThePanelBelowTheTitleBarAndTheKnobDrivesAsDesigned) {
    EXPECT_TRUE(GetParam().second < 1000 || (main_[2] == kMainWidth && main_[3] == kMainHeight))
        << "a screen that holds the window shows it as designed";
    ASSERT_NO_FATAL_FAILURE(expandPanel());
    EXPECT_TRUE(waitFor([&] { return docked(kPanelWide); })) << "expanded";
    pointerTo(main_[0] + main_[2] * 400 / kMainWidth, main_[1] + main_[3] * 720 / kMainHeight);
    pointerTo(main_[0] + main_[2] * 404 / kMainWidth, main_[1] + main_[3] * 722 / kMainHeight);
    EXPECT_TRUE(waitFor([&] { return docked(20); })) << "collapsed over the robot picture";

    startSim();
    ASSERT_NO_FATAL_FAILURE(clickPanel(kComboX, kComboY));
    xdo({"key", "ctrl+a"});
    xdo({"type", "--delay", "15", linkPath_});
    ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
    // The notice, answered with the keyboard once it has the focus.
    ASSERT_TRUE(waitFor([&] {
        const RunResult r = run({ZELK_XDOTOOL_PATH, "search", "--name", "^OK$"}, env());
        return !r.out.empty() && focusWindow() == std::strtoul(r.out.c_str(), nullptr, 10);
    }));
    xdo({"key", "Return"});
    ASSERT_TRUE(waitFor([&] { return !frames().empty(); })) << "nothing reached the robot";
    // A press 40 or 41 px right of, 30 or 31 px above the centre: 92/154 at the designed size.
    const auto at = onPad({{40, -30}, {41, -30}, {40, -31}, {41, -31}});
    ASSERT_TRUE(at) << "no screen pixel maps onto the designed one";
    pointerTo(at->first, at->second);
    xdo({"mousedown", "1"});
    EXPECT_TRUE(waitPolls(2, 92, 154)) << "not the designed drive pair";
    xdo({"mouseup", "1"});
    // The keyboard drives through the scaled view as well.
    xdo({"keydown", "Up"});
    EXPECT_TRUE(waitPolls(2, 150, 150, frames().size())) << "the arrow key does not drive";
    xdo({"keyup", "Up"});
}

INSTANTIATE_TEST_SUITE_P(Screens, DesktopScreen,
                         ::testing::Values(std::pair{1366, 768}, std::pair{1280, 800},
                                           std::pair{1600, 1000}));

} // namespace
} // namespace desktop
