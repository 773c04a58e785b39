#pragma once
// Helpers of the stress tests: bounded waits, the simulated robot as a child process with its
// log captured, counts of the process's descriptors and threads, a probe of the GUI thread's
// responsiveness, a watchdog against deadlocks, and the figures the tests print.

#include "tests/support/qt_wait.h"

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

// The simulated robot as a child process: the device path from its first line on stdout, its
// stderr in a file that log() reads.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        char name[] = "/tmp/zelk-stress-sim-XXXXXX";
        logFd_ = mkostemp(name, O_CLOEXEC);
        if (logFd_ >= 0)
            logPath_ = name;
        std::vector<std::string> all{ZELK_SIM_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (logFd_ >= 0)
            posix_spawn_file_actions_adddup2(&actions, logFd_, STDERR_FILENO);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];

        std::string line;
        char c;
        pollfd p{stdout_, POLLIN, 0};
        while (pid_ > 0 && line.find('\n') == std::string::npos && poll(&p, 1, 5000) == 1 &&
               read(stdout_, &c, 1) == 1)
            line += c;
        const std::string prefix = "ZELK robot simulator on ";
        if (line.rfind(prefix, 0) == 0) {
            const std::string rest = line.substr(prefix.size());
            path_ = rest.substr(0, rest.find(' '));
        }
    }
    ~SimProcess() {
        stop();
        if (stdout_ >= 0)
            close(stdout_);
        if (logFd_ >= 0) {
            close(logFd_);
            unlink(logPath_.c_str());
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& path() const { return path_; }

    // Ends the simulator with SIGTERM (it then prints its summary); true when it exited cleanly.
    bool stop() {
        if (pid_ <= 0)
            return exitedCleanly_;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                exitedCleanly_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
                return exitedCleanly_;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return false;
    }

    std::string log() const {
        std::string text;
        char buffer[65536];
        off_t at = 0;
        ssize_t n;
        while (logFd_ >= 0 && (n = pread(logFd_, buffer, sizeof buffer, at)) > 0) {
            text.append(buffer, size_t(n));
            at += n;
        }
        return text;
    }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int logFd_ = -1;
    std::string logPath_;
    std::string path_;
    bool exitedCleanly_ = false;
};

} // namespace stress
