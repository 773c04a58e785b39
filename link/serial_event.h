#pragma once
// Tserial_event: owns one serial port, performs all of its I/O on one worker thread and reports
// what happens through a single callback with a small event code. It moves bytes and knows
// nothing of the robot protocol.

#include "link/event_object.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

// Link event codes passed to the callback.
constexpr int LINK_OPENED = 0;
constexpr int LINK_CLOSED = 1;
constexpr int LINK_SENT = 2;
constexpr int LINK_DATA = 3;
constexpr int LINK_RING = 4;
constexpr int LINK_CARRIER_ON = 5;
constexpr int LINK_CARRIER_OFF = 6;

// Result codes of open_port. Exactly one is returned: the last failing check decides.
constexpr int OPEN_OK = 0;
constexpr int OPEN_ERR_MASK = 1;
constexpr int OPEN_ERR_TIMEOUTS = 2;
constexpr int OPEN_ERR_SETTINGS = 4;
constexpr int OPEN_ERR_DEVICE = 8;
constexpr int OPEN_ERR_NO_NAME = 16;
constexpr int OPEN_ERR_EVENTS = 32;

// Line-event bits of the status wait.
constexpr uint32_t EV_RLSD = 0x0020;
constexpr uint32_t EV_RING = 0x0100;

class Tserial_event;
using LinkCallback = void (*)(Tserial_event* link, int event);

// State of one posted operation (read, write or line-status wait), the engine's counterpart of an
// overlapped record. Touched by the worker thread only.
struct PostedIo {
    enum class State { Idle, Pending, Done, Failed };
    State state = State::Idle;
    int transferred = 0; // bytes moved so far
    int wanted = 0;      // bytes asked for
};

class Tserial_event {
public:
    // Indices of the seven events; the index is also the priority in the worker's wait.
    enum EventIndex {
        stop_event = 0,
        read_done_event = 1,
        read_request_event = 2,
        write_done_event = 3,
        write_request_event = 4,
        status_done_event = 5,
        status_request_event = 6,
        event_count = 7
    };
    static constexpr int rx_capacity = 1024;
    static constexpr int tx_capacity = 256;
    static constexpr int quiet_gap_ms = 50;
    static constexpr int close_wait_ms = 2000;

    Tserial_event();
    ~Tserial_event();
    Tserial_event(const Tserial_event&) = delete;
    Tserial_event& operator=(const Tserial_event&) = delete;

    // Interface-thread operations.
    void set_event_callback(LinkCallback cb);
    void set_read_chunk(int n);
    int open_port(const char* name, int rate, int parity, uint8_t data_bits, bool watch_modem);
    void close_port();
    // Asks the worker to stop and waits for it to end, however long that takes. For shutdown,
    // before anything the callback uses goes away; the worker never blocks on its own.
    void stop_worker() { join_worker(); }
    void send_bytes(const uint8_t* bytes, int length);
    // Waits up to timeout_ms until the write under way has been handed to the kernel, so that a
    // frame offered last really reaches the line before close_port (whose stop request the
    // worker would otherwise serve first). True when no write is pending on a running worker, at
    // once when none is; false when the time runs out or when no worker runs or it ends
    // meanwhile (a line that is gone writes nothing more). Never waits longer than timeout_ms.
    bool wait_write_done(int timeout_ms);

    // For the LINK_DATA handler, on whichever thread handles it.
    const uint8_t* received_data() const { return rx_buffer; }
    int received_count() const { return rx_count; }
    void acknowledge_data();

    // A context pointer for the owner of the callback (the callback has no room for one).
    void set_user_data(void* data) { user_data_ = data; }
    void* user_data() const { return user_data_; }

