#pragma once
// Helpers of the desktop tests: child processes (the X server, the console, xdotool, the probe),
// bounded waits on conditions, and the frames the simulated robot logged as received.

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace desktop {

using Clock = std::chrono::steady_clock;

// Bound of every wait: far above what a loaded two-core machine needs, so that a slow run is not
// a failure; the waits end as soon as their condition holds.
constexpr int kWaitMs = 20000;

// Polls done() until it holds; false when timeout_ms passes first.
inline bool waitFor(const std::function<bool()>& done, int timeout_ms = kWaitMs, int step_ms = 15) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (done())
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(step_ms));
    }
}

// This process's environment with some variables set (name=value) or removed (name alone).
inline std::vector<std::string> environmentWith(const std::vector<std::string>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& c : changes)
            replaced = replaced || c.substr(0, c.find('=')) == name;
        if (!replaced)
            env.push_back(entry);
    }
    for (const std::string& c : changes)
        if (c.find('=') != std::string::npos)
            env.push_back(c);
    return env;
}

// A child process. Its standard input can be a pipe (writeLine), its standard output a pipe
// (readLine) or a file, its standard error a file; extraFd gives the child the write end of
// another pipe as descriptor 3 (Xvfb -displayfd 3), read with readExtraLine.
class Child {
public:
    struct Options {
        std::vector<std::string> env; // empty: this process's environment
        bool pipeIn = false;
        bool pipeOut = false;
        std::string outFile; // when not piped; empty: /dev/null
        std::string errFile; // empty: /dev/null
        bool extraFd = false;
    };

    Child(const std::vector<std::string>& argv, const Options& options) {
        int in[2] = {-1, -1}, out[2] = {-1, -1}, extra[2] = {-1, -1};
        if (options.pipeIn && !pipeHigh(in))
            return;
        if (options.pipeOut && !pipeHigh(out))
            return;
        if (options.extraFd && !pipeHigh(extra))
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (options.pipeIn)
            posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (options.pipeOut)
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                             options.outFile.empty() ? "/dev/null"
                                                                     : options.outFile.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO,
                                         options.errFile.empty() ? "/dev/null"
                                                                 : options.errFile.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (options.extraFd)
            posix_spawn_file_actions_adddup2(&actions, extra[1], 3);

        std::vector<std::string> args = argv;
        std::vector<char*> cargv;
        for (std::string& a : args)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        std::vector<std::string> env = options.env.empty() ? environmentWith({}) : options.env;
        std::vector<char*> cenv;
        for (std::string& e : env)
            cenv.push_back(e.data());
        cenv.push_back(nullptr);
        if (posix_spawnp(&pid_, cargv[0], &actions, nullptr, cargv.data(), cenv.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        closeFd(in[0]);
        closeFd(out[1]);
        closeFd(extra[1]);
        in_ = in[1];
        out_ = out[0];
        extra_ = extra[0];
    }
    ~Child() {
        terminate();
        closeFd(in_);
        closeFd(out_);
        closeFd(extra_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // True while the process runs; once it has ended, exitStatus() tells how.
    bool running() {
        if (pid_ <= 0)
            return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            status_ = status;
            return false;
        }
        return true;
    }
    bool waitExit(int timeout_ms) {
        return waitFor([this] { return !running(); }, timeout_ms, 5);
    }
    int exitStatus() const { return status_; }

    // SIGTERM, then SIGKILL after timeout_ms.
    void terminate(int timeout_ms = 3000) {
        if (!running())
            return;
        kill(pid_, SIGTERM);
        if (!waitExit(timeout_ms) && pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status_, 0);
            pid_ = -1;
        }
    }

    bool writeLine(const std::string& line) {
        const std::string text = line + "\n";
        return in_ >= 0 && write(in_, text.data(), text.size()) == ssize_t(text.size());
    }
    std::optional<std::string> readLine(int timeout_ms) {
        return lineFrom(out_, outBuffer_, timeout_ms);
    }
    std::optional<std::string> readExtraLine(int timeout_ms) {
        return lineFrom(extra_, extraBuffer_, timeout_ms);
    }

private:
    static bool pipeHigh(int fds[2]) {
        // Descriptors above the standard ones and 3, so that no dup2 of the spawn is a no-op
        // that would leave the close-on-exec flag in place.
        int raw[2];
        if (pipe2(raw, O_CLOEXEC) != 0)
            return false;
        for (int i = 0; i < 2; ++i) {
            fds[i] = fcntl(raw[i], F_DUPFD_CLOEXEC, 10);
            close(raw[i]);
        }
        return fds[0] >= 0 && fds[1] >= 0;
    }
    static void closeFd(int& fd) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    static std::optional<std::string> lineFrom(int fd, std::string& buffer, int timeout_ms) {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            const size_t nl = buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (fd < 0 || left <= 0)
                return std::nullopt;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, int(left)) != 1)
                return std::nullopt;
            char chunk[256];
            const ssize_t n = read(fd, chunk, sizeof chunk);
            if (n <= 0)
                return std::nullopt;
            buffer.append(chunk, size_t(n));
        }
    }

    pid_t pid_ = -1;
    int status_ = -1;
    int in_ = -1, out_ = -1, extra_ = -1;
    std::string outBuffer_, extraBuffer_;
};

