#pragma once
// A recording of the link: the capture (capture_format.h) and the telemetry CSV
// (telemetry_csv.h), two files named by the start's local date and time, written by a thread of
// their own.
//
// Two threads hand items over, each through a bounded ring of its own that it fills without a
// lock (spsc_ring.h): the serial worker every chunk it reads, the GUI thread every frame it sends
// and every telemetry row. Neither ever waits for the writer. The writer wakes every
// drainEveryMs, takes what the rings hold and writes it: capture lines in time order (an item is
// written once it is holdbackUs old, so that the other thread's items of the same moment are in
// by then), CSV rows as they came. A ring holds seconds of the fastest line; should the writer
// fall that far behind (a stalled disk), what does not fit is counted and the capture says so
// in a "lost" line where it happened, and status().lost tells the console.
//
// The writer stops the recording when it cannot go on (the folder cannot be written, the disk is
// full, a file was removed): it closes both files with what they hold and calls the failure hook
// once, on its own thread. Times are microseconds on the steady (monotonic) clock, nowUs().

#include "recording/spsc_ring.h"
#include "recording/telemetry_csv.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class LinkRecorder {
public:
    static constexpr size_t ringSlots = 4096;
    static constexpr int drainEveryMs = 200;
    static constexpr int64_t holdbackUs = 100000;
    static constexpr int maxChunk = LinkReadSize; // a longer read takes several rx lines

    struct Start {
        std::string folder; // made when missing
        std::string port;   // the port the console has chosen
        int64_t epochUs = 0;
        int64_t monotonicUs = 0;
    };
    struct Status {
        uint64_t bytes = 0; // written to both files so far
        uint64_t lost = 0;  // items not recorded
        uint64_t rxLines = 0;
        uint64_t csvRows = 0;
        std::string capturePath, csvPath; // once the files exist
        std::string failure;              // why the writer stopped early, if it did
    };
    using FailureHook = std::function<void(uint32_t session, const std::string& reason)>;

    LinkRecorder();
    ~LinkRecorder(); // ends a recording under way as stop() does
    LinkRecorder(const LinkRecorder&) = delete;
    LinkRecorder& operator=(const LinkRecorder&) = delete;

    // The console's side (the GUI thread). start returns the new session's number, or 0 while a
    // recording runs. The files are made by the writer: a folder that cannot be written reaches
    // the hook. stop writes everything handed over until now and the end line, closes the files
    // and returns the error met doing that, if any (a failure already told to the hook is not
    // told again).
    uint32_t start(const Start& start, FailureHook onFailure);
    std::optional<std::string> stop();
    bool running() const { return session_.load(std::memory_order_acquire) != 0; }
    uint32_t session() const { return session_.load(std::memory_order_acquire); }
    Status status() const;

    // The serial worker: a chunk the engine read.
    void received(const uint8_t* bytes, int count, int64_t atUs) noexcept;
    // The GUI thread: a frame handed to the engine (accepted: the engine took it), a telemetry
    // row, the port opening.
    void sent(const uint8_t* bytes, int count, bool accepted, int64_t atUs) noexcept;
    void telemetry(const TelemetryRow& row, int64_t atUs) noexcept;
    void opened(const std::string& port, int64_t atUs);

    static int64_t nowUs();

private:
    struct RxSlot {
        uint32_t session;
        uint8_t count;
        uint8_t bytes[maxChunk];
        int64_t atUs;
    };
    enum class GuiKind : uint8_t { Tx, Refused, Telemetry, Open };
    struct GuiSlot {
        uint32_t session;
        GuiKind kind;
        uint8_t count;
        uint8_t bytes[16];
        int64_t atUs;
        TelemetryRow row;
        std::string* port; // Open: owned by the slot until the writer takes it
    };
    struct Pending;
    struct Lost {
        std::atomic<uint64_t> count{0};
        std::atomic<int64_t> lastAtUs{0};
        uint64_t told = 0; // writer only
    };
    class Writer;

    bool pushGui(const GuiSlot& slot) noexcept;
    void run(uint32_t session, Start start, FailureHook onFailure);

    std::unique_ptr<SpscRing<RxSlot, ringSlots>> rx_;
    std::unique_ptr<SpscRing<GuiSlot, ringSlots>> gui_;
    std::atomic<uint32_t> session_{0};
    uint32_t lastSession_ = 0;
    Lost rxLost_, txLost_, csvLost_;
    std::atomic<uint64_t> bytes_{0};
    std::atomic<uint64_t> rxLines_{0}, csvRows_{0};

    mutable std::mutex mutex_; // the writer's wake-up and the status paths, never a producer
    std::condition_variable wake_;
    bool stopping_ = false;
    bool failureTold_ = false;
    std::optional<std::string> endError_;
    std::string capturePath_, csvPath_, failure_;
    std::thread writer_;
};
