// The beats of the command cycle and the controller poll: a tick that could only do nothing
// does not wake the console, and every tick that sends still comes on its beat, also after the
// cycle has rested between two connections.

#include "tests/form1/form1_fixture.h"
#include "tests/support/pty_peer.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long msSince(Clock::time_point from, Clock::time_point to) {
    return long(std::chrono::duration_cast<milliseconds>(to - from).count());
}

// Ticks of a BeatTimer as they come, timed from its start.
struct TickLog {
    explicit TickLog(BeatTimer& timer) {
        QObject::connect(&timer, &BeatTimer::timeout, [this] { ticks.push_back(Clock::now()); });
    }
    std::vector<Clock::time_point> ticks;
};

TEST(BeatTimer, RestsWithoutTickingAndWakesOnTheSameBeat) {
    BeatTimer timer;
    timer.setInterval(200);
    TickLog log(timer);
    const Clock::time_point start = Clock::now();
    timer.start();
    ASSERT_TRUE(waitUntil([&] { return !log.ticks.empty(); }));
    timer.rest();
    EXPECT_TRUE(timer.isActive()) << "a resting timer is still started";
    // Rest over the beats at 400 and 600 ms, wake at about 650 ms.
    waitUntil([&] { return msSince(start, Clock::now()) >= 650; });
    EXPECT_EQ(log.ticks.size(), 1u) << "ticked while resting";
    const Clock::time_point woken = Clock::now();
    timer.wake();
    ASSERT_TRUE(waitUntil([&] { return log.ticks.size() >= 3; }));
    // On the beat (800, 1000 ms); a timer restarted at the wake would tick first at about
    // 850 ms. The first tick after the wake is never before its beat; the ones after it have the
    // leeway of a coarse periodic timer, 5 % of the interval, as the cycle has always had, and
    // the millisecond its deadline is rounded to.
    for (size_t i = 1; i < log.ticks.size(); ++i) {
        const long at = msSince(start, log.ticks[i]);
        const long leeway = i == 1 ? 0 : 200 / 20 + 1;
        EXPECT_GE(at, 800 + 200 * long(i - 1) - leeway) << "tick " << i << " before its beat";
    }
    EXPECT_LT(msSince(woken, log.ticks[1]), 200 - 10)
        << "the first tick after the wake came a whole interval after it: the beat moved";
}

TEST(BeatTimer, StoppedStaysStoppedAndATickMayRestItself) {
    BeatTimer stopped;
    stopped.setInterval(20);
    TickLog stoppedLog(stopped);
    stopped.start();
    stopped.rest();
    stopped.stop();
    stopped.wake();
    EXPECT_FALSE(stopped.isActive());

    BeatTimer once;
    once.setInterval(20);
    int ticks = 0;
    QObject::connect(&once, &BeatTimer::timeout, [&] {
        ++ticks;
        once.rest();
    });
    once.start();
    ASSERT_TRUE(waitUntil([&] { return ticks > 0; }));
    pumpFor(150);
    EXPECT_TRUE(stoppedLog.ticks.empty());
    EXPECT_EQ(ticks, 1) << "a timer rested from its own tick went on ticking";
}

// A window left with no port open and no controller arms no timer at all.
TEST(ConsoleBeats, IdleWindowWakesForNothing) {
    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1(link, boxes, nullptr);
    ASSERT_TRUE(waitUntil([&] { return form1.Timer2->isResting(); }, 2000))
        << "the command cycle goes on ticking with no port open";
    EXPECT_TRUE(form1.Timer3->isResting()) << "the controller poll ticks with no controller";
    EXPECT_TRUE(form1.Timer2->isActive());
    EXPECT_TRUE(form1.Timer3->isActive());
}

class CycleBeat : public Form1Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        form1.portName = QString::fromStdString(peer.path());
        form1.Timer2->start(); // the fixture stops it; here the real beat sends
    }
    // Pumps events until n more bytes have reached the robot.
    bool robotReceives(size_t n) {
        const size_t want = received.size() + n;
        return waitUntil([&] {
            const std::vector<uint8_t> got = peer.read(0);
            received.insert(received.end(), got.begin(), got.end());
            return received.size() >= want;
        });
    }
    void connectAndWaitOpen() {
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); }));
    }
    void disconnectAndWaitClosed() {
        form1.Button2Click();
        ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); })) << "closed notice";
    }

    PtyPeer peer;
    std::vector<uint8_t> received;
};

// A cycle that rested while no port was open sends again with the next connection, without a
// tick from anywhere else.
TEST_F(CycleBeat, WakesWithEveryConnectionAndRestsAfterIt) {
    ASSERT_TRUE(waitUntil([&] { return form1.Timer2->isResting(); }));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(connectAndWaitOpen());
        EXPECT_FALSE(form1.Timer2->isResting());
        ASSERT_TRUE(robotReceives(3 * 4)) << "no cycle frames after connecting";
        EXPECT_EQ(received[0], 0xFE);
        ASSERT_NO_FATAL_FAILURE(disconnectAndWaitClosed());
        EXPECT_TRUE(waitUntil([&] { return form1.Timer2->isResting(); }))
            << "the cycle goes on ticking after the port was closed";
        peer.read(60); // the stop frame of the disconnect
        received.clear();
    }
}

} // namespace
