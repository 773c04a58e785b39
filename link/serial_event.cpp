#include "link/serial_event.h"

#include "link/serial_device.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <system_error>
#include <time.h>
#include <unistd.h>

namespace {

int64_t monotonic_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

constexpr int64_t ms_to_ns(int ms) {
    return int64_t(ms) * 1000000;
}

// While a line-status wait is posted the modem lines are sampled this often; Linux offers only a
// blocking wait for them. The console never watches the modem lines, so its worker never samples.
constexpr int modem_sample_ms = 20;

bool transient(int err) {
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

} // namespace

Tserial_event::Tserial_event() {
    events[read_done_event].set_mode(EventObject::Reset::Manual);
    events[write_done_event].set_mode(EventObject::Reset::Manual);
    events[status_done_event].set_mode(EventObject::Reset::Manual);
}

Tserial_event::~Tserial_event() {
    // The worker uses the port, the buffers and the events: it is stopped before any of them
    // goes away.
    join_worker();
    close_device();
}

std::string Tserial_event::device_path(const std::string& name) {
    if (!name.empty() && name[0] == '/')
        return name;
    if (name.size() > 3 && name.size() <= 6 && std::toupper(uint8_t(name[0])) == 'C' &&
        std::toupper(uint8_t(name[1])) == 'O' && std::toupper(uint8_t(name[2])) == 'M') {
        int n = 0;
        bool digits = true;
        for (size_t i = 3; i < name.size(); ++i) {
            if (!std::isdigit(uint8_t(name[i]))) {
                digits = false;
                break;
            }
            n = n * 10 + (name[i] - '0');
        }
        if (digits && n >= 1)
            return "/dev/ttyS" + std::to_string(n - 1);
    }
    // Neither a COM name nor a path: a device name under /dev ("ttyUSB0"). A name that tries to
    // climb out of /dev is not mapped there.
    if (name.empty() || name.find('/') != std::string::npos)
        return std::string();
    return "/dev/" + name;
}

void Tserial_event::set_event_callback(LinkCallback cb) {
    callback.store(cb, std::memory_order_release);
}

void Tserial_event::set_read_chunk(int n) {
    if (n > rx_capacity)
        n = rx_capacity;
    if (n < 1)
        n = 1; // a read must ask for at least one byte
    read_chunk.store(n, std::memory_order_release);
}

int Tserial_event::open_port(const char* name, int rate_, int parity_, uint8_t data_bits,
                             bool watch_modem_) {
    // A worker that close_port stopped waiting for was asked to stop; it must be gone before
    // the port and the events serve a new connection, so that two workers never share them.
    join_worker();

    close_device();
    last_open_error_ = 0;
    int result = OPEN_OK;
    if (name == nullptr) {
        result = OPEN_ERR_NO_NAME;
    } else {
        port_name = name;
        rate = rate_;
        parity = parity_;
        watch_modem = watch_modem_;
        read_io = PostedIo{};
        write_io = PostedIo{};
        status_io = PostedIo{};
        const std::string path = device_path(port_name);
        port = path.empty() ? -1 : serial_device::open_exclusive(path, &last_open_error_);
        if (port < 0) {
            result = OPEN_ERR_DEVICE;
        } else {
            if (!serial_device::apply_line_events(port, watch_modem))
                result = OPEN_ERR_MASK;
            if (!serial_device::apply_timeouts(port))
                result = OPEN_ERR_TIMEOUTS;
            if (!serial_device::apply_line_settings(port, rate, parity, data_bits))
                result = OPEN_ERR_SETTINGS;
        }
    }
    for (const EventObject& e : events) {
        if (!e.valid())
            result = OPEN_ERR_EVENTS;
    }
    if (!worker_exited_.valid() || !write_idle_.valid())
        result = OPEN_ERR_EVENTS;
    if (result != OPEN_OK) {
        close_device();
        return result;
    }

    // Requests raised while no worker ran belong to no connection: a stale stop request would
    // close this one at once, and a stale write request would send an old frame.
    for (EventObject& e : events)
        e.reset();
    worker_exited_.reset();
    posted_chunk_.store(read_chunk.load(std::memory_order_acquire), std::memory_order_release);
    // Before the worker exists: once it runs, only it touches port (and clears this first).
    last_words_port_.store(port, std::memory_order_release);
    try {
        thread = std::thread(&Tserial_event::worker_loop, this);
    } catch (const std::system_error&) {
        close_device();
        return OPEN_ERR_DEVICE; // no worker, no port: the port is not usable
    }
    thread_known_ = true;
    return OPEN_OK;
}

void Tserial_event::close_port() {
    events[stop_event].set();
    if (thread_known_) {
        if (worker_exited_.wait_for(close_wait_ms))
            thread.join();
        // A worker still busy after the wait (held in its callback) finishes on its own; the next
        // open_port or the destructor collects it.
        thread_known_ = false;
    }
}

void Tserial_event::join_worker() {
    if (thread.joinable()) {
        events[stop_event].set();
        thread.join();
    }
    thread_known_ = false;
}

void Tserial_event::send_bytes(const uint8_t* bytes, int length) {
    // A frame offered while no worker runs is refused: kept, it would go out on the next
    // connection (an old drive pair would start the robot).
    if (!worker_running_.load(std::memory_order_acquire))
        return;
    if (write_pending.load(std::memory_order_acquire))
        return;
    if (length >= tx_capacity || length < 0)
        return;
    if (bytes == nullptr)
        return;
    write_pending.store(true, std::memory_order_release);
    write_idle_.reset();
    std::memcpy(tx_buffer, bytes, size_t(length));
    tx_length = length;
    accepted_sends_.fetch_add(1, std::memory_order_relaxed);
    events[write_request_event].set();
}

bool Tserial_event::wait_write_done(int timeout_ms) {
    const int64_t deadline = monotonic_ns() + ms_to_ns(std::max(timeout_ms, 0));
    for (;;) {
        if (!worker_running_.load(std::memory_order_acquire))
            return false;
        if (!write_pending.load(std::memory_order_acquire))
            return true;
        const int64_t left = deadline - monotonic_ns();
        if (left <= 0)
            return false;
        // The write's completion or the worker's end, whichever comes first.
        pollfd fds[2] = {{write_idle_.fd(), POLLIN, 0}, {worker_exited_.fd(), POLLIN, 0}};
        timespec ts{time_t(left / 1000000000), long(left % 1000000000)};
        if (::ppoll(fds, 2, &ts, nullptr) < 0 && errno != EINTR)
            return false;
    }
}

void Tserial_event::acknowledge_data() {
    // The read asked for here has the chunk size of this moment, whenever the worker posts it.
    posted_chunk_.store(read_chunk.load(std::memory_order_acquire), std::memory_order_release);
    events[read_request_event].set();
}

void Tserial_event::notify(int code) {
    if (LinkCallback cb = callback.load(std::memory_order_acquire))
        cb(this, code);
}

void Tserial_event::close_device() {
    last_words_port_.store(-1, std::memory_order_release);
    if (port >= 0) {
        serial_device::close_device(port);
        port = -1;
    }
}

void Tserial_event::set_last_words(const uint8_t* bytes, int length) {
    if (length < 0 || length > last_words_capacity || (length > 0 && bytes == nullptr))
        length = 0;
    uint64_t word = uint64_t(length) << 56;
    for (int i = 0; i < length; ++i)
        word |= uint64_t(bytes[i]) << (8 * i);
    last_words_.store(word, std::memory_order_release);
}

bool Tserial_event::write_last_words() const noexcept {
    static_assert(std::atomic<int>::is_always_lock_free &&
                      std::atomic<uint64_t>::is_always_lock_free,
                  "a signal handler may use only lock-free atomics");
    const int fd = last_words_port_.load(std::memory_order_acquire);
    const uint64_t word = last_words_.load(std::memory_order_acquire);
    const int length = int(word >> 56);
    if (fd < 0 || length == 0)
        return false;
    uint8_t bytes[last_words_capacity];
    for (int i = 0; i < length; ++i)
        bytes[i] = uint8_t(word >> (8 * i));
    // The port is non-blocking: a full output queue gets a short wait for room, a few times.
    int written = 0;
    for (int tries = 0; written < length && tries < 5;) {
        const ssize_t n = ::write(fd, bytes + written, size_t(length - written));
        if (n > 0) {
            written += int(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd room{fd, POLLOUT, 0};
            ::poll(&room, 1, 10);
            ++tries;
        } else {
            return false;
        }
    }
    return written == length;
}

void Tserial_event::worker_loop() {
    write_idle_.set();
    write_pending.store(false, std::memory_order_release);
    read_pending = false;
    status_pending = false;
    worker_running_.store(true, std::memory_order_release);
    notify(LINK_OPENED);
    events[read_request_event].set();
    if (watch_modem)
        events[status_request_event].set();

    bool running = true;
    while (running) {
        const int index = wait_for_event();
        switch (index) {
        case stop_event:
            running = false;
            break;
        case read_done_event:
            if (read_io.state == PostedIo::State::Done) {
                events[read_done_event].reset();
                rx_count = read_io.transferred;
                read_io.state = PostedIo::State::Idle;
                read_pending = false;
                if (rx_count > 0)
                    notify(LINK_DATA);
            } else if (read_io.state == PostedIo::State::Failed) {
                running = false;
            } else {
                events[read_done_event].reset(); // nothing completed: still under way
            }
            break;
        case read_request_event:
            if (!read_pending) {
                read_pending = true;
                running = post_read();
            }
            break;
        case write_done_event:
            if (write_io.state == PostedIo::State::Done) {
                events[write_done_event].reset();
                write_io.state = PostedIo::State::Idle;
                write_idle_.set(); // before the flag: a send seeing it clear resets the event
                write_pending.store(false, std::memory_order_release);
                notify(LINK_SENT);
            } else if (write_io.state == PostedIo::State::Failed) {
                running = false;
            } else {
                events[write_done_event].reset();
            }
            break;
        case write_request_event:
            running = post_write();
            break;
        case status_done_event:
            if (status_io.state == PostedIo::State::Done) {
                events[status_done_event].reset();
                status_io.state = PostedIo::State::Idle;
                status_pending = false;
                report_line_event();
                events[status_request_event].set();
            } else if (status_io.state == PostedIo::State::Failed) {
                running = false;
            } else {
                events[status_done_event].reset();
            }
            break;
        case status_request_event:
            if (!status_pending && watch_modem) {
                status_pending = true;
                running = post_status_wait();
            }
            break;
        default:
            running = false;
            break;
        }
    }

    worker_running_.store(false, std::memory_order_release);
    close_device();
    read_io = PostedIo{};
    write_io = PostedIo{};
    status_io = PostedIo{};
    notify(LINK_CLOSED);
    worker_exited_.set();
}

int Tserial_event::wait_for_event() {
    for (;;) {
        pollfd fds[event_count + 1];
        for (int i = 0; i < event_count; ++i)
            fds[i] = pollfd{events[i].fd(), POLLIN, 0};
        nfds_t count = event_count;
        short port_interest = 0;
        if (read_io.state == PostedIo::State::Pending)
            port_interest |= POLLIN;
        if (write_io.state == PostedIo::State::Pending)
            port_interest |= POLLOUT;
        if (port_interest != 0 && port >= 0)
            fds[count++] = pollfd{port, port_interest, 0};

        int64_t timeout_ns = -1;
        if (read_io.state == PostedIo::State::Pending && read_io.transferred > 0)
            timeout_ns = std::max<int64_t>(0, read_deadline_ns_ - monotonic_ns());
        if (status_io.state == PostedIo::State::Pending) {
            const int64_t sample = ms_to_ns(modem_sample_ms);
            timeout_ns = timeout_ns < 0 ? sample : std::min(timeout_ns, sample);
        }
        timespec ts{time_t(timeout_ns / 1000000000), long(timeout_ns % 1000000000)};
        const int r = ::ppoll(fds, count, timeout_ns < 0 ? nullptr : &ts, nullptr);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }

        if (count > event_count && fds[event_count].revents != 0)
            service_port(fds[event_count].revents);
        if (read_io.state == PostedIo::State::Pending && read_io.transferred > 0 &&
            monotonic_ns() >= read_deadline_ns_)
            complete_read(true); // the line has been quiet for the gap
        if (status_io.state == PostedIo::State::Pending)
            sample_modem_lines();

        for (int i = 0; i < event_count; ++i) {
            if (fds[i].revents & POLLIN) {
                events[i].consume_report();
                return i;
            }
        }
        // Only port activity this time: the completions it raised are seen on the next round.
    }
}

bool Tserial_event::service_port(short revents) {
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        // The device hung up or failed: whatever is posted fails, which ends the worker.
        if (read_io.state == PostedIo::State::Pending)
            complete_read(false);
        if (write_io.state == PostedIo::State::Pending)
            complete_write(false);
        return false;
    }
    if ((revents & POLLIN) && read_io.state == PostedIo::State::Pending) {
        const ssize_t n = ::read(port, rx_buffer + read_io.transferred,
                                 size_t(read_io.wanted - read_io.transferred));
        if (n > 0) {
            read_io.transferred += int(n);
            read_deadline_ns_ = monotonic_ns() + ms_to_ns(quiet_gap_ms);
            if (read_io.transferred >= read_io.wanted)
                complete_read(true);
        } else if (n == 0 || !transient(errno)) {
            complete_read(false); // readable yet nothing to read: the line is gone
        }
    }
    if ((revents & POLLOUT) && write_io.state == PostedIo::State::Pending) {
        const ssize_t n = ::write(port, tx_buffer + write_io.transferred,
                                  size_t(write_io.wanted - write_io.transferred));
        if (n > 0) {
            write_io.transferred += int(n);
            if (write_io.transferred >= write_io.wanted)
                complete_write(true);
        } else if (n < 0 && !transient(errno)) {
            complete_write(false);
        }
    }
    return true;
}

