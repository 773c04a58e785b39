// The device vanishing and coming back, and the operator connecting and disconnecting, many times
// in a row on the real windows: every cycle ends in exactly one closed notice, nothing waits
// without bound, and the process has as many descriptors and threads afterwards as before.

#include "console/form1.h"
#include "console/form2.h"
#include "tests/stress/stress_support.h"
#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace stress;

class ConnectCycles : public ::testing::Test {
protected:
    ConnectCycles() : form1(link, boxes, nullptr), form2(form1, boxes) {
        form1.setPanel(&form2);
        form1.show();
        form2.show();
    }
    ~ConnectCycles() override {
        form1.Button2Click();
        waitUntil([&] { return !form1.portOpen.load(); }, 3000);
    }

    int count(const QString& prefix) const {
        int n = 0;
        for (const auto& call : boxes.calls())
            n += call.text.startsWith(prefix) ? 1 : 0;
        return n;
    }
    int opened() const { return count("Otwarto port"); }
    int closed() const { return count("Zamknieto port"); }

    // Connect to path and wait for the opened notice; the notice count rises by exactly one.
    void connectTo(const std::string& path) {
        form1.portName = QString::fromStdString(path);
        const int before = opened();
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return opened() > before; }))
            << "no opened notice: " << boxes.calls().back().text.toStdString();
        ASSERT_EQ(opened(), before + 1);
        ASSERT_TRUE(form1.portOpen.load());
    }
    // Wait for the closed notice that ends the connection and for the port to be free.
    void waitClosed(int expectedClosed) {
        ASSERT_TRUE(waitUntil([&] { return closed() >= expectedClosed; }));
        ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }));
        ASSERT_EQ(closed(), expectedClosed);
    }

    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1;
    TForm2 form2;
};

TEST_F(ConnectCycles, DeviceVanishesAndComesBackAHundredTimes) {
    constexpr int cycles = 100;
    // One cycle first, so that whatever Qt sets up once is there before counting.
    {
        PtyPeer peer;
        ASSERT_TRUE(peer.ok());
        connectTo(peer.path());
        peer.hangUp();
        waitClosed(1);
    }
    pumpFor(200);
    boxes.clear();
    Watchdog watchdog(std::chrono::seconds(30));
    const int fdsBefore = openDescriptors();
    const int threadsBefore = threads();

    QElapsedTimer clock;
    clock.start();
    qint64 worstCycle = 0;
    for (int i = 1; i <= cycles; ++i) {
        const qint64 start = clock.elapsed();
        watchdog.progress("vanish cycle");
        PtyPeer peer;
        ASSERT_TRUE(peer.ok());
        ASSERT_NO_FATAL_FAILURE(connectTo(peer.path())) << "cycle " << i;
        peer.write({0xFC, 0xFD, 0xE5}); // a frame cut short by the device's end
        peer.hangUp();
        ASSERT_NO_FATAL_FAILURE(waitClosed(i)) << "cycle " << i;
        worstCycle = std::max(worstCycle, clock.elapsed() - start);
    }
    const double perCycle = double(clock.elapsed()) / cycles;
    pumpFor(300); // a second closed notice would come now
    const int fdsAfter = openDescriptors();
    const int threadsAfter = threads();
    figure("vanish and come back: %d cycles, %.1f ms per cycle (worst %lld ms), descriptors %d "
           "-> %d, threads %d -> %d",
           cycles, perCycle, static_cast<long long>(worstCycle), fdsBefore, fdsAfter, threadsBefore,
           threadsAfter);
    EXPECT_EQ(opened(), cycles);
    EXPECT_EQ(closed(), cycles);
    EXPECT_EQ(int(boxes.calls().size()), 2 * cycles) << "other messages were shown";
    EXPECT_EQ(fdsAfter, fdsBefore);
    EXPECT_EQ(threadsAfter, threadsBefore);
    EXPECT_FALSE(link.worker_running());
}

TEST_F(ConnectCycles, ConnectAndDisconnectAThousandTimes) {
    const int cycles = 1000;
    PtyPeer peer;
    ASSERT_TRUE(peer.ok());
    connectTo(peer.path());
    form1.Button2Click();
    waitClosed(1);
    pumpFor(200);
    boxes.clear();
    Watchdog watchdog(std::chrono::seconds(30));
    const int fdsBefore = openDescriptors();
    const int threadsBefore = threads();

    QElapsedTimer clock;
    clock.start();
    qint64 total = 0, worstCycle = 0, worstDisconnect = 0;
    for (int i = 1; i <= cycles; ++i) {
        // Every tenth connection stays open for a few ticks of the command cycle, so that the
        // disconnect also meets a write under way.
        if (i % 10 == 0) {
            ASSERT_NO_FATAL_FAILURE(connectTo(peer.path())) << "cycle " << i;
            pumpFor(60);
            form1.Button2Click();
            ASSERT_NO_FATAL_FAILURE(waitClosed(i)) << "cycle " << i;
            continue;
        }
        const qint64 start = clock.nsecsElapsed();
        watchdog.progress("connect");
        ASSERT_NO_FATAL_FAILURE(connectTo(peer.path())) << "cycle " << i;
        watchdog.progress("disconnect");
        const qint64 before = clock.nsecsElapsed();
        form1.Button2Click();
        worstDisconnect = std::max(worstDisconnect, clock.nsecsElapsed() - before);
        ASSERT_NO_FATAL_FAILURE(waitClosed(i)) << "cycle " << i;
        total += clock.nsecsElapsed() - start;
        worstCycle = std::max(worstCycle, clock.nsecsElapsed() - start);
        peer.read(0); // what the console wrote, so that the line never fills
    }
    const int timed = cycles - cycles / 10;
    const double perCycle = double(total) / 1e6 / timed;
    pumpFor(300);
    const int fdsAfter = openDescriptors();
    const int threadsAfter = threads();
    figure("connect and disconnect: %d cycles, %.2f ms from connect to closed notice (worst "
           "%.1f ms, worst disconnect command %.1f ms), descriptors %d -> %d, threads %d -> %d",
           cycles, perCycle, double(worstCycle) / 1e6, double(worstDisconnect) / 1e6, fdsBefore,
           fdsAfter, threadsBefore, threadsAfter);
    EXPECT_EQ(opened(), cycles);
    EXPECT_EQ(closed(), cycles);
    EXPECT_EQ(int(boxes.calls().size()), 2 * cycles) << "other messages were shown";
    EXPECT_EQ(fdsAfter, fdsBefore);
    EXPECT_EQ(threadsAfter, threadsBefore);
    EXPECT_LT(worstDisconnect, qint64(1000) * 1000000) << "a disconnect held the GUI thread";
    EXPECT_FALSE(link.worker_running());
}

} // namespace
