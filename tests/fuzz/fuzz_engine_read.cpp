// libFuzzer target: the serial engine's read path through a real pseudo-terminal, with the reply
// decoder on every chunk it delivers.
//
// One engine for the whole process, opened once on the slave side of a pty with the console's
// read chunk of 32 bytes. As in the console, the callback only notes each LINK_DATA chunk (a copy)
// and hands it over; a consumer thread, in the GUI thread's place, decodes it from the engine's
// buffer with the checks of decoder_oracle.h (port open) and then acknowledges it. Until then the
// buffer must hold what the callback saw, and no further chunk may come. The port stays up for
// the whole run: a LINK_CLOSED before the process ends is a failure.
//
// Input format: up to 8 bursts, each one control byte followed by the burst's bytes.
//   control bits 0..5  the burst holds n + 1 bytes (1..64), fewer when the input ends first
//   control bits 6..7  pause after the burst: 0 none, 1 5 ms, 2 30 ms (shorter than the 50 ms
//                      quiet gap: the read goes on), 3 75 ms (longer: the read ends before it)
// Pauses stop once 90 ms of them have been spent (later ones count as none), and the pause after
// the last burst is never made: the harness waits for the engine's own quiet gap instead. So one
// input takes at most about 90 ms of pauses plus the 50 ms quiet gap.
//
// After the bursts the harness waits until the engine has delivered as many bytes as were written,
// then checks: the chunks joined are exactly the bytes written (nothing lost, doubled or
// reordered), every chunk holds 1..32 bytes, and every chunk decodes within the decoder's
// invariants. Before writing, nothing may have arrived since the previous input was checked: a
// late or repeated chunk shows there.

#include "decoder_oracle.h"
#include "link/serial_event.h"
#include "tests/support/pty_peer.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int ReadChunk = 32;
constexpr int MaxBursts = 8;
constexpr int MaxBurstBytes = 64;
constexpr int MaxInputBytes = MaxBursts * MaxBurstBytes;
constexpr int PauseMs[4] = {0, 5, 30, 75};
constexpr int PauseBudgetMs = 90;
constexpr auto DeliveryLimit = std::chrono::seconds(3);

struct Harness {
    PtyPeer peer;
    Tserial_event engine;

    std::mutex mutex;
    std::condition_variable changed;
    bool opened = false;
    bool closing = false;
    // Written under the mutex by the callback (worker thread) and the consumer thread; fixed
    // storage, so neither allocates.
    uint8_t received[MaxInputBytes] = {}; // the chunks as the callback saw them, joined
    int receivedCount = 0;
    int chunkCount = 0;
    int pendingCount = 0; // bytes of the chunk announced and not yet acknowledged, 0 when none
    ReplyDecoder decoder;
    fuzz::StreamModel model;
    RobotState state;
    std::thread consumer;
};

Harness* harness = nullptr;

// The worker's side: note the chunk and hand it over, like the console's callback, which queues
// the decoding to its GUI thread and returns.
void onLinkEvent(Tserial_event* link, int event) {
    Harness& h = *static_cast<Harness*>(link->user_data());
    std::lock_guard<std::mutex> lock(h.mutex);
    switch (event) {
    case LINK_OPENED:
        h.opened = true;
        break;
    case LINK_DATA: {
        const int count = link->received_count();
        FUZZ_CHECK(count >= 1 && count <= ReadChunk);
        FUZZ_CHECK(h.pendingCount == 0); // no second chunk before the acknowledgement
        // More bytes than any input writes: something arrived twice.
        FUZZ_CHECK(h.receivedCount + count <= MaxInputBytes);
        std::memcpy(h.received + h.receivedCount, link->received_data(),
                    static_cast<size_t>(count));
        h.receivedCount += count;
        h.pendingCount = count;
        break;
    }
    case LINK_CLOSED:
        if (!h.closing) {
            std::fprintf(stderr, "fuzz check failed: the port closed while the line was up\n");
            __builtin_trap();
        }
        break;
    default:
        // Nothing is sent and the modem lines are not watched: no other event may come.
        std::fprintf(stderr, "fuzz check failed: unexpected link event %d\n", event);
        __builtin_trap();
    }
    h.changed.notify_all();
}

