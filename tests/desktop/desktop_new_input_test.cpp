// Nothing drives that the operator did not mean, through the real X server with its own
// auto-repeat: shortcuts drive nothing (and work in the log), a key held through a stop drives
// again only when pressed anew, a held key never walks the unit address, and a changed unit
// leaves the old one stopped and the new one still.

#include "tests/desktop/desktop_fixture.h"
#include "tests/desktop/window_manager_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using namespace desktop;

constexpr int kCheckBox2X = 986 + 200, kCheckBox2Y = 38 + 10; // "engines manual override"
constexpr int kMemo1X = 986 + 100, kMemo1Y = 546 + 60;
constexpr int kUnitSpinX = 24 + 40, kUnitSpinY = 122 + 11; // the panel's CSpinEdit1
// Longer than the 0.45 s to 1.05 s after which a held key used to drive again by itself.
constexpr int kWatchTicks = 30; // cycle frames, 50 ms each

class DesktopNewInput : public Desktop {
protected:
    void clickMain(int x, int y) {
        const XWindow m = main();
        pointerTo(m.x + x, m.y + y);
        xdo({"click", "1"});
    }
    // Up pressed on the dashboard drives at half speed.
    void upDrives() {
        const size_t from = frames().size();
        xdo({"keydown", "Up"});
        ASSERT_TRUE(waitPolls(2, 150, 150, from)) << "Up pressed anew does not drive";
    }
    // Up released for good (longer than the wait for an auto-repeat's press).
    void upReleased() {
        xdo({"keyup", "Up"});
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    size_t firstStopFrom(size_t from) {
        const std::vector<Frame> got = frames();
        for (size_t i = from; i < got.size(); ++i)
            if (isStop(got[i]))
                return i;
        return std::string::npos;
    }
    // From the stop at or after from on: nothing but rest at the robot for the watch, Up held.
    void expectStillAfterStopFrom(size_t from, const char* what) {
        size_t stop = std::string::npos;
        ASSERT_TRUE(waitFor([&] { return (stop = firstStopFrom(from)) != std::string::npos; }))
            << what << ": no stop frame";
        ASSERT_TRUE(waitPolls(kWatchTicks, 100, 100, stop)) << what;
        const std::vector<Frame> got = frames();
        for (size_t i = stop + 1; i < got.size(); ++i) {
            EXPECT_FALSE(isDrive(got[i])) << what << ": drove by itself: " << hex(got[i]);
            if (isPoll(got[i])) {
                EXPECT_TRUE(isPoll(got[i], 100, 100)) << what << ": " << hex(got[i]);
            }
        }
    }
    std::string framesFrom(size_t from, size_t most = 12) {
        const std::vector<Frame> got = frames();
        std::string text;
        for (size_t i = from; i < got.size() && i < from + most; ++i)
            text += hex(got[i]) + (i + 1 < got.size() && i + 1 < from + most ? ", " : "");
        return text;
    }
};

TEST_F(DesktopNewInput, ShortcutsCopyTheLogAndDriveNothing) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    const size_t seen = frames().size();
    clickMain(kMemo1X, kMemo1Y); // the log has the keyboard
    // Keys a moment after the click, as a hand gives them: ctrl+a within milliseconds of the
    // click at times copied only the lines above the clicked one.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    xdo({"key", "ctrl+a"});
    xdo({"key", "ctrl+c"});
    std::string copied;
    ASSERT_TRUE(waitFor([&] {
        copied = run({ZELK_X11_PROBE_PATH, "clipboard"}, env()).out;
        return !copied.empty();
    })) << "nothing on the clipboard";
    // The whole log: its first lines from the start, its lines of the connection.
    EXPECT_NE(copied.find("system status: ready"), std::string::npos) << copied;
    EXPECT_GE(std::count(copied.begin(), copied.end(), '\n'), 3) << copied;

    // On the dashboard, with each modifier, pressed and held into the auto-repeat.
    ASSERT_NO_FATAL_FAILURE(focusDashboard());
    for (const char* chord : {"ctrl+Up", "alt+Up", "super+Up", "ctrl+w", "alt+a"}) {
        xdo({"keydown", chord});
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        xdo({"keyup", chord});
    }
    ASSERT_TRUE(waitPolls(10, 100, 100, frames().size()));
    const std::vector<Frame> got = frames();
    for (size_t i = seen; i < got.size(); ++i) {
        EXPECT_FALSE(isDrive(got[i]) || isStop(got[i])) << "a shortcut sent " << hex(got[i]);
        if (isPoll(got[i])) {
            EXPECT_TRUE(isPoll(got[i], 100, 100)) << hex(got[i]);
        }
    }
    std::printf("frames at the robot after the shortcuts: %zu, all FC FD 64 64\n",
                got.size() - seen);
}

