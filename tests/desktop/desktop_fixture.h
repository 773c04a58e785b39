#pragma once
// The fixture of the desktop tests: its own Xvfb (a free display from -displayfd), the console
// as built (QT_QPA_PLATFORM=xcb) and the simulated robot on a pty, with what the tests need of
// the window system: windows and their titles, real pointer and keyboard input (xdotool), the
// screen's pixels and screenshots (x11_probe), and the frames the robot received.
//
// Without a window manager the windows stand where the console puts them: the main window
// centred on the screen, the panel docked at its right edge. Every wait is on a condition.

#include "tests/desktop/desktop_support.h"
#include "tests/support/sim_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace desktop {

// The shipped geometry of the windows, relative to the main window and the panel.
constexpr int kMainWidth = 1303, kMainHeight = 791;
constexpr int kPadCentreX = 149, kPadCentreY = 400;
constexpr int kKnobRestCentreX = 148, kKnobRestCentreY = 399; // rest (132, 383) + 16
constexpr int kPanelWide = 241;
constexpr int kComboX = 126 + 40, kComboY = 34 + 10;          // ComboBox1 (126, 34, 101 x 21)
constexpr int kConnectX = 24 + 50, kConnectY = 34 + 11;       // SpeedButton1 "polacz"
constexpr int kDisconnectX = 24 + 50, kDisconnectY = 60 + 11; // SpeedButton2 "rozlacz"
constexpr int kGiveIdX = 68 + 24, kGiveIdY = 146 + 10;        // SpeedButton7 "nadaj id"
constexpr int kLed1X = 538 + 15, kLed1Y = 348 + 15;           // Shape1
constexpr int kBelowCorner = 34; // the panel's rows below its see-through corner

inline const std::string kNoticeTitle = "OK";
inline const std::string kOpenFailedTitle = "Blad otwarcia portu COM";
inline const std::string kNewIdTitle = "Czy nadać nowe ID?";
inline const std::string kMainTitle = "ZELK controll";

inline std::string hexId(unsigned long id) {
    char text[32];
    std::snprintf(text, sizeof text, "%lx", id);
    return text;
}