// The console's side, on a thread of its own: decode the chunk straight from the engine's buffer,
// which must still hold what the callback saw, then acknowledge it.
void consume(Harness& h) {
    std::unique_lock<std::mutex> lock(h.mutex);
    for (;;) {
        h.changed.wait(lock, [&] { return h.pendingCount > 0 || h.closing; });
        if (h.closing)
            return;
        const int count = h.pendingCount;
        const uint8_t* data = h.engine.received_data();
        FUZZ_CHECK(h.engine.received_count() == count);
        FUZZ_CHECK(std::memcmp(data, h.received + h.receivedCount - count,
                               static_cast<size_t>(count)) == 0);
        fuzz::decodeChecked(h.decoder, h.model, h.state, data, count, true);
        h.pendingCount = 0;
        ++h.chunkCount;
        h.changed.notify_all();
        lock.unlock();
        h.engine.acknowledge_data();
        lock.lock();
    }
}

void shutDown() {
    if (harness == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(harness->mutex);
        harness->closing = true;
        harness->changed.notify_all();
    }
    harness->consumer.join();
    harness->engine.close_port();
    harness->engine.stop_worker();
    delete harness;
    harness = nullptr;
}

struct Burst {
    const uint8_t* bytes;
    size_t length;
    int pauseMs;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    harness = new Harness;
    if (!harness->peer.ok()) {
        std::fprintf(stderr, "fuzz_engine_read: no pseudo-terminal available\n");
        std::exit(1);
    }
    harness->engine.set_user_data(harness);
    harness->engine.set_event_callback(onLinkEvent);
    harness->engine.set_read_chunk(ReadChunk);
    const int result = harness->engine.open_port(harness->peer.path().c_str(), 57600, 0, 8, false);
    if (result != OPEN_OK) {
        std::fprintf(stderr, "fuzz_engine_read: open_port(%s) gave %d\n",
                     harness->peer.path().c_str(), result);
        std::exit(1);
    }
    std::unique_lock<std::mutex> lock(harness->mutex);
    if (!harness->changed.wait_for(lock, DeliveryLimit, [] { return harness->opened; })) {
        std::fprintf(stderr, "fuzz_engine_read: no LINK_OPENED\n");
        std::exit(1);
    }
    lock.unlock();
    harness->consumer = std::thread(consume, std::ref(*harness));
    std::atexit(shutDown); // libFuzzer leaves through exit() when its time is up
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Burst bursts[MaxBursts];
    int burstCount = 0;
    int pauseLeft = PauseBudgetMs;
    size_t pos = 0;
    while (pos < size && burstCount < MaxBursts) {
        const uint8_t control = data[pos++];
        size_t length = static_cast<size_t>(control & 0x3F) + 1;
        if (length > size - pos)
            length = size - pos;
        if (length == 0)
            break;
        int pause = PauseMs[control >> 6];
        if (pause > pauseLeft)
            pause = 0;
        pauseLeft -= pause;
        bursts[burstCount++] = Burst{data + pos, length, pause};
        pos += length;
    }

    Harness& h = *harness;
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        // Nothing late, nothing doubled since the previous input.
        FUZZ_CHECK(h.receivedCount == 0 && h.chunkCount == 0 && h.pendingCount == 0);
        h.decoder = ReplyDecoder{};
        h.state = RobotState{};
    }

    std::vector<uint8_t> written;
    for (int i = 0; i < burstCount; ++i) {
        const std::vector<uint8_t> burst(bursts[i].bytes, bursts[i].bytes + bursts[i].length);
        h.peer.write(burst);
        written.insert(written.end(), burst.begin(), burst.end());
        if (i + 1 < burstCount && bursts[i].pauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(bursts[i].pauseMs));
    }

    std::unique_lock<std::mutex> lock(h.mutex);
    const int total = static_cast<int>(written.size());
    h.changed.wait_for(lock, DeliveryLimit,
                       [&] { return h.receivedCount >= total && h.pendingCount == 0; });
    if (h.receivedCount != total) {
        std::fprintf(stderr, "fuzz check failed: wrote %d bytes, the engine delivered %d\n", total,
                     h.receivedCount);
        __builtin_trap();
    }
    FUZZ_CHECK(total == 0 || std::memcmp(h.received, written.data(), written.size()) == 0);
    h.receivedCount = 0;
    h.chunkCount = 0;
    return 0;
}
