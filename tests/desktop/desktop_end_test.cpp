// Every way the console ends while the robot drives, through the real binary: the robot's last
// frame is the stop frame, and the console's exit status is the one its ending owes (killed by
// the signal that asked, exit 1 for a lost display, killed by the crash's own signal).

#include "tests/desktop/desktop_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

using namespace desktop;

class DesktopEnd : public Desktop {
protected:
    // Connected, the dashboard has the keyboard, Up held: the robot drives forward.
    void driveWithUpHeld() {
        startSim();
        ASSERT_NO_FATAL_FAILURE(connectTyped());
        const XWindow m = main();
        pointerTo(m.x + 400, m.y + 770); // a bare spot of the dashboard
        xdo({"click", "1"});
        ASSERT_TRUE(waitFor([&] { return focusWindow() == m.id; })) << "dashboard not focused";
        xdo({"keydown", "Up"});
        ASSERT_TRUE(waitPolls(3, 150, 150)) << "Up does not drive";
        driving_ = frames().size();
    }

    // The robot got one stop frame after the drive, and it came last.
    void expectStoppedLast() {
        ASSERT_NO_FATAL_FAILURE(waitUntilNobodyReads());
        const std::vector<Frame> got = frames();
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(got.back(), (Frame{0xFE, 0xFD, 0xE9, 0xE9})) << "last frame " << hex(got.back());
        int stops = 0;
        for (size_t i = driving_; i < got.size(); ++i)
            stops += isStop(got[i]) ? 1 : 0;
        EXPECT_EQ(stops, 1) << "stop frames since the drive";
        std::string tail;
        for (size_t i = got.size() > 4 ? got.size() - 4 : 0; i < got.size(); ++i)
            tail += hex(got[i]) + (i + 1 < got.size() ? ", " : "");
        std::printf("last frames at the robot: %s\n", tail.c_str());
    }

    size_t driving_ = 0;
};

class DesktopEndBySignal : public DesktopEnd, public ::testing::WithParamInterface<int> {};

TEST_P(DesktopEndBySignal, StopsTheRobotThenEndsByTheSignal) {
    ASSERT_NO_FATAL_FAILURE(driveWithUpHeld());
    const int sig = GetParam();
    ASSERT_EQ(kill(console_->pid(), sig), 0);
    ASSERT_TRUE(console_->waitExit(kWaitMs)) << "the console did not end";
    const int status = console_->exitStatus();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig)
        << "status " << status << ": a terminal expects the signal's own";
    xdo({"keyup", "Up"});
    expectStoppedLast();
}

INSTANTIATE_TEST_SUITE_P(Termination, DesktopEndBySignal,
                         ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

TEST_F(DesktopEnd, CrashWritesTheStopFrameAndKeepsItsSignal) {
    ASSERT_NO_FATAL_FAILURE(driveWithUpHeld());
    // No core file from the test: the dump itself is the system's business.
    const rlimit noCore{0, 0};
    ASSERT_EQ(prlimit(console_->pid(), RLIMIT_CORE, &noCore, nullptr), 0);
    ASSERT_EQ(kill(console_->pid(), SIGSEGV), 0);
    ASSERT_TRUE(console_->waitExit(kWaitMs)) << "the console did not end";
    const int status = console_->exitStatus();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGSEGV) << "status " << status;
    xdo({"keyup", "Up"});
    expectStoppedLast();
}

TEST_F(DesktopEnd, DisplayLostStopsTheRobotBeforeTheConsoleEnds) {
    ASSERT_NO_FATAL_FAILURE(driveWithUpHeld());
    xvfb_->terminate(); // the X server goes, a remote session drops
    ASSERT_TRUE(console_->waitExit(kWaitMs)) << "the console did not end";
    const int status = console_->exitStatus();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    expectStoppedLast();
}

} // namespace
