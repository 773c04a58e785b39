// The console in a headless GNOME session (gnome-shell with XWayland) in its default mode, an X11
// client of XWayland: the panel docks at the main window's right edge above it, is drawn whole on
// the screen (the shell's screenshot against the panel's own content) when the pointer is over
// it, narrows again when the pointer moves over the dashboard, and connects. The pointer and keys
// are XWayland's (xdotool), which reach X11 clients; bytes checked at the simulated robot's side.

#include "tests/desktop/desktop_fixture.h"
#include "tests/desktop/gnome_session.h"

namespace desktop {
namespace {

class GnomeDesktop : public Desktop {
protected:
    void SetUp() override {
        linkPath_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-robot";
        const std::string why = session_.start(outPath("gnome-shell.log"));
        if (!why.empty())
            GTEST_SKIP() << "NO GNOME SESSION, the console's GNOME tests did not run: " << why;
        display_ = session_.xDisplay(); // the X11 probe and xdotool talk to XWayland
        xauthority_ = session_.xauthority();
        Child::Options options;
        options.env = session_.env({});
        options.outFile = outPath("console.out");
        options.errFile = outPath("console.log");
        console_ = std::make_unique<Child>(std::vector<std::string>{ZELK_CONSOLE_PATH}, options);
        ASSERT_TRUE(waitFor([&] {
            return shellWindow(false).width > 0 && shellWindow(true).width > 0;
        })) << "the console's windows did not appear";
    }
    void TearDown() override {
        if (::testing::Test::HasFailure())
            session_.ask("shot " + outPath("failed.png"));
        if (::testing::Test::HasFailure())
            for (const ShellWindow& w : session_.windows())
                ADD_FAILURE() << "window \"" << w.title << "\" " << w.width << "x" << w.height
                              << "+" << w.x << "+" << w.y << (w.x11 ? " X11" : " Wayland")
                              << (w.focused ? " focused" : "");
        console_.reset();
        sim_.reset();
    }

    // The main window (its frame: the title bar above the dashboard) or the panel, as the shell
    // has them; stack: the place from the bottom.
    ShellWindow shellWindow(bool panel, size_t* stack = nullptr) {
        const std::vector<ShellWindow> list = session_.windows();
        for (size_t i = 0; i < list.size(); ++i)
            if (panel ? list[i].height == 339 : list[i].width == kMainWidth) {
                if (stack)
                    *stack = i;
                return list[i];
            }
        return ShellWindow{};
    }
    bool aboveTheMainWindow() {
        size_t panelAt = 0, mainAt = 0;
        shellWindow(true, &panelAt);
        shellWindow(false, &mainAt);
        return panelAt > mainAt;
    }
    // The panel at width, shown on the screen as it drew itself.
    bool panelDrawn(int width, std::vector<int>& bad) {
        return waitFor(
            [&] {
                const XWindow p = panel();
                bad = p.width != width ? std::vector<int>{-1}
                                       : notDrawn(pixels(0, 0, p.width, p.height, p.id),
                                                  session_.pixels(p.x, p.y, p.width, p.height),
                                                  p.width, p.height, kBelowCorner);
                return bad.empty();
            },
            8000, 200);
    }

    void pointerTo(int x, int y) override {
        EXPECT_TRUE(session_.pointerTo(x, y)) << session_.lastError();
    }
    void click() override { EXPECT_TRUE(session_.click()) << session_.lastError(); }
    void press(const std::string& keys) override {
        EXPECT_TRUE(session_.press(keys)) << session_.lastError();
    }
    void type(const std::string& text) override {
        EXPECT_TRUE(session_.type(text)) << session_.lastError();
    }

    GnomeSession session_;
};

TEST_F(GnomeDesktop, ThePanelDocksAboveIsDrawnWholeWhenOpenNarrowsAndConnects) {
    const ShellWindow m = shellWindow(false), p = shellWindow(true);
    EXPECT_TRUE(m.x11 && p.x11) << "not X11 clients of XWayland";
    EXPECT_EQ(p.width, 20);
    EXPECT_EQ(p.x + p.width, m.x + m.width) << "not docked at the main window's right edge";
    EXPECT_TRUE(aboveTheMainWindow());

    std::vector<int> bad;
    ASSERT_NO_FATAL_FAILURE(expandPanel());
    EXPECT_TRUE(panelDrawn(kPanelWide, bad))
        << bad.size() << " columns of the open panel not on the screen, the first " << bad[0];
    const XWindow main = this->main();
    pointerTo(main.x + 400, main.y + 720);
    pointerTo(main.x + 404, main.y + 722);
    EXPECT_TRUE(panelDrawn(20, bad)) << "the strip is not on the screen after the collapse";
    EXPECT_TRUE(aboveTheMainWindow());

    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_TRUE(waitPolls(3, 100, 100));
}

} // namespace
} // namespace desktop
