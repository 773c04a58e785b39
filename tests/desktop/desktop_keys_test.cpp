// The keyboard through the real X server: Esc stops the robot whatever has the focus, the arrows
// and letters drive from the dashboard and only there, and whatever takes the keyboard away ends
// the drive. What counts is what the robot received.

#include "tests/desktop/desktop_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace {

using namespace desktop;

const Frame kPairLeft150{0xFE, 0xFD, 0xE7, 150};

class DesktopKeys : public Desktop {
protected:
    // Index of the first frame from `from` on that f accepts, or npos.
    template <typename F> size_t firstFrom(size_t from, F f) {
        const std::vector<Frame> got = frames();
        for (size_t i = from; i < got.size(); ++i)
            if (f(got[i]))
                return i;
        return std::string::npos;
    }
    int count(size_t from, size_t to, bool (*f)(const Frame&)) {
        const std::vector<Frame> got = frames();
        int n = 0;
        for (size_t i = from; i < got.size() && i < to; ++i)
            n += f(got[i]) ? 1 : 0;
        return n;
    }
    int leftPairs(size_t from, int value) {
        const std::vector<Frame> got = frames();
        int n = 0;
        for (size_t i = from; i < got.size(); ++i)
            n += got[i] == Frame{0xFE, 0xFD, 0xE7, uint8_t(value)} ? 1 : 0;
        return n;
    }
};

} // namespace

TEST_F(DesktopKeys, EscDuringAKnobDragStopsAtOnceAndTheHeldButtonDrivesNothingMore) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(dragUp65());
    const size_t before = frames().size();
    const auto pressed = std::chrono::steady_clock::now();
    xdo({"key", "Escape"});
    size_t stop = std::string::npos;
    ASSERT_TRUE(waitFor([&] { return (stop = firstFrom(before, isStop)) != std::string::npos; }))
        << "no stop frame after Esc";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - pressed)
                        .count();
    std::printf("stop frame at the robot %lld ms after the key (xdotool's start included)\n",
                static_cast<long long>(ms));
    // Nothing but the drag's own frames came before it: the stop is the first frame that is not
    // forward.
    const std::vector<Frame> got = frames();
    for (size_t i = before; i < stop; ++i)
        EXPECT_TRUE(isPoll(got[i], 150, 150) || isDrive(got[i]))
            << "before the stop: " << hex(got[i]);
    EXPECT_TRUE(knobShownAt(kKnobRestCentreX, kKnobRestCentreY)) << "knob not at rest";

    // The button is still held and the pointer goes on: nothing drives until a new press.
    pointerToPad(-40, -40);
    pointerToPad(60, 20);
    pointerToPad(0, -90);
    ASSERT_TRUE(waitPolls(6, 100, 100, stop));
    EXPECT_EQ(count(stop + 1, SIZE_MAX, isDrive), 0) << "drove after Esc";
    EXPECT_EQ(count(stop + 1, SIZE_MAX, isStop), 0) << "more than one stop frame";
    EXPECT_EQ(countPolls(frames(), stop, 150, 150), 0);
    xdo({"mouseup", "1"});
    screenshot("after-esc");
}

TEST_F(DesktopKeys, TypingInThePortBoxDrivesNothingAndEscThereStillStops) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(clickPanel(kComboX, kComboY));
    const unsigned long panelId = panel().id;
    ASSERT_TRUE(waitFor([&] { return focusWindow() == panelId; })) << "port box not focused";
    const size_t seen = frames().size();
    xdo({"type", "--delay", "20", "wasdWASD"});
    xdo({"key", "Up", "Down", "Left", "Right", "shift+Up"});
    ASSERT_TRUE(waitPolls(6, 100, 100, seen));
    EXPECT_EQ(count(seen, SIZE_MAX, isDrive), 0) << "typing drove the robot";
    EXPECT_EQ(count(seen, SIZE_MAX, isStop), 0);

    const size_t typed = frames().size();
    xdo({"key", "Escape"});
    ASSERT_TRUE(waitFor([&] { return firstFrom(typed, isStop) != std::string::npos; }))
        << "Esc in the port box sent no stop frame";
}

TEST_F(DesktopKeys, ArrowHeldDrivesEveryTickLetterMixesInAndTheLastReleaseStopsOnce) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(focusDashboard());
    const size_t seen = frames().size();
    xdo({"keydown", "Up"});
    // Held past the X server's auto-repeat delay: the repeats send nothing extra.
    ASSERT_TRUE(waitPolls(30, 150, 150, seen)) << "the held arrow does not drive";
    EXPECT_EQ(leftPairs(seen, 150), 1) << "one drive pair for the one change";

    xdo({"keydown", "a"}); // forward while turning left
    ASSERT_TRUE(waitPolls(3, 199, 101, seen));
    xdo({"keyup", "a"});
    const size_t straight = frames().size();
    ASSERT_TRUE(waitPolls(3, 150, 150, straight));
    EXPECT_EQ(leftPairs(seen, 199), 1);
    EXPECT_EQ(leftPairs(seen, 150), 2);
    EXPECT_EQ(count(seen, SIZE_MAX, isStop), 0);

    const size_t held = frames().size();
    xdo({"keyup", "Up"});
    ASSERT_TRUE(waitPolls(5, 100, 100, held));
    EXPECT_EQ(count(held, SIZE_MAX, isStop), 1) << "stop frames after the release";
    EXPECT_EQ(count(held, SIZE_MAX, isDrive), 0);
    EXPECT_EQ(countPolls(frames(), held + 2, 150, 150), 0) << "still driving after the release";
}

TEST_F(DesktopKeys, AnotherProgramTakingTheFocusWhileAKeyIsHeldStops) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(focusDashboard());
    xdo({"keydown", "w"});
    ASSERT_TRUE(waitPolls(3, 150, 150));
    const size_t before = frames().size();
    const std::unique_ptr<Child> taker = otherProgramTakesTheFocus();
    ASSERT_TRUE(waitPolls(4, 100, 100, before)) << "the keys drove on after the focus was taken";
    EXPECT_EQ(count(before, SIZE_MAX, isStop), 1);
    xdo({"keyup", "w"}); // released in the other program's window
    taker->writeLine("quit");
    ASSERT_TRUE(taker->waitExit(kWaitMs));
    const size_t after = frames().size();
    ASSERT_TRUE(waitPolls(4, 100, 100, after));
    const size_t stop = firstFrom(before, isStop);
    EXPECT_EQ(count(stop + 1, SIZE_MAX, isDrive), 0);
    EXPECT_EQ(countPolls(frames(), stop + 1, 150, 150), 0);
    // Released while the other program had the keyboard: the next press drives at once.
    ASSERT_NO_FATAL_FAILURE(focusDashboard());
    const size_t anew = frames().size();
    xdo({"keydown", "w"});
    EXPECT_TRUE(waitPolls(2, 150, 150, anew)) << "the key pressed anew does not drive";
    xdo({"keyup", "w"});
}
