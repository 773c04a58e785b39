// The real console through a real X server, driven with real pointer and keyboard input: what
// counts is what the robot received (the simulator's --log), what the window system shows
// (window titles as _NET_WM_NAME and WM_NAME, windows mapped) and what is on the screen (the
// knob's pixels). The fixture is in desktop_fixture.h.

#include "tests/desktop/desktop_fixture.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace desktop;

TEST_F(Desktop, ConnectTypedIntoThePortBoxAndNoticesAnsweredWithTheKeyboardKeepTheirTitles) {
    const XWindow m = main();
    EXPECT_EQ(m.netWmName, kMainTitle);
    EXPECT_EQ(m.wmName, kMainTitle);
    // Centred on the screen (1600 x 1000), as the console placed it.
    EXPECT_NEAR(m.x, (1600 - kMainWidth) / 2, 1);
    EXPECT_NEAR(m.y, (1000 - kMainHeight) / 2, 1);
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped()); // the opened notice, titled "OK"
    ASSERT_TRUE(waitPolls(3, 100, 100));

    // Connecting again while connected: "Jeden z portow juz zostal otwarty."
    ASSERT_NO_FATAL_FAILURE(clickPanel(kConnectX, kConnectY));
    ASSERT_NO_FATAL_FAILURE(answerBox(kOpenFailedTitle, "Return"));

    // The address assignment asks; Escape answers No and nothing is sent.
    ASSERT_NO_FATAL_FAILURE(clickPanel(kGiveIdX, kGiveIdY));
    ASSERT_NO_FATAL_FAILURE(answerBox(kNewIdTitle, "Escape"));
    const size_t seen = frames().size();
    ASSERT_TRUE(waitPolls(3, 100, 100, seen));
    for (const Frame& f : frames())
        EXPECT_FALSE(f[0] == 0xFE && f[2] == 0xCF) << "address assigned: " << hex(f);

    // The closed notice after "rozlacz", titled "OK" too.
    ASSERT_NO_FATAL_FAILURE(clickPanel(kDisconnectX, kDisconnectY));
    ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return"));
}

TEST_F(Desktop, DragCutByTheClosedNoticeThenReconnectLeavesTheRobotStill) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(dragUp65());

    // The line drops while the button is held: the closed notice takes the pointer.
    sim_->stop();
    std::optional<XWindow> notice;
    ASSERT_TRUE(waitFor([&] { return (notice = box(kNoticeTitle)).has_value(); }));
    xdo({"mouseup", "1"}); // released while the notice is up: the main window never sees it
    ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return"));
    EXPECT_TRUE(knobShownAt(kKnobRestCentreX, kKnobRestCentreY)) << "knob not at rest";
    EXPECT_FALSE(knobDrawnAt(kPadCentreX, kPadCentreY - 65)) << "knob still drawn deflected";
    screenshot("after-cut-drag");

    // Connected again: from the first frame the robot is told to stand still; hovering over
    // the pad with no button held drives nothing.
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectAgain());
    for (int i = 0; i < 8; ++i)
        pointerToPad(-100 + 25 * i, -60 + 15 * i);
    ASSERT_TRUE(waitPolls(20, 100, 100));
    const std::vector<Frame> got = frames();
    for (const Frame& f : got) {
        EXPECT_FALSE(isDrive(f)) << "drive frame after reconnect: " << hex(f);
        if (isPoll(f)) {
            EXPECT_TRUE(isPoll(f, 100, 100)) << "the cycle drives: " << hex(f);
        }
    }
    EXPECT_TRUE(knobShownAt(kKnobRestCentreX, kKnobRestCentreY));
}

TEST_F(Desktop, HoverDrivesNothingAndAnLedClickIsSentAndShown) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    // Over the pad and the knob, no button held.
    for (int i = 0; i < 12; ++i)
        pointerToPad((i % 2 ? -1 : 1) * 10 * i, -8 * i);
    pointerToPad(0, 0);
    pointerToPad(3, 2);
    const size_t seen = frames().size();
    ASSERT_TRUE(waitPolls(10, 100, 100, seen));
    for (const Frame& f : frames())
        EXPECT_FALSE(isDrive(f) || isStop(f)) << "hover sent " << hex(f);
    EXPECT_TRUE(knobShownAt(kKnobRestCentreX, kKnobRestCentreY));

    // LED1: commanded, reported back in telemetry and drawn lit (lime).
    const uint32_t before = led1Colour();
    const XWindow m = main();
    pointerTo(m.x + kLed1X, m.y + kLed1Y);
    xdo({"click", "1"});
    ASSERT_TRUE(waitFor([&] {
        for (const Frame& f : frames())
            if (f == Frame{0xFE, 0xFD, 0xEA, 0x01})
                return true;
        return false;
    })) << "no LED command";
    ASSERT_TRUE(waitFor([&] { return led1Colour() == 0x00FF00; }))
        << "LED1 not drawn lit; before " << std::hex << before << ", now " << led1Colour();
}