// Up held, then a stop: the knob takes over and is released, or the lock is unchecked and
// checked again. Ten tries each.
class DesktopStopWhileHeld : public DesktopNewInput,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(DesktopStopWhileHeld, KeyDrivesOnlyWhenPressedAnew) {
    const bool knob = std::string(GetParam()) == "knob";
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(focusDashboard());
    for (int attempt = 1; attempt <= 10; ++attempt) {
        SCOPED_TRACE("try " + std::to_string(attempt));
        ASSERT_NO_FATAL_FAILURE(upDrives());
        const size_t before = frames().size();
        if (knob) {
            pointerToPad(0, -20);
            xdo({"mousedown", "1"});
            pointerToPad(40, -65); // the knob drives now: 119/181
            ASSERT_TRUE(waitPolls(2, 119, 181, before)) << "the knob did not take over";
            xdo({"mouseup", "1"});
        } else {
            clickMain(kCheckBox2X, kCheckBox2Y); // off: the stop
            ASSERT_TRUE(waitFor([&] { return firstStopFrom(before) != std::string::npos; }));
            clickMain(kCheckBox2X, kCheckBox2Y); // on again
        }
        ASSERT_NO_FATAL_FAILURE(expectStillAfterStopFrom(before, GetParam()));
        ASSERT_NO_FATAL_FAILURE(upReleased());
    }
}

INSTANTIATE_TEST_SUITE_P(TenTries, DesktopStopWhileHeld, ::testing::Values("knob", "lock"));

TEST_F(DesktopNewInput, ChangingTheUnitWhileDrivingStopsTheOldOneAndLeavesTheNewStill) {
    startSim({"--units", "253,254"});
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(focusDashboard());
    ASSERT_NO_FATAL_FAILURE(upDrives());
    // The wheel over the unit address, Up held on the dashboard: 253 -> 254.
    ASSERT_NO_FATAL_FAILURE(expandPanel()); // the pointer over the panel, the keyboard stays
    const size_t before = frames().size();
    const XWindow p = panel();
    pointerTo(p.x + kUnitSpinX, p.y + kUnitSpinY);
    xdo({"click", "4"});
    const auto isNewUnitRest = [](const Frame& f) { return f == Frame{0xFC, 0xFE, 100, 100}; };
    ASSERT_TRUE(waitFor([&] {
        int n = 0;
        for (const Frame& f : frames())
            n += isNewUnitRest(f) ? 1 : 0;
        return n >= 20;
    })) << "the new unit is not polled: "
        << framesFrom(before);
    std::printf("frames at the robot after the change: %s\n", framesFrom(before).c_str());
    const std::vector<Frame> got = frames();
    size_t stop253 = std::string::npos, first254 = std::string::npos;
    for (size_t i = before; i < got.size(); ++i) {
        if (got[i] == Frame{0xFE, 0xFD, 0xE9, 0xE9} && stop253 == std::string::npos)
            stop253 = i;
        if (got[i][1] == 0xFE && first254 == std::string::npos)
            first254 = i;
        if (got[i][1] == 0xFE) {
            EXPECT_FALSE(isDrive(got[i])) << "the new unit drives: " << hex(got[i]);
            if (isPoll(got[i])) {
                EXPECT_TRUE(isPoll(got[i], 100, 100)) << hex(got[i]);
            }
        }
    }
    ASSERT_NE(stop253, std::string::npos) << "unit 253 got no stop";
    EXPECT_LT(stop253, first254) << "the old unit's stop comes first";
    for (size_t i = stop253 + 1; i < got.size(); ++i)
        EXPECT_NE(got[i][1], 0xFD) << "the old unit still addressed: " << hex(got[i]);
    xdo({"keyup", "Up"});
}

// Every box the console opens, Up held from before it until a second after it closed, answered
// by the mouse, by Return, by Esc and by a close request: the robot gets nothing but rest after
// the stop until Up is released and pressed anew.
enum class Box { Opened, Closed, OpenFailed, AlreadyOpen, AddressYes, AddressNo };
enum class Answer { Mouse, Return, Escape, Close };

struct BoxCase {
    Box box;
    std::vector<Answer> answers;
};

