// The last frame before a close: wait_write_done lets a frame offered just before close_port
// reach the line. Without it the worker, which serves its events lowest index first, takes the
// stop request before a write request raised a moment earlier and the frame is never written.

#include "engine_fixture.h"

#include <thread>

using EngineLastFrame = EngineTest;

namespace {

const std::vector<uint8_t> kDrivePair = {0xFE, 0xFD, 0xE7, 0x96, 0xFE, 0xFD, 0xE8, 0x96};
const std::vector<uint8_t> kStop = {0xFE, 0xFD, 0xE9, 0xE9};

} // namespace

TEST_F(EngineLastFrame, FrameOfferedBeforeTheCloseIsTheLastOnTheLineEveryTime) {
    // The console's disconnect: a drive pair still being written, then the stop frame, then the
    // close. Repeated, so that every interleaving of the worker with the GUI thread gets a turn.
    std::vector<uint8_t> expected = kDrivePair;
    expected.insert(expected.end(), kStop.begin(), kStop.end());
    for (int round = 0; round < 60; ++round) {
        link->set_read_chunk(32);
        ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
        ASSERT_TRUE(recorder.wait_count(LINK_OPENED, round + 1, kArrive));

        link->send_bytes(kDrivePair.data(), int(kDrivePair.size()));
        // The stop frame would be refused while the pair is pending: wait for the pair first.
        ASSERT_TRUE(link->wait_write_done(100)) << "round " << round;
        link->send_bytes(kStop.data(), int(kStop.size()));
        ASSERT_TRUE(link->wait_write_done(100)) << "round " << round;
        EXPECT_FALSE(link->is_write_pending());
        link->close_port();
        ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, round + 1, kArrive));

        EXPECT_EQ(pty.read_exact(expected.size(), 3000), expected) << "round " << round;
        EXPECT_TRUE(pty.read_for(20).empty()) << "round " << round;
    }
}

TEST_F(EngineLastFrame, NothingPendingAnswersAtOnce) {
    open_console_style();
    const double start = now_ms();
    EXPECT_TRUE(link->wait_write_done(1000));
    EXPECT_LT(now_ms() - start, kPromptMs);
}

TEST_F(EngineLastFrame, NoWorkerMeansNothingToWaitFor) {
    // Before any connection, and after one has ended: the line is gone, nothing is waited for.
    double start = now_ms();
    EXPECT_FALSE(link->wait_write_done(2000));
    EXPECT_LT(now_ms() - start, kPromptMs);

    open_console_style();
    link->close_port();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    link->send_bytes(kStop.data(), int(kStop.size())); // refused: no worker
    start = now_ms();
    EXPECT_FALSE(link->wait_write_done(2000));
    EXPECT_LT(now_ms() - start, kPromptMs);
    EXPECT_TRUE(pty.read_for(kQuietWindowMs).empty());
}

TEST_F(EngineLastFrame, WaitIsBoundedWhileTheWorkerCannotWrite) {
    // The worker is held inside its LINK_OPENED callback: the offered frame cannot be written.
    recorder.hold_next_opened();
    link->set_read_chunk(32);
    ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(recorder.wait_held(kArrive));
    link->send_bytes(kStop.data(), int(kStop.size()));

    const double start = now_ms();
    EXPECT_FALSE(link->wait_write_done(60));
    const double waited = now_ms() - start;
    EXPECT_GE(waited, 59);
    EXPECT_LT(waited, 60 + kPromptMs);

    recorder.release();
    EXPECT_TRUE(link->wait_write_done(3000));
    EXPECT_EQ(pty.read_exact(kStop.size(), 3000), kStop);
}

TEST_F(EngineLastFrame, StuckWriteRunsOutTheWaitThenCompletesWhenTheLineDrains) {
    open_console_style();
    ASSERT_TRUE(fill_until_write_stuck());
    const double start = now_ms();
    EXPECT_FALSE(link->wait_write_done(80));
    EXPECT_LT(now_ms() - start, 80 + kPromptMs);
    EXPECT_TRUE(link->is_write_pending());

    // The robot's side reads again: the write completes and the wait says so.
    std::thread drain([this] { pty.read_for(1000); });
    EXPECT_TRUE(link->wait_write_done(3000));
    drain.join();
}

TEST_F(EngineLastFrame, LineVanishingDuringTheWaitEndsItPromptly) {
    open_console_style();
    ASSERT_TRUE(fill_until_write_stuck());
    std::thread vanish([this] { pty.close_master(); });
    const double start = now_ms();
    EXPECT_FALSE(link->wait_write_done(3000));
    EXPECT_LT(now_ms() - start, kPromptMs);
    vanish.join();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
}

TEST_F(EngineLastFrame, LastWordsGoStraightToTheOpenPortAndOnlyWhileItIsOpen) {
    // What a crash handler writes: nothing without a port, the words kept at the moment of the
    // call while it is open, nothing once it is closed (its descriptor may be another file's).
    link->set_last_words(kStop.data(), int(kStop.size()));
    EXPECT_FALSE(link->write_last_words());
    open_console_style();
    EXPECT_TRUE(link->write_last_words());
    EXPECT_EQ(pty.read_exact(kStop.size(), 3000), kStop);
    link->set_last_words(kDrivePair.data(), int(kDrivePair.size())); // too long: refused whole
    EXPECT_FALSE(link->write_last_words());
    link->close_port();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    link->set_last_words(kStop.data(), int(kStop.size()));
    EXPECT_FALSE(link->write_last_words());
    EXPECT_TRUE(pty.read_for(kQuietWindowMs).empty());
}