    // Read-only views used by tests and tools.
    int get_read_chunk() const { return read_chunk.load(std::memory_order_acquire); }
    bool worker_running() const { return worker_running_.load(std::memory_order_acquire); }
    bool is_write_pending() const { return write_pending.load(std::memory_order_acquire); }
    // Sends taken for writing since construction. send_bytes reports nothing, so a sender that
    // must know whether its bytes were taken compares this count before and after the call.
    uint64_t accepted_sends() const { return accepted_sends_.load(std::memory_order_relaxed); }
    const std::string& get_port_name() const { return port_name; }
    // Why the last open_port found no usable device: the errno of the step of the device open
    // that failed (EACCES or EPERM: the user may not open it), or 0 when the device opened, or
    // when the name stands for no device path at all. Read on the interface thread.
    int last_open_error() const { return last_open_error_; }

    // The device path a port name stands for: "COMn" is /dev/ttyS(n-1), a name that begins with
    // '/' is used as given, any other name is looked up under /dev.
    static std::string device_path(const std::string& name);

    // The last words: bytes that go straight onto the open port when the program dies of a
    // signal (a crash), where neither the worker nor a lock can be relied on. The owner keeps
    // them up to date (at most last_words_capacity bytes; longer is refused, nothing kept).
    // write_last_words does only what a signal handler may: two atomic loads and write(2) on
    // the port's descriptor, waiting at most a few tens of milliseconds for room on the line.
    // True when every byte was written; false with no port open or no words kept.
    static constexpr int last_words_capacity = 7;
    void set_last_words(const uint8_t* bytes, int length);
    bool write_last_words() const noexcept;

private:
    void worker_loop();
    int wait_for_event();
    bool service_port(short revents);
    void complete_read(bool ok);
    void complete_write(bool ok);
    bool post_read();
    bool post_write();
    bool post_status_wait();
    void sample_modem_lines();
    void report_line_event();
    void notify(int code);
    void close_device();
    void join_worker();

    // Fields, in the engine's design order. port_name holds the whole name: device paths such as
    // /dev/ttyUSB0 are longer than ten characters.
    bool watch_modem = false;
    std::string port_name;
    int32_t rate = 0;
    int32_t parity = 0;
    EventObject events[event_count];
    int port = -1; // file descriptor; -1 when no port is open
    // The same descriptor for write_last_words: set once the port is usable, cleared before it
    // is closed.
    std::atomic<int> last_words_port_{-1};
    // Up to seven bytes in the low bytes, their count in the top byte: one atomic word, so that
    // a signal handler never sees half of an update.
    std::atomic<uint64_t> last_words_{0};
    std::thread thread;
    PostedIo read_io;
    PostedIo write_io;
    PostedIo status_io;
    std::atomic<bool> write_pending{false};
    std::atomic<uint64_t> accepted_sends_{0};
    bool read_pending = false;
    bool status_pending = false;
    uint8_t rx_buffer[rx_capacity + 1] = {};
    // Written by set_read_chunk on the interface thread; the worker posts reads of
    // posted_chunk_, the value read_chunk had when the read was asked for.
    std::atomic<int32_t> read_chunk{1};
    int32_t rx_count = 0;
    uint8_t tx_buffer[tx_capacity] = {};
    int32_t tx_length = 0;
    uint32_t status_mask = 0;
    std::atomic<LinkCallback> callback{nullptr};

    // Platform state beside the design fields.
    void* user_data_ = nullptr;
    std::atomic<bool> worker_running_{false};
    EventObject worker_exited_{EventObject::Reset::Manual};
    // Raised while no write is pending on the worker: reset by send_bytes before it raises the
    // write request, raised by the worker just before it clears write_pending. Only
    // wait_write_done waits for it; the worker's own wait does not look at it.
    EventObject write_idle_{EventObject::Reset::Manual};
    bool thread_known_ = false;    // close_port forgets a worker that outlives its wait
    int64_t read_deadline_ns_ = 0; // quiet-gap deadline of the posted read (monotonic)
    int modem_lines_ = 0;          // last sampled modem lines, for the status wait
    int last_open_error_ = 0;      // errno of the last failed device open
    // Size of the read the next read request posts: read_chunk as it was at open_port (the
    // worker's first read) or at the acknowledgement that asked for the read. A set_read_chunk
    // after that changes the read after it, not this one.
    std::atomic<int32_t> posted_chunk_{1};
};