TEST_F(Desktop, DragCutByAnotherProgramTakingTheFocusAndThePointer) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(dragUp65());
    const size_t beforeCut = frames().size();

    // Another program maps a window, takes the focus and wants the pointer, while the button is
    // still held on the knob.
    const std::unique_ptr<Child> taker = otherProgramTakesTheFocus();
    // Ended as a release: its stop frame (which the engine drops when it comes while the cycle's
    // frame is being written), and from then on the cycle's 100/100.
    ASSERT_TRUE(waitPolls(2, 100, 100, beforeCut)) << "the drag went on after the focus was taken";
    EXPECT_TRUE(knobShownAt(kKnobRestCentreX, kKnobRestCentreY)) << "knob not at rest";
    EXPECT_FALSE(knobDrawnAt(kPadCentreX, kPadCentreY - 65)) << "knob still drawn deflected";
    screenshot("cut-by-another-program");

    // The button is still held and the pointer goes on over the pad: nothing drives.
    const size_t afterCut = frames().size();
    pointerToPad(-40, -40);
    pointerToPad(60, 20);
    ASSERT_TRUE(waitPolls(4, 100, 100, afterCut));
    xdo({"mouseup", "1"});
    ASSERT_EQ(taker->readLine(kWaitMs).value_or(""), "grabbed");
    pointerToPad(20, -90); // to the other program now
    taker->writeLine("quit");
    ASSERT_TRUE(taker->waitExit(kWaitMs));
    pointerToPad(-30, -30); // hover, back over the pad
    const size_t end = frames().size();
    ASSERT_TRUE(waitPolls(4, 100, 100, end));
    const std::vector<Frame> got = frames();
    for (size_t i = afterCut; i < got.size(); ++i) {
        EXPECT_FALSE(isDrive(got[i])) << "drove after the cut: " << hex(got[i]);
        if (isPoll(got[i])) {
            EXPECT_TRUE(isPoll(got[i], 100, 100)) << hex(got[i]);
        }
    }
    EXPECT_TRUE(knobShownAt(kKnobRestCentreX, kKnobRestCentreY));
}

TEST_F(Desktop, KnobDraggedPastThePadEdgeStaysOnTheRimAndStopsOnRelease) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    pointerToPad(0, 0);
    xdo({"mousedown", "1"});
    pointerToPad(0, -100);
    pointerToPad(0, -200); // above the pad, outside it: the capture keeps the drag
    ASSERT_TRUE(waitPolls(2, 200, 200)) << "full speed ahead expected";
    EXPECT_TRUE(knobShownAt(kPadCentreX, kPadCentreY - 129)) << "knob not on the rim";
    pointerToPad(0, -420); // beyond the main window
    ASSERT_TRUE(waitPolls(4, 200, 200));
    const size_t beforeRelease = frames().size();
    xdo({"mouseup", "1"}); // released far outside the pad
    // The release's stop frame (unless the engine dropped it, the cycle's frame being under
    // way), then the cycle's 100/100.
    ASSERT_TRUE(waitPolls(3, 100, 100, beforeRelease));
    EXPECT_TRUE(knobShownAt(kKnobRestCentreX, kKnobRestCentreY));
    bool sawPair = false;
    for (const Frame& f : frames())
        sawPair = sawPair || f == Frame{0xFE, 0xFD, 0xE7, 200};
    EXPECT_TRUE(sawPair) << "no drive pair of the full deflection";
}

TEST_F(Desktop, DisconnectAfterDrivingPutsOneStopFrameLastOnTheLine) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    ASSERT_NO_FATAL_FAILURE(expandPanel());
    // Drive, and let go of the knob over the panel's "rozlacz" button; then press it.
    ASSERT_NO_FATAL_FAILURE(dragUp65());
    const XWindow p = panel();
    pointerTo(p.x + kDisconnectX, p.y + kDisconnectY);
    xdo({"mouseup", "1"});
    ASSERT_TRUE(waitPolls(1, 100, 100, frames().size()));
    const size_t beforeClick = frames().size();
    xdo({"click", "1"});
    ASSERT_NO_FATAL_FAILURE(answerBox(kNoticeTitle, "Return")); // "Zamknieto port ..."
    ASSERT_NO_FATAL_FAILURE(waitUntilNobodyReads());
    const std::vector<Frame> got = frames();
    ASSERT_GT(got.size(), beforeClick);
    EXPECT_TRUE(isStop(got.back())) << "last frame " << hex(got.back());
    int stops = 0;
    for (size_t i = beforeClick; i < got.size(); ++i)
        stops += isStop(got[i]) ? 1 : 0;
    EXPECT_EQ(stops, 1) << "stop frames after the click";
}

TEST_F(Desktop, ClosingTheWindowWhileDrivingStopsTheRobotFirst) {
    startSim();
    ASSERT_NO_FATAL_FAILURE(connectTyped());
    const size_t beforeDrag = frames().size();
    ASSERT_NO_FATAL_FAILURE(dragUp65());
    // The window closes while the knob is held (a window manager's Alt+F4 or close button).
    const XWindow m = main();
    ASSERT_EQ(run({ZELK_X11_PROBE_PATH, "close", std::to_string(m.id)}, env()).status, 0);
    ASSERT_TRUE(console_->waitExit(kWaitMs)) << "the console did not end";
    EXPECT_TRUE(WIFEXITED(console_->exitStatus()) && WEXITSTATUS(console_->exitStatus()) == 0);
    xdo({"mouseup", "1"});
    ASSERT_NO_FATAL_FAILURE(waitUntilNobodyReads());
    const std::vector<Frame> got = frames();
    ASSERT_FALSE(got.empty());
    EXPECT_TRUE(isStop(got.back())) << "last frame " << hex(got.back());
    int stops = 0;
    for (size_t i = beforeDrag; i < got.size(); ++i)
        stops += isStop(got[i]) ? 1 : 0;
    EXPECT_EQ(stops, 1) << "stop frames since the drag began";
}

} // namespace
