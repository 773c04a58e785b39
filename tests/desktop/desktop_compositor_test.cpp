// The console in the Wayland sessions of GNOME (gnome-shell) and KDE Plasma (KWin), headless, with
// XWayland, in its default mode (an X11 client of XWayland) and as a Wayland client: the panel
// above the main window (docked at its right edge where the console places its windows), drawn
// whole on the screen (the shell's screenshot) when the pointer is over it, its strip again after a
// click on the dashboard whatever size the compositor proposes as the focus moves, and connecting
// through it leaves the keyboard on the dashboard, where Up drives. The pointer and keys are the
// compositor's own; the windows are as the compositor has them; bytes checked at the simulated
// robot's side.

#include "tests/desktop/desktop_fixture.h"
#include "tests/desktop/gnome_session.h"
#include "tests/desktop/kde_session.h"

namespace desktop {
namespace {

struct Mode {
    std::string name;
    bool kde, x11;
};

void PrintTo(const Mode& mode, std::ostream* out) {
    *out << (mode.kde ? "KDE Plasma, " : "GNOME, ") << mode.name;
}

class CompositorDesktop : public Desktop, public ::testing::WithParamInterface<Mode> {
protected:
    void SetUp() override {
        linkPath_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-robot";
        if (GetParam().kde)
            session_ = std::make_unique<KdeSession>();
        else
            session_ = std::make_unique<GnomeSession>();
        const std::string why = session_->start(outPath("compositor.log"));
        if (!why.empty())
            GTEST_SKIP() << "NO " << (GetParam().kde ? "KDE PLASMA" : "GNOME")
                         << " SESSION, the console's tests there did not run: " << why;
        display_ = session_->xDisplay(); // the X11 probe reads XWayland's windows
        xauthority_ = session_->xauthority();
        Child::Options options;
        options.env =
            session_->env(GetParam().x11 ? std::vector<std::string>{}
                                         : std::vector<std::string>{"QT_QPA_PLATFORM=wayland"});
        options.outFile = outPath("console.out");
        options.errFile = outPath("console.log");
        console_ = std::make_unique<Child>(std::vector<std::string>{ZELK_CONSOLE_PATH}, options);
        ASSERT_TRUE(waitFor([&] {
            return shellWindow(false).width > 0 && shellWindow(true).width > 0;
        })) << "the console's windows did not appear";
    }
    void TearDown() override {
        if (::testing::Test::HasFailure()) {
            session_->ask("shot " + outPath("failed.png"));
            if (!session_->lastError().empty())
                ADD_FAILURE() << "the probe's last error: " << session_->lastError();
            for (const ShellWindow& w : session_->windows())
                ADD_FAILURE() << "window \"" << w.title << "\" " << w.width << "x" << w.height
                              << "+" << w.x << "+" << w.y << (w.x11 ? " X11" : " Wayland")
                              << (w.focused ? " focused" : "");
        }
        console_.reset();
        sim_.reset();
    }

    void pointerTo(int x, int y) override {
        EXPECT_TRUE(session_->pointerTo(x, y)) << session_->lastError();
    }
    void click() override { EXPECT_TRUE(session_->click()) << session_->lastError(); }
    void press(const std::string& keys) override {
        EXPECT_TRUE(session_->press(keys)) << session_->lastError();
    }
    void type(const std::string& text) override {
        EXPECT_TRUE(session_->type(text)) << session_->lastError();
    }

    // The main window (its frame: the title bar above the dashboard), the panel, or the window
    // titled title, as the shell has them; stack: the place from the bottom.
    ShellWindow shellWindow(bool panel, size_t* stack = nullptr, const std::string& title = {}) {
        const std::vector<ShellWindow> list = session_->windows();
        for (size_t i = 0; i < list.size(); ++i) {
            const ShellWindow& w = list[i];
            const bool isPanel = w.height == 339 && (w.width == 20 || w.width == kPanelWide);
            if (!title.empty() ? w.title == title
                : panel        ? isPanel
                               : w.title == kMainTitle && w.width >= kMainWidth) {
                if (stack)
                    *stack = i;
                return w;
            }
        }
        return ShellWindow{};
    }
    bool aboveTheMainWindow() {
        size_t panelAt = 0, mainAt = 0;
        shellWindow(true, &panelAt);
        shellWindow(false, &mainAt);
        return panelAt > mainAt;
    }
    // A spot of the dashboard client area, from its bottom left (the frame has one width left,
    // right and below, a title bar above).
    std::pair<int, int> onTheDashboard(int x, int fromBottom) {
        const ShellWindow m = shellWindow(false);
        const int border = (m.width - kMainWidth) / 2;
        return {m.x + border + x, m.y + m.height - border - fromBottom};
    }

