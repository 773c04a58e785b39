// Lifecycle: the order of link events, closing, stop requests under load, a vanishing device
// and destroying an engine whose worker runs.

#include "engine_fixture.h"

#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>

using EngineLifecycle = EngineTest;

namespace {

// Runs close_port and returns how long it took, in milliseconds.
double timed_close(Tserial_event& link) {
    const double start = now_ms();
    link.close_port();
    return now_ms() - start;
}

// The master writes without pause until stopped: a robot flooding the line.
class Flood {
public:
    explicit Flood(int master) : master_(master), thread_([this] { run(); }) {}
    ~Flood() { stop(); }
    void stop() {
        running_.store(false);
        if (thread_.joinable())
            thread_.join();
    }
    long written() const { return written_.load(); }

private:
    void run() {
        const auto block = pattern(64, 0x77);
        while (running_.load()) {
            const ssize_t n = ::write(master_, block.data(), block.size());
            if (n > 0) {
                written_.fetch_add(n);
                continue;
            }
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 5);
            if (p.revents & (POLLHUP | POLLERR)) {
                // No slave open any more: writes go nowhere; do not spin.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }

    int master_;
    std::atomic<bool> running_{true};
    std::atomic<long> written_{0};
    std::thread thread_;
};

} // namespace

TEST_F(EngineLifecycle, OneSessionReportsOpenedFirstAndClosedLast) {
    open_console_style();
    const auto in = pattern(7, 1);
    ASSERT_TRUE(pty.write_all(in));
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 1, kArrive));
    link->acknowledge_data();
    const auto out = pattern(4, 2);
    link->send_bytes(out.data(), int(out.size()));
    ASSERT_TRUE(recorder.wait_count(LINK_SENT, 1, kArrive));
    EXPECT_EQ(pty.read_exact(out.size(), 3000), out);

    EXPECT_LT(timed_close(*link), kPromptMs);
    // close_port waited for the worker, and LINK_CLOSED is the worker's last act.
    EXPECT_EQ(recorder.count(LINK_CLOSED), 1);
    EXPECT_FALSE(link->worker_running());
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 2, std::chrono::milliseconds(kQuietWindowMs)));

    const auto codes = recorder.codes();
    ASSERT_EQ(codes.size(), 4u);
    EXPECT_EQ(codes.front(), LINK_OPENED);
    EXPECT_EQ(codes.back(), LINK_CLOSED);
    EXPECT_EQ(recorder.count(LINK_OPENED), 1);
    EXPECT_EQ(recorder.count(LINK_DATA), 1);
    EXPECT_EQ(recorder.count(LINK_SENT), 1);
}

TEST_F(EngineLifecycle, DataArrivingWhileLinkOpenedIsHandledComesAfterIt) {
    // The robot writes while the worker is still held in its LINK_OPENED callback.
    recorder.hold_next_opened();
    link->set_read_chunk(32);
    ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(recorder.wait_held(kArrive));
    const auto early = pattern(12, 3);
    ASSERT_TRUE(pty.write_all(early));
    EXPECT_FALSE(recorder.wait_count(LINK_DATA, 1, 200ms))
        << "data reported while LINK_OPENED is handled";
    recorder.release();
    ASSERT_TRUE(recorder.wait_bytes(early.size(), kArrive));
    const auto codes = recorder.codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[0], LINK_OPENED);
    EXPECT_EQ(codes[1], LINK_DATA);
    EXPECT_EQ(recorder.received_bytes(), early);
}

TEST_F(EngineLifecycle, CloseWithoutWorkerDoesNotCloseTheNextConnection) {
    EXPECT_LT(timed_close(*link), kPromptMs);
    EXPECT_EQ(recorder.total(), 0) << "close_port with no worker raised an event";

    recorder.set_auto_acknowledge(true);
    open_console_style();
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 1, std::chrono::milliseconds(kQuietWindowMs)))
        << "a stale stop request closed the new connection";
    EXPECT_TRUE(link->worker_running());
    const auto in = pattern(5, 4);
    ASSERT_TRUE(pty.write_all(in));
    EXPECT_TRUE(recorder.wait_bytes(in.size(), kArrive));

    // The same after a finished session: a second close_port (no worker any more) is harmless.
    link->close_port();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    EXPECT_LT(timed_close(*link), kPromptMs);
    ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(recorder.wait_count(LINK_OPENED, 2, kArrive));
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 2, std::chrono::milliseconds(kQuietWindowMs)))
        << "a stale stop request closed the reopened connection";
    EXPECT_TRUE(link->worker_running());
}