void Tserial_event::complete_read(bool ok) {
    read_io.state = ok ? PostedIo::State::Done : PostedIo::State::Failed;
    events[read_done_event].set();
}

void Tserial_event::complete_write(bool ok) {
    write_io.state = ok ? PostedIo::State::Done : PostedIo::State::Failed;
    events[write_done_event].set();
}

bool Tserial_event::post_read() {
    const int32_t chunk = posted_chunk_.load(std::memory_order_acquire);
    read_io = PostedIo{PostedIo::State::Pending, 0, chunk};
    const ssize_t n = ::read(port, rx_buffer, size_t(chunk));
    if (n > 0) {
        read_io.transferred = int(n);
        read_deadline_ns_ = monotonic_ns() + ms_to_ns(quiet_gap_ms);
        if (read_io.transferred >= read_io.wanted)
            complete_read(true);
        return true;
    }
    // Nothing there yet (or a 0 that only the poll events can explain): the read stays posted.
    if (n == 0 || transient(errno))
        return true;
    read_io.state = PostedIo::State::Idle;
    return false;
}

bool Tserial_event::post_write() {
    write_io = PostedIo{PostedIo::State::Pending, 0, tx_length};
    if (tx_length == 0) {
        complete_write(true);
        return true;
    }
    const ssize_t n = ::write(port, tx_buffer, size_t(tx_length));
    if (n > 0) {
        write_io.transferred = int(n);
        if (write_io.transferred >= write_io.wanted)
            complete_write(true);
        return true;
    }
    if (n < 0 && transient(errno))
        return true;
    write_io.state = PostedIo::State::Idle;
    return false;
}

