#pragma once
// The simulated robot as a child process for tests. The test target defines ZELK_SIM_PATH, the
// simulator binary's path.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

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
    pid_t pid() const { return pid_; }

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