// Runs a program to its end (at most timeout_ms) and returns its standard output.
struct RunResult {
    bool exited = false;
    int status = -1;
    std::string out;
};
inline RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     int timeout_ms = 10000) {
    Child::Options options;
    options.env = env;
    options.pipeOut = true;
    Child child(argv, options);
    RunResult result;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (Clock::now() < end) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        std::optional<std::string> line = child.readLine(int(std::max<long>(left, 1)));
        if (!line)
            break;
        result.out += *line + "\n";
    }
    result.exited = child.waitExit(int(std::max<long>(
        1, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count())));
    result.status = child.exitStatus();
    return result;
}

// A top-level window as the X server lists it (x11_probe windows).
struct XWindow {
    unsigned long id = 0;
    bool viewable = false;
    int x = 0, y = 0, width = 0, height = 0;
    std::string netWmName, wmName;
    std::string states;          // _NET_WM_STATE, comma-separated (clients only)
    unsigned long transient = 0; // WM_TRANSIENT_FOR (clients only)
    bool hasState(const std::string& state) const {
        return ("," + states + ",").find("," + state + ",") != std::string::npos;
    }
};

// The windows in x11_probe's "windows" or "clients" output: one line each, tab-separated fields
// (id in hex, viewable, x, y, width, height, _NET_WM_NAME, WM_NAME; the clients' also
// _NET_WM_STATE and WM_TRANSIENT_FOR).
inline std::vector<XWindow> parseWindows(const std::string& out) {
    std::vector<XWindow> list;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        size_t from = 0;
        for (;;) {
            const size_t tab = line.find('\t', from);
            f.push_back(line.substr(from, tab - from));
            if (tab == std::string::npos)
                break;
            from = tab + 1;
        }
        if (f.size() != 8 && f.size() != 10)
            continue;
        XWindow w;
        w.id = std::strtoul(f[0].c_str(), nullptr, 16);
        w.viewable = f[1] == "1";
        w.x = std::atoi(f[2].c_str());
        w.y = std::atoi(f[3].c_str());
        w.width = std::atoi(f[4].c_str());
        w.height = std::atoi(f[5].c_str());
        w.netWmName = f[6];
        w.wmName = f[7];
        if (f.size() == 10) {
            w.states = f[8];
            w.transient = std::strtoul(f[9].c_str(), nullptr, 16);
        }
        list.push_back(w);
    }
    return list;
}

// Pixels, rows of 0xRRGGBB.
using Pixels = std::vector<std::vector<uint32_t>>;

// The probes' pixels: one row a line, "rrggbb" each.
inline Pixels parsePixels(const std::string& text) {
    Pixels rows;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string word;
        rows.emplace_back();
        while (words >> word)
            rows.back().push_back(uint32_t(std::strtoul(word.c_str(), nullptr, 16)));
    }
    return rows;
}