TEST_F(EngineLifecycle, ReopeningTheSameEngineWorksEveryTime) {
    recorder.set_auto_acknowledge(true);
    link->set_read_chunk(32);
    size_t received = 0;
    for (int cycle = 1; cycle <= 3; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
        ASSERT_TRUE(recorder.wait_count(LINK_OPENED, cycle, kArrive));
        const auto in = pattern(10, uint8_t(cycle));
        ASSERT_TRUE(pty.write_all(in));
        received += in.size();
        ASSERT_TRUE(recorder.wait_bytes(received, kArrive));
        const auto out = pattern(4, uint8_t(cycle * 16));
        link->send_bytes(out.data(), int(out.size()));
        EXPECT_EQ(pty.read_exact(out.size(), 3000), out);
        ASSERT_TRUE(recorder.wait_count(LINK_SENT, cycle, kArrive));
        EXPECT_LT(timed_close(*link), kPromptMs);
        ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, cycle, kArrive));
        EXPECT_EQ(recorder.count(LINK_OPENED), cycle);
        EXPECT_EQ(recorder.count(LINK_CLOSED), cycle);
    }
}

TEST_F(EngineLifecycle, VanishingDeviceEndsTheWorkerOnceWithoutSpinning) {
    open_console_style();
    const double cpu_before = process_cpu_ms();
    const double start = now_ms();
    pty.close_master();
    EXPECT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    const double closed_after = now_ms() - start;
    EXPECT_LT(closed_after, kPromptMs);

    // Watch a while longer: still one LINK_CLOSED, nothing after it, and no CPU burnt.
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 2, std::chrono::milliseconds(500)));
    const double cpu_used = process_cpu_ms() - cpu_before;
    const double wall = now_ms() - start;
    EXPECT_LT(cpu_used, 0.2 * wall) << cpu_used << " ms CPU in " << wall << " ms";
    EXPECT_FALSE(link->worker_running());
    const auto codes = recorder.codes();
    ASSERT_EQ(codes.size(), 2u) << "events after the hang-up";
    EXPECT_EQ(codes[0], LINK_OPENED);
    EXPECT_EQ(codes[1], LINK_CLOSED);

    // close_port after the worker ended on its own is prompt and raises nothing.
    EXPECT_LT(timed_close(*link), kPromptMs);
    EXPECT_EQ(recorder.total(), 2);
}

TEST_F(EngineLifecycle, VanishingDeviceWhileAChunkAwaitsAcknowledgementDoesNotSpin) {
    open_console_style();
    const auto in = pattern(8, 5);
    ASSERT_TRUE(pty.write_all(in));
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 1, kArrive));

    // The chunk is not yet acknowledged when the device goes away.
    const double cpu_before = process_cpu_ms();
    const double start = now_ms();
    pty.close_master();
    recorder.wait_count(LINK_CLOSED, 1, 500ms); // may end now or at the next read
    const double cpu_used = process_cpu_ms() - cpu_before;
    const double wall = now_ms() - start;
    EXPECT_LT(cpu_used, 0.2 * wall) << cpu_used << " ms CPU in " << wall << " ms";
    EXPECT_LE(recorder.total(), 3) << "events kept coming after the hang-up";

    // The acknowledgement posts the next read, which meets the hang-up at once.
    const double ack_at = now_ms();
    link->acknowledge_data();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    EXPECT_LT(now_ms() - ack_at, kPromptMs);
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 2, std::chrono::milliseconds(kQuietWindowMs)));
    EXPECT_EQ(recorder.count(LINK_DATA), 1);
    EXPECT_EQ(recorder.codes().back(), LINK_CLOSED);
    EXPECT_FALSE(link->worker_running());
}

