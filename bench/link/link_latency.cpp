// link_latency: how long bytes take through the serial engine, measured against a pty whose
// master plays the robot. Prints figures; it never passes or fails on time.
//
//   send     send_bytes of a 4-byte command frame -> the bytes readable at the robot's side
//   receive  the robot's last byte of a 16-byte telemetry frame -> LINK_DATA, read chunk 32 as
//            the console uses it; the chunk ends after the 50 ms quiet time, which is subtracted
//   receive  the same with a read chunk of 16: the read ends at the frame's last byte, so this
//   (16)     is the engine's own delay with no quiet time in it
//
// Usage: link_latency [--frames N]   (N frames per row, default 1000)

#include "link/serial_event.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

int64_t now_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t clock_ns(clockid_t id) {
    timespec ts{};
    if (clock_gettime(id, &ts) != 0)
        return 0;
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t process_cpu_ns() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return (int64_t(ru.ru_utime.tv_sec) + ru.ru_stime.tv_sec) * 1000000000 +
           (int64_t(ru.ru_utime.tv_usec) + ru.ru_stime.tv_usec) * 1000;
}

// What the engine's callback reports to the measuring thread.
struct Observer {
    std::mutex mutex;
    std::condition_variable changed;
    int opened = 0;
    int closed = 0;
    int sent = 0;
    int chunks = 0;
    int last_count = 0;
    int64_t last_data_ns = 0;
    int wrong_sizes = 0;
    int expected_size = 0;
    std::atomic<bool> worker_clock_known{false};
    clockid_t worker_clock{};

    template <class Pred> bool wait(Pred pred, int timeout_ms) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeout_ms), pred);
    }
};

void on_link_event(Tserial_event* link, int code) {
    const int64_t at = now_ns();
    auto* obs = static_cast<Observer*>(link->user_data());
    if (code == LINK_OPENED && !obs->worker_clock_known.load()) {
        if (pthread_getcpuclockid(pthread_self(), &obs->worker_clock) == 0)
            obs->worker_clock_known.store(true);
    }
    {
        std::lock_guard lock(obs->mutex);
        switch (code) {
        case LINK_OPENED:
            ++obs->opened;
            break;
        case LINK_CLOSED:
            ++obs->closed;
            break;
        case LINK_SENT:
            ++obs->sent;
            break;
        case LINK_DATA:
            ++obs->chunks;
            obs->last_count = link->received_count();
            obs->last_data_ns = at;
            if (obs->last_count != obs->expected_size)
                ++obs->wrong_sizes;
            break;
        default:
            break;
        }
    }
    obs->changed.notify_all();
    if (code == LINK_DATA)
        link->acknowledge_data();
}

struct Pty {
    int master = -1;
    std::string slave;

    bool open() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0)
            return false;
        char name[128] = {};
        if (grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0)
            return false;
        termios t{};
        tcgetattr(master, &t);
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        slave = name;
        return true;
    }
    ~Pty() {
        if (master >= 0)
            close(master);
    }
    bool write_all(const uint8_t* p, size_t n) {
        size_t done = 0;
        while (done < n) {
            const ssize_t w = write(master, p + done, n - done);
            if (w > 0) {
                done += size_t(w);
            } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else {
                pollfd pf{master, POLLOUT, 0};
                poll(&pf, 1, 100);
            }
        }
        return true;
    }
    // Waits until a byte is readable; returns the time it became visible, or 0 on timeout.
    int64_t wait_readable(int timeout_ms) {
        pollfd pf{master, POLLIN, 0};
        if (poll(&pf, 1, timeout_ms) != 1 || !(pf.revents & POLLIN))
            return 0;
        return now_ns();
    }
    bool read_exact(uint8_t* p, size_t n, int timeout_ms) {
        size_t done = 0;
        const int64_t deadline = now_ns() + int64_t(timeout_ms) * 1000000;
        while (done < n) {
            const ssize_t r = read(master, p + done, n - done);
            if (r > 0) {
                done += size_t(r);
                continue;
            }
            const int64_t left_ms = (deadline - now_ns()) / 1000000;
            if (left_ms <= 0)
                return false;
            pollfd pf{master, POLLIN, 0};
            poll(&pf, 1, int(left_ms));
        }
        return true;
    }
};

struct Row {
    std::string name;
    std::vector<double> us; // latency per frame, microseconds
    double worker_cpu_us = -1;
    double process_cpu_us = 0;
    int failures = 0;
    std::string note;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const double rank = p * double(v.size() - 1);
    const size_t lo = size_t(rank);
    const size_t hi = std::min(lo + 1, v.size() - 1);
    return v[lo] + (v[hi] - v[lo]) * (rank - double(lo));
}

struct CpuMark {
    int64_t worker = 0;
    int64_t process = 0;
};

CpuMark cpu_mark(const Observer& obs) {
    CpuMark m;
    m.worker = obs.worker_clock_known.load() ? clock_ns(obs.worker_clock) : 0;
    m.process = process_cpu_ns();
    return m;
}

void finish_cpu(Row& row, const Observer& obs, const CpuMark& start, int frames) {
    const CpuMark end = cpu_mark(obs);
    if (frames <= 0)
        return;
    if (obs.worker_clock_known.load())
        row.worker_cpu_us = double(end.worker - start.worker) / 1e3 / frames;
    row.process_cpu_us = double(end.process - start.process) / 1e3 / frames;
}

bool open_link(Tserial_event& link, Observer& obs, const Pty& pty, int chunk) {
    int opened_before;
    {
        std::lock_guard lock(obs.mutex);
        opened_before = obs.opened;
        obs.expected_size = 16;
    }
    obs.worker_clock_known.store(false);
    link.set_read_chunk(chunk);
    const int result = link.open_port(pty.slave.c_str(), 57600, 0, 8, false);
    if (result != OPEN_OK) {
        std::fprintf(stderr, "open_port(%s) failed with %d\n", pty.slave.c_str(), result);
        return false;
    }
    return obs.wait([&] { return obs.opened > opened_before; }, 3000);
}

