#pragma once
// Helpers of the stress tests: bounded waits, the simulated robot as a child process with its
// log captured, counts of the process's descriptors and threads, a probe of the GUI thread's
// responsiveness, a watchdog against deadlocks, and the figures the tests print.

#include "tests/support/qt_wait.h"
#include "tests/support/sim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace stress {

// A whole number from the environment, or fallback when it is not set or not a number > 0.
inline int envInt(const char* name, int fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (*end == '\0' && v > 0 && v < 1000000) ? int(v) : fallback;
}

// Entries of a /proc directory (descriptors or threads of this process).
inline int countEntries(const char* path) {
    DIR* dir = opendir(path);
    if (dir == nullptr)
        return -1;
    int n = 0;
    while (dirent* e = readdir(dir))
        n += e->d_name[0] != '.' ? 1 : 0;
    closedir(dir);
    return n;
}
// The descriptor of the directory listing itself is counted each time, so counts compare.
inline int openDescriptors() {
    return countEntries("/proc/self/fd");
}
inline int threads() {
    return countEntries("/proc/self/task");
}

// One line of figures on stdout, "FIGURE <text>", for scripts/stress.sh to collect.
inline void figure(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void figure(const char* format, ...) {
    std::string line = "FIGURE ";
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    line += text;
    line += '\n';
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

// Ticks every 10 ms on the GUI thread and keeps the worst lateness of a tick: how long the GUI
// thread was kept from its event loop.
class GuiProbe : public QObject {
public:
    static constexpr int intervalMs = 10;

    GuiProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
        clock_.start();
        last_ = clock_.nsecsElapsed();
        timer_.start();
    }
    double worstDelayMs() const { return double(worstNs_) / 1e6; }
    long ticks() const { return ticks_; }

private:
    void tick() {
        const qint64 now = clock_.nsecsElapsed();
        const qint64 late = now - last_ - qint64(intervalMs) * 1000000;
        if (late > worstNs_)
            worstNs_ = late;
        last_ = now;
        ++ticks_;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 worstNs_ = 0;
    long ticks_ = 0;
};

// Aborts the process with a message when progress() has not been called for limit: a deadlock
// then ends the run with a name instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit) {
        progress("start");
        thread_ = std::thread([this] { watch(); });
    }
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void progress(const char* stage) {
        std::lock_guard<std::mutex> lock(mutex_);
        stage_ = stage;
        last_ = std::chrono::steady_clock::now();
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_) {
            wake_.wait_for(lock, std::chrono::milliseconds(200));
            if (!stop_ && std::chrono::steady_clock::now() - last_ > limit_) {
                std::fprintf(stderr, "watchdog: no progress for %lld s at \"%s\": deadlock\n",
                             static_cast<long long>(limit_.count()), stage_);
                std::abort();
            }
        }
    }
    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    const char* stage_ = "";
    std::chrono::steady_clock::time_point last_;
    std::thread thread_;
};

using ::SimProcess;

} // namespace stress