TEST_F(EngineLifecycle, StopIsHandledPromptlyWhileAWriteIsStuck) {
    open_console_style();
    ASSERT_TRUE(fill_until_write_stuck()) << "could not fill the line";
    // Further sends are dropped while the write is outstanding.
    const auto frame = pattern(4, 6);
    const int sent = recorder.count(LINK_SENT);
    link->send_bytes(frame.data(), int(frame.size()));
    EXPECT_TRUE(link->is_write_pending());

    const double took = timed_close(*link);
    EXPECT_LT(took, 1000.0) << "close_port must return well inside its 2000 ms wait";
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 2, std::chrono::milliseconds(kQuietWindowMs)));
    EXPECT_FALSE(link->worker_running());
    EXPECT_EQ(recorder.count(LINK_SENT), sent) << "a stuck write reported LINK_SENT";
    EXPECT_EQ(recorder.codes().back(), LINK_CLOSED);

    // The stuck write left nothing behind: the next connection starts with no write pending.
    pty.read_for(200); // drain what the line held
    ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    ASSERT_TRUE(recorder.wait_count(LINK_OPENED, 2, kArrive));
    EXPECT_FALSE(link->is_write_pending());
    pty.read_for(200); // anything still in transit from the first connection
    link->send_bytes(frame.data(), int(frame.size()));
    EXPECT_EQ(pty.read_exact(frame.size(), 3000), frame);
}

TEST_F(EngineLifecycle, VanishingDeviceWhileAWriteIsStuckEndsTheWorkerOnce) {
    open_console_style();
    ASSERT_TRUE(fill_until_write_stuck()) << "could not fill the line";
    const double start = now_ms();
    pty.close_master();
    ASSERT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    EXPECT_LT(now_ms() - start, kPromptMs);
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 2, std::chrono::milliseconds(kQuietWindowMs)));
    EXPECT_FALSE(link->worker_running());
    EXPECT_EQ(recorder.codes().back(), LINK_CLOSED);
}