// One of the panel's blues, which none of the dashboard's colours is.
inline bool panelBlue(uint32_t p) {
    const int r = int(p >> 16), g = int((p >> 8) & 255), b = int(p & 255);
    return b >= 80 && b >= r + 60 && b >= g + 30;
}

// The columns of a window where the screen does not show what it drew (own: its own content;
// empty where the window system does not give it), below its first fromRow rows: fewer than nine
// in ten of its pixels within the 200/255 blend of its own, or, without its own, fewer than half
// of them the panel's blue in it and in the columns up to two away (the panel's dark outlines are
// a pixel wide). -1: pixels missing; -2: what it drew is not mostly the panel's blue.
inline std::vector<int> notDrawn(const Pixels& own, const Pixels& screen, int width, int height,
                                 int fromRow) {
    const bool withOwn = !own.empty();
    if (screen.size() != size_t(height) || (withOwn && own.size() != screen.size()))
        return {-1};
    for (int y = 0; y < height; ++y)
        if (screen[y].size() != size_t(width) || (withOwn && own[y].size() != size_t(width)))
            return {-1};
    std::vector<int> bad;
    const int rows = height - fromRow;
    if (!withOwn) {
        std::vector<bool> mostlyBlue(static_cast<size_t>(width), false);
        for (int x = 0; x < width; ++x) {
            int blue = 0;
            for (int y = fromRow; y < height; ++y)
                blue += panelBlue(screen[y][x]) ? 1 : 0;
            mostlyBlue[size_t(x)] = blue * 2 >= rows;
        }
        for (int x = 0; x < width; ++x)
            if (std::none_of(mostlyBlue.begin() + std::max(0, x - 2),
                             mostlyBlue.begin() + std::min(width, x + 3), [](bool b) { return b; }))
                bad.push_back(x);
        return bad;
    }
    int blue = 0;
    for (int x = 0; x < width; ++x) {
        int shown = 0;
        for (int y = fromRow; y < height; ++y) {
            const uint32_t a = own[y][x], b = screen[y][x];
            int diff = 0;
            for (int shift : {0, 8, 16})
                diff = std::max(diff, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
            shown += diff <= 64 ? 1 : 0;
            blue += panelBlue(a) ? 1 : 0;
        }
        if (shown * 10 < rows * 9)
            bad.push_back(x);
    }
    if (blue * 2 < width * rows)
        bad.push_back(-2);
    return bad;
}

// One 4-byte frame as the robot received it.
using Frame = std::array<uint8_t, 4>;

inline std::string hex(const Frame& f) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", f[0], f[1], f[2], f[3]);
    return text;
}

// The frames in the simulator's --log: the bytes of every "rx" line, in order, cut into
// 4-byte frames at their start bytes (the console sends nothing else).
inline std::vector<Frame> receivedFrames(const std::string& log) {
    std::vector<uint8_t> bytes;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find("] rx ");
        if (at == std::string::npos)
            continue;
        std::istringstream words(line.substr(at + 5));
        std::string word;
        while (words >> word)
            bytes.push_back(uint8_t(std::strtoul(word.c_str(), nullptr, 16)));
    }
    std::vector<Frame> frames;
    for (size_t i = 0; i + 4 <= bytes.size();) {
        if (bytes[i] == 0xFE || bytes[i] == 0xFC) {
            frames.push_back(Frame{bytes[i], bytes[i + 1], bytes[i + 2], bytes[i + 3]});
            i += 4;
        } else {
            ++i;
        }
    }
    return frames;
}

inline bool isDrive(const Frame& f) {
    return f[0] == 0xFE && (f[2] == 0xE7 || f[2] == 0xE8);
}
inline bool isStop(const Frame& f) {
    return f[0] == 0xFE && f[2] == 0xE9 && f[3] == 0xE9;
}
inline bool isPoll(const Frame& f, int left, int right) {
    return f[0] == 0xFC && f[2] == right && f[3] == left; // the right value comes first
}
inline bool isPoll(const Frame& f) {
    return f[0] == 0xFC;
}

} // namespace desktop