bool Tserial_event::post_status_wait() {
    status_mask = 0;
    if (ioctl(port, TIOCMGET, &modem_lines_) != 0)
        return false;
    status_io = PostedIo{PostedIo::State::Pending, 0, 0};
    return true;
}

void Tserial_event::sample_modem_lines() {
    int lines = 0;
    if (ioctl(port, TIOCMGET, &lines) != 0) {
        status_io.state = PostedIo::State::Failed;
        events[status_done_event].set();
        return;
    }
    uint32_t mask = 0;
    if ((lines & TIOCM_RI) && !(modem_lines_ & TIOCM_RI))
        mask |= EV_RING;
    if ((lines & TIOCM_CD) != (modem_lines_ & TIOCM_CD))
        mask |= EV_RLSD;
    modem_lines_ = lines;
    if (mask != 0) {
        status_mask = mask;
        status_io.state = PostedIo::State::Done;
        events[status_done_event].set();
    }
}

void Tserial_event::report_line_event() {
    int lines = 0;
    ioctl(port, TIOCMGET, &lines);
    if ((status_mask & EV_RING) && (lines & TIOCM_RI))
        notify(LINK_RING);
    if (status_mask & EV_RLSD)
        notify((lines & TIOCM_CD) ? LINK_CARRIER_ON : LINK_CARRIER_OFF);
}