inline std::string testName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? info->name() : "desktop";
    // A parameterised test's name ends in "/parameter": it names a file, not a folder.
    for (char& c : name)
        c = c == '/' ? '.' : c;
    return name;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        linkPath_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-robot";
        unlink(outPath("failed.png").c_str()); // of an earlier run
        startDisplay();
        ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
        startConsole();
    }

    void TearDown() override {
        if (::testing::Test::HasFailure()) {
            screenshot("failed");
            // What the robot got last and which windows were up, for the failure's record.
            const std::vector<Frame> got = frames();
            std::string tail;
            for (size_t i = got.size() > 24 ? got.size() - 24 : 0; i < got.size(); ++i)
                tail += hex(got[i]) + (i + 1 < got.size() ? ", " : "");
            std::string list;
            for (const XWindow& w : windows())
                list += "  0x" + hexId(w.id) + (w.viewable ? " viewable " : " unmapped ") +
                        std::to_string(w.width) + "x" + std::to_string(w.height) + "+" +
                        std::to_string(w.x) + "+" + std::to_string(w.y) + " \"" + w.netWmName +
                        "\"\n";
            std::ifstream log(outPath("console.log"));
            const std::string said((std::istreambuf_iterator<char>(log)), {});
            ADD_FAILURE() << "last frames: " << tail << "\nwindows:\n"
                          << list << "focus: 0x" << hexId(focusWindow())
                          << "\nthe end of the console's log:\n"
                          << said.substr(said.size() > 1500 ? said.size() - 1500 : 0);
        }
        console_.reset();
        sim_.reset();
        if (xvfb_) {
            xvfb_->terminate();
            xvfb_.reset();
        }
    }

    // ---------------------------------------------------------------- processes

    void startDisplay(const std::string& screen = "1600x1000") {
        Child::Options options;
        options.extraFd = true;
        options.errFile = outPath("xvfb.log");
        xvfb_ = std::make_unique<Child>(std::vector<std::string>{ZELK_XVFB_PATH, "-displayfd", "3",
                                                                 "-screen", "0", screen + "x24",
                                                                 "-nolisten", "tcp", "-noreset"},
                                        options);
        ASSERT_TRUE(xvfb_->started());
        const std::optional<std::string> number = xvfb_->readExtraLine(kWaitMs);
        ASSERT_TRUE(number.has_value()) << "Xvfb gave no display number";
        display_ = ":" + *number;
    }

    std::vector<std::string> env() const {
        // The test command runs everything under the offscreen platform; this suite's console
        // talks to its own X server.
        return environmentWith({"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "LC_ALL=C.UTF-8",
                                xauthority_.empty() ? "XAUTHORITY" : "XAUTHORITY=" + xauthority_,
                                "WAYLAND_DISPLAY"});
    }

    void startConsole() { startConsole(env()); }
    void startConsole(const std::vector<std::string>& environment) {
        console_.reset();
        Child::Options options;
        options.env = environment;
        options.outFile = outPath("console.out");
        options.errFile = outPath("console.log");
        console_ = std::make_unique<Child>(std::vector<std::string>{ZELK_CONSOLE_PATH}, options);
        ASSERT_TRUE(console_->started());
        ASSERT_TRUE(waitFor([&] { return main().viewable && panel().viewable; }))
            << "the console's windows did not appear";
    }

    // extra: more simulator options (e.g. "--period", "20").
    void startSim(const std::vector<std::string>& extra = {}) {
        sim_.reset();
        std::vector<std::string> args{"--log", "--link", linkPath_};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<SimProcess>(args);
        ASSERT_FALSE(sim_->path().empty()) << "the simulator did not start";
    }

    std::string outPath(const std::string& what) const {
        return std::string(ZELK_DESKTOP_OUT) + "/" + testName() + "." + what;
    }

    // ---------------------------------------------------------------- the window system

    RunResult xdo(const std::vector<std::string>& args) {
        std::vector<std::string> argv{ZELK_XDOTOOL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult r = run(argv, env());
        EXPECT_TRUE(r.exited && r.status == 0) << "xdotool " << args.at(0) << " failed";
        return r;
    }

    std::vector<XWindow> windows() {
        return parseWindows(run({ZELK_X11_PROBE_PATH, "windows"}, env()).out);
    }
    // The console's windows, also inside a window manager's frames, where they are on the screen.
    std::vector<XWindow> clients() {
        return parseWindows(run({ZELK_X11_PROBE_PATH, "clients", "zelk_console"}, env()).out);
    }
    // The window manager's name and whether a compositing manager runs ("NAME\t1"), or empty.
    std::string windowManager() { return run({ZELK_X11_PROBE_PATH, "wm"}, env()).out; }
    XWindow main() {
        for (const XWindow& w : clients())
            if (w.viewable && w.width == kMainWidth && w.height == kMainHeight)
                return w;
        return XWindow{};
    }
    XWindow panel() {
        const XWindow m = main();
        for (const XWindow& w : clients())
            if (w.viewable && w.id != m.id && w.height > 300 && w.height < 400 &&
                (w.width == 20 || w.width == kPanelWide))
                return w;
        return XWindow{};
    }
    // A viewable window whose _NET_WM_NAME is title (a message box).
    std::optional<XWindow> box(const std::string& title) {
        for (const XWindow& w : clients())
            if (w.viewable && w.netWmName == title && w.width < 800)
                return w;
        return std::nullopt;
    }
    // Another program maps a window at the screen's top left and takes the focus; it wants the
    // pointer too, and says "grabbed" once it has it. It ends at "quit".
    std::unique_ptr<Child> otherProgramTakesTheFocus() {
        Child::Options options;
        options.env = env();
        options.pipeIn = true;
        options.pipeOut = true;
        auto taker = std::make_unique<Child>(
            std::vector<std::string>{ZELK_X11_PROBE_PATH, "take", "0", "0", "120", "80"}, options);
        EXPECT_EQ(taker->readLine(kWaitMs).value_or(""), "focused");
        return taker;
    }
    unsigned long focusWindow() {
        const RunResult r = run({ZELK_XDOTOOL_PATH, "getwindowfocus"}, env());
        return std::strtoul(r.out.c_str(), nullptr, 10);
    }

    // Waits for the box titled title to be up and to hold the keyboard focus, checks its
    // title as the window system has it, answers it with key and waits for it to go.
    void answerBox(const std::string& title, const std::string& key) {
        std::optional<XWindow> b;
        ASSERT_TRUE(waitFor([&] { return (b = box(title)).has_value(); }))
            << "no box titled \"" << title << "\"";
        EXPECT_EQ(b->netWmName, title) << "_NET_WM_NAME";
        EXPECT_EQ(b->wmName, title) << "WM_NAME";
        ASSERT_TRUE(waitFor([&] { return focusWindow() == b->id; })) << "box without focus";
        press(key);
        ASSERT_TRUE(waitFor([&] { return !box(title).has_value(); }))
            << "box \"" << title << "\" still up after " << key;
    }

    // ---------------------------------------------------------------- pointer and screen

    // The operator's pointer, left button and keys: the X server's (XTEST), unless the session's
    // compositor takes its input elsewhere (XWayland's XTEST reaches X11 clients, not the
    // compositor, which then neither focuses nor raises a window for it).
    virtual void pointerTo(int x, int y) {
        xdo({"mousemove", std::to_string(x), std::to_string(y)});
    }
    virtual void click() { xdo({"click", "1"}); }
    virtual void press(const std::string& keys) { xdo({"key", keys}); }
    virtual void type(const std::string& text) { xdo({"type", "--delay", "15", text}); }
    // Clicks a bare spot of the dashboard (below the robot picture's left engine readout): the
    // main window takes the keyboard.
    void focusDashboard() {
        const XWindow m = main();
        pointerTo(m.x + 400, m.y + 770);
        click();
        ASSERT_TRUE(waitFor([&] { return focusWindow() == m.id; })) << "dashboard not focused";
    }
    // The pointer at the pad centre plus (dx, dy), screen coordinates from the main window.
    void pointerToPad(int dx, int dy) {
        const XWindow m = main();
        pointerTo(m.x + kPadCentreX + dx, m.y + kPadCentreY + dy);
    }

    void expandPanel() {
        for (int i = 0; i < 2 && panel().width != kPanelWide; ++i) {
            const XWindow p = panel();
            // Two positions on the strip, so that the server reports a motion.
            pointerTo(p.x + p.width - 8, p.y + 150);
            pointerTo(p.x + p.width - 6, p.y + 152);
            waitFor([&] { return panel().width == kPanelWide; }, 5000);
        }
        ASSERT_EQ(panel().width, kPanelWide) << "the panel did not open";
    }
    void clickPanel(int x, int y) {
        ASSERT_NO_FATAL_FAILURE(expandPanel());
        const XWindow p = panel();
        pointerTo(p.x + x, p.y + y);
        click();
    }

    // Screen pixels of the rectangle, rows of 0xRRGGBB; of the window's own content when a
    // window is given (the rectangle in its coordinates).
    Pixels pixels(int x, int y, int w, int h, unsigned long window = 0) {
        std::vector<std::string> argv{ZELK_X11_PROBE_PATH, "pixels",          std::to_string(x),
                                      std::to_string(y),   std::to_string(w), std::to_string(h)};
        if (window != 0)
            argv.push_back(std::to_string(window));
        return parsePixels(run(argv, env()).out);
    }
    // The knob (a bright cyan ball, 32 px) is drawn with its centre at (x, y) of the main
    // window: most of the 16 x 16 square there is bright cyan. The pad's own lines through a
    // point give at most two rows of it.
    bool knobDrawnAt(int x, int y) {
        const XWindow m = main();
        int bright = 0, all = 0;
        for (const auto& row : pixels(m.x + x - 8, m.y + y - 8, 16, 16)) {
            for (uint32_t p : row) {
                ++all;
                const int r = int(p >> 16), g = int((p >> 8) & 0xFF), b = int(p & 0xFF);
                bright += (g >= 200 && b >= 200 && r < 200) ? 1 : 0;
            }
        }
        return all == 256 && bright >= 128;
    }
    // The knob comes to be drawn there (the screen follows the window's paint).
    bool knobShownAt(int x, int y) {
        return waitFor([&] { return knobDrawnAt(x, y); }, 5000, 30);
    }
    // LED circle Shape1's fill at its centre, as on the screen.
    uint32_t led1Colour() {
        const XWindow m = main();
        const auto rows = pixels(m.x + kLed1X, m.y + kLed1Y, 1, 1);
        return rows.empty() || rows[0].empty() ? 0 : rows[0][0];
    }

    void screenshot(const std::string& what) {
        run({ZELK_X11_PROBE_PATH, "shot", outPath(what + ".png")}, env());
    }

    // ---------------------------------------------------------------- the robot's side

    std::vector<Frame> frames() const {
        return sim_ ? receivedFrames(sim_->log()) : std::vector<Frame>{};
    }
    int countPolls(const std::vector<Frame>& f, size_t from, int left, int right) const {
        int n = 0;
        for (size_t i = from; i < f.size(); ++i)
            n += isPoll(f[i], left, right) ? 1 : 0;
        return n;
    }
    // Waits until at least n more drive-and-poll frames with (left, right) have arrived.
    bool waitPolls(int n, int left, int right, size_t from = 0) {
        return waitFor([&] { return countPolls(frames(), from, left, right) >= n; });
    }

    // The simulator has noticed that the console no longer reads the line (it keeps the device
    // open itself, so a closed port is no hang-up for it): everything the console wrote before
    // it let go of the line has been received and logged.
    void waitUntilNobodyReads() {
        ASSERT_TRUE(waitFor([&] {
            return sim_->log().find("nobody reads the line any more") != std::string::npos;
        })) << "the simulator still sees a reader";
    }

    // Types the simulator's link into the port box, connects, and dismisses the opened notice
    // with the keyboard.
    void connectTyped() {
        ASSERT_NO_FATAL_FAILURE(clickPanel(kComboX, kComboY));
        const unsigned long panelId = panel().id;
        ASSERT_TRUE(waitFor([&] { return focusWindow() == panelId; })) << "port box not focused";
        press("ctrl+a");
        type(linkPath_);
        ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
        ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return"));
        // The command cycle runs: the robot is polled.
        ASSERT_TRUE(waitFor([&] { return !frames().empty(); })) << "nothing reached the robot";
    }
    // Connects again with the text already in the port box.
    void connectAgain() {
        ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
        ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return"));
        ASSERT_TRUE(waitFor([&] { return !frames().empty(); })) << "nothing reached the robot";
    }

    // Presses the left button at the pad centre and drags the knob 65 px up: the robot drives
    // at half speed (150/150), repeated by the command cycle.
    void dragUp65() {
        pointerToPad(0, 0);
        xdo({"mousedown", "1"});
        pointerToPad(0, -30);
        pointerToPad(0, -65);
        ASSERT_TRUE(waitPolls(2, 150, 150)) << "the drag does not drive";
        EXPECT_TRUE(knobShownAt(kPadCentreX, kPadCentreY - 65));
    }

    std::string display_;
    std::string xauthority_; // the X server's cookie, where it asks for one
    std::string linkPath_;
    std::unique_ptr<Child> xvfb_;
    std::unique_ptr<Child> console_;
    std::unique_ptr<SimProcess> sim_;
};

} // namespace desktop