TEST_F(EngineLifecycle, DestroyingTheEngineStopsItsWorkerFirst) {
    recorder.set_auto_acknowledge(true);
    open_console_style();
    const auto in = pattern(6, 7);
    ASSERT_TRUE(pty.write_all(in));
    ASSERT_TRUE(recorder.wait_bytes(in.size(), kArrive));

    const double start = now_ms();
    link.reset();
    EXPECT_LT(now_ms() - start, kPromptMs);
    // The worker ended, with its LINK_CLOSED, before the engine was gone.
    EXPECT_EQ(recorder.count(LINK_CLOSED), 1);
    const int total = recorder.total();
    EXPECT_FALSE(recorder.wait_count(LINK_CLOSED, 2, std::chrono::milliseconds(kQuietWindowMs)));
    EXPECT_EQ(recorder.total(), total) << "a callback arrived after destruction";

    // The device was let go: a new engine can open it.
    LinkRecorder next_recorder;
    Tserial_event next;
    next_recorder.attach(next);
    EXPECT_EQ(next.open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    EXPECT_TRUE(next_recorder.wait_count(LINK_OPENED, 1, kArrive));
}

TEST_F(EngineLifecycle, DestroyingTheEngineDuringAStuckWriteIsPrompt) {
    open_console_style();
    ASSERT_TRUE(fill_until_write_stuck()) << "could not fill the line";
    const double start = now_ms();
    link.reset();
    EXPECT_LT(now_ms() - start, 1000.0);
    EXPECT_EQ(recorder.count(LINK_CLOSED), 1);
}

TEST_F(EngineLifecycle, WatchingModemLinesOnAPtyNeverHoldsUpClosing) {
    // A pty has no modem lines. Whether the engine opens it with the watch on or refuses, it
    // must not block: an open link works and closes promptly, a refused one raises nothing.
    recorder.set_auto_acknowledge(true);
    link->set_read_chunk(32);
    const int result = link->open_port(pty.slave_path().c_str(), 57600, 0, 8, true);
    if (result != OPEN_OK) {
        EXPECT_FALSE(recorder.wait_count(LINK_OPENED, 1, std::chrono::milliseconds(300)));
        EXPECT_EQ(recorder.total(), 0);
        EXPECT_FALSE(link->worker_running());
        return;
    }
    ASSERT_TRUE(recorder.wait_count(LINK_OPENED, 1, kArrive));
    const auto in = pattern(9, 8);
    ASSERT_TRUE(pty.write_all(in));
    ASSERT_TRUE(recorder.wait_bytes(in.size(), kArrive));
    const auto out = pattern(4, 9);
    link->send_bytes(out.data(), int(out.size()));
    EXPECT_EQ(pty.read_exact(out.size(), 3000), out);
    EXPECT_LT(timed_close(*link), kPromptMs);
    EXPECT_EQ(recorder.count(LINK_CLOSED), 1);
    for (int code : recorder.codes())
        EXPECT_TRUE(code == LINK_OPENED || code == LINK_DATA || code == LINK_SENT ||
                    code == LINK_CLOSED)
            << "line event " << code << " on a pty";
}

TEST(EngineWithoutCallback, MovesBytesAndClosesWithNoCallbackSet) {
    PtyPeer pty;
    ASSERT_TRUE(pty.ok());
    Tserial_event link;
    link.set_read_chunk(32);
    ASSERT_EQ(link.open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
    const auto out = pattern(8, 10);
    // With no callback there is no LINK_OPENED to wait for, and a send is refused until the
    // worker runs: offer it again until it goes out.
    std::vector<uint8_t> got;
    for (int attempt = 0; attempt < 10 && got != out; ++attempt) {
        if (!link.is_write_pending())
            link.send_bytes(out.data(), int(out.size()));
        got = pty.read_exact(out.size(), 300);
    }
    EXPECT_EQ(got, out);
    ASSERT_TRUE(pty.write_all(pattern(10, 11)));
    const double start = now_ms();
    link.close_port();
    EXPECT_LT(now_ms() - start, kPromptMs);
    EXPECT_FALSE(link.worker_running());
}

// A robot flooding the line. With a read chunk of 1 the line never runs dry between reads, so
// a completed read and a new read request are raised at every turn of the worker: only the
// stop request's first place in the wait gets the worker out.
class EngineFlood : public EngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(EngineFlood, StopIsHandledPromptly) {
    recorder.set_auto_acknowledge(true);
    open_console_style(GetParam());
    Flood flood(pty.master());
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 50, kArrive)) << "the flood did not arrive";

    const double took = timed_close(*link);
    EXPECT_LT(took, kPromptMs);
    EXPECT_TRUE(recorder.wait_count(LINK_CLOSED, 1, kArrive));
    EXPECT_FALSE(link->worker_running());
    flood.stop();
    EXPECT_GT(flood.written(), 0);
    EXPECT_EQ(recorder.count(LINK_CLOSED), 1);
    EXPECT_EQ(recorder.codes().back(), LINK_CLOSED);
    for (const auto& c : recorder.chunks())
        EXPECT_LE(int(c.data.size()), GetParam());
}

TEST_P(EngineFlood, DestroyingTheEngineIsPromptAndClean) {
    recorder.set_auto_acknowledge(true);
    open_console_style(GetParam());
    Flood flood(pty.master());
    ASSERT_TRUE(recorder.wait_count(LINK_DATA, 50, kArrive));
    // Destroy on a helper thread: an engine that cannot stop under the flood would otherwise
    // hang the test, where ending the flood lets it finish and the test report it.
    std::mutex m;
    std::condition_variable cv;
    bool destroyed = false;
    const double start = now_ms();
    std::thread destroyer([&] {
        link.reset();
        std::lock_guard lock(m);
        destroyed = true;
        cv.notify_all();
    });
    double took = 0;
    {
        std::unique_lock lock(m);
        cv.wait_for(lock, 5s, [&] { return destroyed; });
        took = now_ms() - start;
    }
    flood.stop();
    destroyer.join();
    EXPECT_LT(took, kPromptMs);
    EXPECT_EQ(recorder.count(LINK_CLOSED), 1);
    EXPECT_EQ(recorder.codes().back(), LINK_CLOSED);
}

INSTANTIATE_TEST_SUITE_P(ReadChunk, EngineFlood, ::testing::Values(1, 32),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Chunk" + std::to_string(info.param);
                         });