Row measure_send(Tserial_event& link, Observer& obs, Pty& pty, int frames) {
    Row row{"send_bytes -> readable at robot (4 B)", {}, -1, 0, 0, {}};
    const uint8_t frame[4] = {0xAA, 0xFD, 0x0B, 0x00};
    uint8_t back[4];
    const CpuMark start = cpu_mark(obs);
    for (int i = 0; i < frames; ++i) {
        int sent_before;
        {
            std::lock_guard lock(obs.mutex);
            sent_before = obs.sent;
        }
        const int64_t t0 = now_ns();
        link.send_bytes(frame, 4);
        const int64_t t1 = pty.wait_readable(2000);
        if (t1 == 0 || !pty.read_exact(back, 4, 2000) || std::memcmp(back, frame, 4) != 0) {
            ++row.failures;
            continue;
        }
        row.us.push_back(double(t1 - t0) / 1e3);
        // The next send is accepted only once this write has been collected.
        if (!obs.wait([&] { return obs.sent > sent_before; }, 2000))
            ++row.failures;
    }
    finish_cpu(row, obs, start, frames);
    return row;
}

Row measure_receive(Observer& obs, Pty& pty, int frames, double subtract_us,
                    const std::string& name) {
    Row row{name, {}, -1, 0, 0, {}};
    uint8_t frame[16];
    for (int i = 0; i < 16; ++i)
        frame[i] = uint8_t(0x5A + i);
    {
        std::lock_guard lock(obs.mutex);
        obs.wrong_sizes = 0;
    }
    const CpuMark start = cpu_mark(obs);
    for (int i = 0; i < frames; ++i) {
        int chunks_before;
        {
            std::lock_guard lock(obs.mutex);
            chunks_before = obs.chunks;
        }
        if (!pty.write_all(frame, sizeof frame)) {
            ++row.failures;
            continue;
        }
        const int64_t t_last = now_ns(); // the frame's last byte is with the kernel
        int64_t t_data = 0;
        if (obs.wait([&] { return obs.chunks > chunks_before; }, 2000)) {
            std::lock_guard lock(obs.mutex);
            t_data = obs.last_data_ns;
        }
        if (t_data == 0) {
            ++row.failures;
            continue;
        }
        row.us.push_back(double(t_data - t_last) / 1e3 - subtract_us);
    }
    finish_cpu(row, obs, start, frames);
    std::lock_guard lock(obs.mutex);
    if (obs.wrong_sizes > 0)
        row.note = std::to_string(obs.wrong_sizes) + " chunk(s) not 16 bytes";
    return row;
}

void print_rows(const std::vector<Row>& rows) {
    std::printf("\n%-44s %7s %11s %11s %11s %9s %13s %14s\n", "path", "frames", "median us",
                "p99 us", "max us", "failures", "worker CPU us", "process CPU us");
    std::printf("%-44s %7s %11s %11s %11s %9s %13s %14s\n", "", "", "", "", "", "", "per frame",
                "per frame");
    for (const Row& r : rows) {
        const double max = r.us.empty() ? 0 : *std::max_element(r.us.begin(), r.us.end());
        char worker[32];
        if (r.worker_cpu_us >= 0)
            std::snprintf(worker, sizeof worker, "%.1f", r.worker_cpu_us);
        else
            std::snprintf(worker, sizeof worker, "n/a");
        std::printf("%-44s %7zu %11.1f %11.1f %11.1f %9d %13s %14.1f\n", r.name.c_str(),
                    r.us.size(), percentile(r.us, 0.5), percentile(r.us, 0.99), max, r.failures,
                    worker, r.process_cpu_us);
        if (!r.note.empty())
            std::printf("    note: %s\n", r.note.c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    int frames = 1000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            frames = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: %s [--frames N]\n", argv[0]);
            return 2;
        }
    }
    if (frames < 1) {
        std::fprintf(stderr, "--frames must be at least 1\n");
        return 2;
    }

    Pty pty;
    if (!pty.open()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    Observer obs;
    Tserial_event link;
    link.set_user_data(&obs);
    link.set_event_callback(&on_link_event);

    std::printf("link_latency: robot side = pty master, engine opens %s at 57600 8N1\n",
                pty.slave.c_str());
    std::printf("%d frames per row; quiet time %d ms subtracted where noted; times in "
                "microseconds\n",
                frames, Tserial_event::quiet_gap_ms);
    if (frames < 1000)
        std::printf("(fewer than 1000 frames: the 99th percentile is rough)\n");
    std::fflush(stdout);

    std::vector<Row> rows;
    if (!open_link(link, obs, pty, 32))
        return 1;
    rows.push_back(measure_send(link, obs, pty, frames));
    std::printf("send measured; receive with chunk 32 takes about %d s ...\n",
                frames * (Tserial_event::quiet_gap_ms + 2) / 1000);
    std::fflush(stdout);
    rows.push_back(measure_receive(obs, pty, frames, Tserial_event::quiet_gap_ms * 1000.0,
                                   "robot last byte -> LINK_DATA, minus 50 ms"));
    link.close_port();

    if (!open_link(link, obs, pty, 16))
        return 1;
    rows.push_back(
        measure_receive(obs, pty, frames, 0.0, "robot last byte -> LINK_DATA (chunk 16)"));
    link.close_port();

    print_rows(rows);
    std::printf("\nworker CPU: the engine's worker thread clock; process CPU: the whole process,\n"
                "including this program's own pty peer on the main thread.\n");
    return 0;
}