// Under openbox, as operators run it: the window manager moves the focus as a box comes and goes.
class DesktopBoxes : public DesktopNewInput {
protected:
    void SetUp() override {
        linkPath_ = "/tmp/zelk-desktop-" + std::to_string(getpid()) + "-robot";
        ASSERT_NO_FATAL_FAILURE(startDisplay());
        const std::string why = session_.start({"openbox"}, env(), outPath("wm.log"),
                                               [&] { return !windowManager().empty(); });
        if (!why.empty())
            GTEST_SKIP() << "NO openbox, the tests of boxes under it did not run: " << why;
        ASSERT_NO_FATAL_FAILURE(startConsole());
    }
    WindowManagerSession session_;
    // The box's buttons as Qt lays them out, centres from the client area's bottom right.
    static constexpr int kLastButtonFromRight = 51, kButtonFromBottom = 24, kButtonPitch = 87;

    // Waits for the box titled title and answers it; the mouse clicks the button counted from
    // the right (0: the last one).
    void answer(const std::string& title, Answer how, int fromRight = 0) {
        std::optional<XWindow> b;
        ASSERT_TRUE(waitFor([&] { return (b = box(title)).has_value(); }))
            << "no box titled \"" << title << "\"";
        ASSERT_TRUE(waitFor([&] { return focusWindow() == b->id; })) << "box without focus";
        switch (how) {
        case Answer::Mouse:
            pointerTo(b->x + b->width - kLastButtonFromRight - fromRight * kButtonPitch,
                      b->y + b->height - kButtonFromBottom);
            xdo({"click", "1"});
            break;
        case Answer::Return:
            xdo({"key", "Return"});
            break;
        case Answer::Escape:
            xdo({"key", "Escape"});
            break;
        case Answer::Close:
            run({ZELK_X11_PROBE_PATH, "close", "0x" + hexId(b->id)}, env());
            break;
        }
        ASSERT_TRUE(waitFor([&] { return !box(title).has_value(); }))
            << "box \"" << title << "\" still up after its answer";
    }
    // The link's name moved away and back: the port will not open, then opens again.
    void hideLink() { ASSERT_EQ(std::rename(linkPath_.c_str(), (linkPath_ + ".x").c_str()), 0); }
    void restoreLink() { ASSERT_EQ(std::rename((linkPath_ + ".x").c_str(), linkPath_.c_str()), 0); }
    void disconnect() {
        ASSERT_NO_FATAL_FAILURE(clickPanel(kDisconnectX, kDisconnectY));
        ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return"));
    }
};