    // The panel at width, shown on the screen as it drew itself (an X11 client's own content;
    // a Wayland client's is not to be read: its blue).
    bool panelDrawn(int width, std::vector<int>& bad) {
        return waitFor(
            [&] {
                const ShellWindow p = shellWindow(true);
                const Pixels own =
                    GetParam().x11 ? pixels(0, 0, p.width, p.height, panel().id) : Pixels{};
                bad = p.width != width
                          ? std::vector<int>{-1}
                          : notDrawn(own, session_->pixels(p.x, p.y, p.width, p.height), p.width,
                                     p.height, kBelowCorner);
                return bad.empty();
            },
            8000, 200);
    }
    void openPanel() {
        for (int i = 0; i < 2 && shellWindow(true).width != kPanelWide; ++i) {
            const ShellWindow p = shellWindow(true);
            pointerTo(p.x + p.width - 8, p.y + 150);
            pointerTo(p.x + p.width - 6, p.y + 152);
            waitFor([&] { return shellWindow(true).width == kPanelWide; }, 5000);
        }
        ASSERT_EQ(shellWindow(true).width, kPanelWide) << "the panel did not open";
    }
    // A click where the open panel is seen: a compositor may propose a stale size right after
    // it opened, which the panel undoes.
    void clickOnPanel(int x, int y) {
        ASSERT_NO_FATAL_FAILURE(openPanel());
        std::vector<int> bad;
        ASSERT_TRUE(panelDrawn(kPanelWide, bad)) << "the open panel is not to be seen";
        const ShellWindow p = shellWindow(true);
        pointerTo(p.x + x, p.y + y);
        click();
    }
    bool focused(const std::string& title) {
        return waitFor([&] { return shellWindow(false, nullptr, title).focused; });
    }

    std::unique_ptr<CompositorSession> session_;
};

TEST_P(CompositorDesktop,
       PanelAboveDrawnWholeNarrowedAfterADashboardClickAndUpDrivesAfterConnecting) {
    const ShellWindow m = shellWindow(false), p = shellWindow(true);
    EXPECT_EQ(m.x11, GetParam().x11);
    EXPECT_EQ(p.x11, GetParam().x11);
    EXPECT_EQ(p.width, 20);
    if (GetParam().x11) { // a Wayland client places no window of its own
        EXPECT_EQ(p.x + p.width, m.x + m.width) << "not docked at the main window's right edge";
    }
    EXPECT_TRUE(aboveTheMainWindow());

    std::vector<int> bad;
    ASSERT_NO_FATAL_FAILURE(openPanel());
    EXPECT_TRUE(panelDrawn(kPanelWide, bad))
        << bad.size() << " columns of the open panel not on the screen, the first " << bad[0];

    // The link typed into the port box, which takes the keyboard from the click; then a click on
    // the dashboard: the focus moves, the compositor proposes the size the panel had, and the
    // panel stays its strip, drawn, above.
    ASSERT_NO_FATAL_FAILURE(clickOnPanel(kComboX, kComboY));
    ASSERT_TRUE(waitFor([&] { return shellWindow(true).focused; })) << "panel not focused";
    press("ctrl+a");
    type(linkPath_);
    const auto [x, y] = onTheDashboard(400, 21);
    pointerTo(x, y);
    pointerTo(x + 4, y + 2);
    click();
    ASSERT_TRUE(waitFor([&] { return shellWindow(false).focused; })) << "dashboard not focused";
    EXPECT_TRUE(panelDrawn(20, bad)) << "the strip is not on the screen after the click";
    EXPECT_FALSE(waitFor([&] { return shellWindow(true).width != 20; }, 1500))
        << "the panel widened again to " << shellWindow(true).width;
    EXPECT_TRUE(aboveTheMainWindow());

    // Connect: the notice comes with the keyboard and goes with Return.
    startSim();
    ASSERT_NO_FATAL_FAILURE(clickOnPanel(kConnectX, kConnectY));
    ASSERT_TRUE(focused(kNoticeTitle)) << "no notice with the keyboard";
    press("Return");
    ASSERT_TRUE(waitFor([&] { return shellWindow(false, nullptr, kNoticeTitle).width == 0; }));
    ASSERT_TRUE(waitFor([&] { return !frames().empty(); })) << "nothing reached the robot";
    // The dashboard has the keyboard: Up drives, and its release stops.
    ASSERT_TRUE(waitFor([&] { return shellWindow(false).focused; }))
        << "the dashboard does not have the keyboard after the notice";
    const size_t before = frames().size();
    EXPECT_TRUE(session_->hold("Up", true));
    EXPECT_TRUE(waitPolls(2, 150, 150, before)) << "Up does not drive";
    EXPECT_TRUE(session_->hold("Up", false));
    EXPECT_TRUE(waitPolls(2, 100, 100, frames().size())) << "the robot was not stopped";
}

INSTANTIATE_TEST_SUITE_P(Gnome, CompositorDesktop,
                         ::testing::Values(Mode{"X11Client", false, true},
                                           Mode{"WaylandClient", false, false}),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Kde, CompositorDesktop,
                         ::testing::Values(Mode{"X11Client", true, true},
                                           Mode{"WaylandClient", true, false}),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace desktop
