// Sending: what send_bytes accepts and refuses, and what reaches the robot's side.

#include "engine_fixture.h"

using EngineSend = EngineTest;

namespace {

// Expects that a refused send left no trace: nothing pending, nothing written, no LINK_SENT.
void expect_nothing_sent(Tserial_event& link, PtyPeer& pty, LinkRecorder& recorder,
                         const char* what) {
    EXPECT_FALSE(link.is_write_pending()) << what << ": the refused send is pending";
    EXPECT_TRUE(pty.read_for(kQuietWindowMs).empty()) << what << ": refused bytes went out";
    EXPECT_EQ(recorder.count(LINK_SENT), 0) << what;
}

} // namespace

TEST_F(EngineSend, LargestSendOf255BytesGoesOutWhole) {
    open_console_style();
    const auto bytes = pattern(255, 9);
    link->send_bytes(bytes.data(), int(bytes.size()));
    EXPECT_EQ(pty.read_exact(bytes.size(), 3000), bytes);
    ASSERT_TRUE(recorder.wait_count(LINK_SENT, 1, kArrive));
    EXPECT_FALSE(link->is_write_pending()) << "write_pending still set after LINK_SENT";
    EXPECT_TRUE(pty.read_for(100).empty());
}

TEST_F(EngineSend, OversizeNullAndNegativeSendsAreRefused) {
    open_console_style();
    const auto big = pattern(300, 1);

    link->send_bytes(big.data(), 256);
    expect_nothing_sent(*link, pty, recorder, "256 bytes");
    link->send_bytes(big.data(), 300);
    expect_nothing_sent(*link, pty, recorder, "300 bytes");
    link->send_bytes(nullptr, 4);
    expect_nothing_sent(*link, pty, recorder, "null pointer");
    link->send_bytes(big.data(), -1);
    expect_nothing_sent(*link, pty, recorder, "negative length");

    // The refusals left the engine ready for the next proper send.
    const auto frame = pattern(4, 2);
    link->send_bytes(frame.data(), int(frame.size()));
    EXPECT_EQ(pty.read_exact(frame.size(), 3000), frame);
    EXPECT_TRUE(recorder.wait_count(LINK_SENT, 1, kArrive));
}

TEST_F(EngineSend, SecondSendBeforeTheFirstWriteCompletesIsDropped) {
    // Hold the worker inside its LINK_OPENED callback, so the first write cannot complete.
    recorder.hold_next_opened();
    link->set_read_chunk(32);
    ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(recorder.wait_held(kArrive));

    const auto first = pattern(4, 0x10);
    const auto second = pattern(8, 0x80);
    link->send_bytes(first.data(), int(first.size()));
    EXPECT_TRUE(link->is_write_pending());
    link->send_bytes(second.data(), int(second.size()));
    recorder.release();

    EXPECT_EQ(pty.read_exact(first.size(), 3000), first);
    ASSERT_TRUE(recorder.wait_count(LINK_SENT, 1, kArrive));
    EXPECT_TRUE(pty.read_for(kQuietWindowMs).empty()) << "the dropped send went out";
    EXPECT_EQ(recorder.count(LINK_SENT), 1);
}

TEST_F(EngineSend, SendWhileNoWorkerRunsIsRefusedAndNeverWritten) {
    const auto early = pattern(4, 0x20);
    link->send_bytes(early.data(), int(early.size()));
    EXPECT_FALSE(link->is_write_pending()) << "a send was kept with no worker to write it";

    open_console_style();
    EXPECT_TRUE(pty.read_for(kQuietWindowMs).empty()) << "the refused send went out at open";
    EXPECT_EQ(recorder.count(LINK_SENT), 0);

    // After the connection ends, a send is refused again and the next connection stays quiet.
    link->close_port();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    ASSERT_FALSE(link->worker_running());
    const auto late = pattern(6, 0x30);
    link->send_bytes(late.data(), int(late.size()));
    EXPECT_FALSE(link->is_write_pending());
    ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(recorder.wait_count(LINK_OPENED, 2, kArrive));
    EXPECT_TRUE(pty.read_for(kQuietWindowMs).empty()) << "the refused send went out at reopen";
    EXPECT_EQ(recorder.count(LINK_SENT), 0);

    // The link itself works: a send made while the worker runs goes out, once.
    const auto now = pattern(5, 0x40);
    link->send_bytes(now.data(), int(now.size()));
    EXPECT_EQ(pty.read_exact(now.size(), 3000), now);
    EXPECT_TRUE(recorder.wait_count(LINK_SENT, 1, kArrive));
    EXPECT_TRUE(pty.read_for(100).empty());
}

TEST_F(EngineSend, EachSendAfterLinkSentGoesOutInOrder) {
    open_console_style();
    std::vector<uint8_t> expected;
    for (int i = 0; i < 40; ++i) {
        const auto frame = pattern(i % 2 ? 8 : 4, uint8_t(i * 13));
        link->send_bytes(frame.data(), int(frame.size()));
        ASSERT_TRUE(recorder.wait_count(LINK_SENT, i + 1, kArrive)) << "send " << i;
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    EXPECT_EQ(pty.read_exact(expected.size(), 3000), expected);
    EXPECT_EQ(recorder.count(LINK_SENT), 40);
}
