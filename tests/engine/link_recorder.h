#pragma once
// Records the link events of one engine. The engine calls back on its worker thread; the test
// thread waits here for what it expects, with a timeout, under one mutex.

#include "link/serial_event.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

struct LinkEventRecord {
    int code = -1;
    std::vector<uint8_t> data; // LINK_DATA: the chunk, copied inside the callback
    int tail_byte = -1;        // LINK_DATA: the receive buffer's last byte, which no read reaches
    double at_ms = 0;          // now_ms() when the callback was entered
};

class LinkRecorder {
public:
    using ms = std::chrono::milliseconds;

    // Installs the recorder as the engine's callback and context.
    void attach(Tserial_event& link);

    // Acknowledge each chunk inside the callback (true) or leave it to the test (false, default).
    void set_auto_acknowledge(bool on);
    // The next LINK_OPENED callback blocks until release() (holds the worker, as a callback that
    // waits for the operator does).
    void hold_next_opened();
    bool wait_held(ms timeout);
    void release();

    bool wait_count(int code, int n, ms timeout) const;
    // Waits until the LINK_DATA chunks hold at least n bytes in all.
    bool wait_bytes(size_t n, ms timeout) const;
    int count(int code) const;
    int total() const;
    std::vector<LinkEventRecord> events() const;
    std::vector<LinkEventRecord> chunks() const; // LINK_DATA records only
    std::vector<uint8_t> received_bytes() const; // every chunk, in order
    std::vector<int> codes() const;

    static void on_event(Tserial_event* link, int code);

private:
    void record(Tserial_event* link, int code);

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<LinkEventRecord> events_;
    size_t received_ = 0;
    bool auto_ack_ = false;
    bool hold_opened_ = false;
    bool held_ = false;
    bool released_ = false;
};
