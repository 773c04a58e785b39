#pragma once
// Common ground of the engine tests: one pty whose master plays the robot, one engine with a
// recorder as its callback, and the time limits the tests use.

#include "link/serial_event.h"
#include "link_recorder.h"
#include "pty_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

// "Arrives": generous, for a loaded two-core machine and ThreadSanitizer.
constexpr auto kArrive = 3000ms;
// "Promptly": an upper bound far above scheduling noise and far below the 2000 ms close wait.
constexpr double kPromptMs = 500;
// Window in which something must NOT happen.
constexpr int kQuietWindowMs = 300;

inline std::vector<uint8_t> pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 7 + (i >> 8));
    return v;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available";
        link = std::make_unique<Tserial_event>();
        recorder.attach(*link);
    }

    void TearDown() override { recorder.release(); }

    // Opens the pty as the console does (read chunk 32, 57600 8N1, no modem watch) and waits
    // for LINK_OPENED.
    void open_console_style(int chunk = 32) {
        link->set_read_chunk(chunk);
        ASSERT_EQ(link->open_port(pty.slave_path().c_str(), 57600, 0, 8, false), OPEN_OK);
        ASSERT_TRUE(recorder.wait_count(LINK_OPENED, 1, kArrive));
    }

    // Sends 255-byte blocks while nobody reads the master until a write stays outstanding.
    // True when the last accepted send is stuck in its write.
    bool fill_until_write_stuck() {
        const auto block = pattern(255, 0x55);
        for (int i = 0; i < 4000; ++i) {
            const int sent = recorder.count(LINK_SENT);
            link->send_bytes(block.data(), int(block.size()));
            if (!recorder.wait_count(LINK_SENT, sent + 1, 300ms))
                return link->is_write_pending();
        }
        return false;
    }

    // Declared first: outlives the engine, whose worker calls it until the engine is gone.
    LinkRecorder recorder;
    PtyPeer pty;
    std::unique_ptr<Tserial_event> link;
};