class DesktopBoxWhileHeld : public DesktopBoxes, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(DesktopBoxWhileHeld, KeyDrivesOnlyWhenPressedAnew) {
    const Box which = GetParam().box;
    const bool connectedBefore = which != Box::Opened && which != Box::OpenFailed;
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    const char* names[] = {"mouse", "Return", "Esc", "close"};
    // ZELK_BOX_MOUSE_TRIES=N: the box answered by the mouse alone, N times (a measurement).
    std::vector<Answer> answers = GetParam().answers;
    if (const char* tries = std::getenv("ZELK_BOX_MOUSE_TRIES"))
        answers.assign(size_t(std::max(1, std::atoi(tries))), Answer::Mouse);
    for (const Answer how : answers) {
        SCOPED_TRACE(std::string("answered by ") + names[int(how)]);
        if (!connectedBefore) {
            ASSERT_NO_FATAL_FAILURE(disconnect());
        }
        if (which == Box::OpenFailed) {
            ASSERT_NO_FATAL_FAILURE(hideLink());
        }
        ASSERT_NO_FATAL_FAILURE(focusDashboard());
        const size_t before = frames().size();
        if (connectedBefore) {
            ASSERT_NO_FATAL_FAILURE(upDrives());
        } else {
            xdo({"keydown", "Up"});
            std::this_thread::sleep_for(std::chrono::milliseconds(800)); // into the auto-repeat
        }
        switch (which) {
        case Box::Opened:
            ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
            ASSERT_NO_FATAL_FAILURE(answer(kNoticeTitle, how));
            break;
        case Box::Closed:
            ASSERT_NO_FATAL_FAILURE(clickPanel(kDisconnectX, kDisconnectY));
            ASSERT_NO_FATAL_FAILURE(answer(kNoticeTitle, how));
            break;
        case Box::OpenFailed:
            ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
            ASSERT_NO_FATAL_FAILURE(answer(kOpenFailedTitle, how));
            ASSERT_NO_FATAL_FAILURE(restoreLink());
            break;
        case Box::AlreadyOpen:
            ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
            ASSERT_NO_FATAL_FAILURE(answer(kOpenFailedTitle, how));
            break;
        case Box::AddressYes:
        case Box::AddressNo:
            ASSERT_NO_FATAL_FAILURE(clickPanel(kGiveIdX, kGiveIdY));
            ASSERT_NO_FATAL_FAILURE(
                answer(kNewIdTitle, how, which == Box::AddressYes && how == Answer::Mouse));
            break;
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (which == Box::Closed || which == Box::OpenFailed) {
            // Connected again with the mouse alone, Up still held.
            ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
            ASSERT_NO_FATAL_FAILURE(answer(kNoticeTitle, Answer::Mouse));
        }
        if (connectedBefore) {
            ASSERT_NO_FATAL_FAILURE(expectStillAfterStopFrom(before, names[int(how)]));
        } else {
            ASSERT_TRUE(waitPolls(kWatchTicks, 100, 100, before));
            for (size_t i = before; i < frames().size(); ++i)
                ASSERT_FALSE(isDrive(frames()[i])) << "drove by itself: " << hex(frames()[i]);
        }
        ASSERT_NO_FATAL_FAILURE(upReleased());
        ASSERT_NO_FATAL_FAILURE(focusDashboard());
        ASSERT_NO_FATAL_FAILURE(upDrives());
        ASSERT_NO_FATAL_FAILURE(upReleased());
    }
}

// The address question stays within reach: the main window minimised under it comes back with
// the question on top and the keyboard in it; another program's window over it gives it back at
// one click on the panel; Esc answers it.
TEST_F(DesktopBoxes, AddressQuestionStaysWithinReach) {
    ASSERT_NO_FATAL_FAILURE(clickPanel(kGiveIdX, kGiveIdY));
    std::optional<XWindow> question;
    ASSERT_TRUE(waitFor([&] { return (question = box(kNewIdTitle)).has_value(); }));
    const unsigned long mainId = main().id;
    xdo({"windowminimize", std::to_string(mainId)});
    ASSERT_TRUE(waitFor([&] { return box(kNewIdTitle).has_value() && main().viewable; }))
        << "the question went off the screen with the main window";
    ASSERT_TRUE(waitFor([&] { return focusWindow() == question->id; }))
        << "the question does not have the keyboard";

    Child::Options options;
    options.env = env();
    Child other(
        {"xmessage", "-geometry",
         "400x300+" + std::to_string(question->x - 100) + "+" + std::to_string(question->y - 100),
         "another program"},
        options);
    std::string otherId;
    ASSERT_TRUE(waitFor([&] {
        otherId =
            run({ZELK_XDOTOOL_PATH, "search", "--onlyvisible", "--name", "^xmessage$"}, env()).out;
        return !otherId.empty();
    }));
    xdo({"windowfocus", otherId.substr(0, otherId.find('\n'))});
    ASSERT_TRUE(waitFor([&] {
        const unsigned long focus = focusWindow();
        return focus != 0 && focus != question->id && focus != mainId;
    })) << "the other program did not take the keyboard";
    const XWindow p = panel();
    pointerTo(p.x + p.width - 6, p.y + 300);
    xdo({"click", "1"});
    EXPECT_TRUE(waitFor([&] { return focusWindow() == question->id; }))
        << "a click on the panel does not bring the question back";
    xdo({"key", "Escape"});
    EXPECT_TRUE(waitFor([&] { return !box(kNewIdTitle).has_value(); })) << "Esc did not answer";
}

const char* boxName(Box box) {
    const char* names[] = {"Opened",      "Closed",     "OpenFailed",
                           "AlreadyOpen", "AddressYes", "AddressNo"};
    return names[int(box)];
}
std::string boxCaseName(const ::testing::TestParamInfo<BoxCase>& info) {
    return boxName(info.param.box);
}
void PrintTo(const BoxCase& c, std::ostream* out) {
    *out << boxName(c.box);
}

const std::vector<Answer> kEveryAnswer = {Answer::Mouse, Answer::Return, Answer::Escape,
                                          Answer::Close};
const BoxCase kBoxCases[] = {
    {Box::Opened, kEveryAnswer},
    {Box::Closed, kEveryAnswer},
    {Box::OpenFailed, kEveryAnswer},
    {Box::AlreadyOpen, kEveryAnswer},
    {Box::AddressYes, {Answer::Mouse, Answer::Return}}, // Return: the default answer, Yes
    {Box::AddressNo, {Answer::Mouse, Answer::Escape, Answer::Close}},
};
INSTANTIATE_TEST_SUITE_P(EveryBox, DesktopBoxWhileHeld, ::testing::ValuesIn(kBoxCases),
                         boxCaseName);

} // namespace
