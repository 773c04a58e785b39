// What the running console costs on the operator's machine: the real console binary under a real
// X server (Xvfb, Qt's xcb platform), against the simulated robot on a pty. Each run starts its
// own Xvfb, console and simulator, lets start-up settle and then measures a fixed window:
//
//   idle   console up, no port open, nothing moves
//   polled connected to a robot that answers each poll of the command cycle at once (about
//          20 frames/s, the frames closer together than the link's quiet gap)
//   10fps  connected, telemetry every 100 ms with a 60 ms gap between writes (a timed robot)
//   19fps  connected, telemetry every 52 ms with a 51 ms gap between writes
//   100fps connected, free-running telemetry every 10 ms, no gap: the line is never quiet
//   drag   connected to the polled robot while the left button holds the knob and the pointer
//          goes round a circle inside the pad at a steady rate (one long-lived xdotool reading
//          its commands from a pipe)
//   polled-unmapped  connected to the polled robot with the console's windows unmapped: every
//          value is still decoded and set, nothing is painted (the cost of all but the painting)
//   polled-rec, 100fps-rec  as polled and 100fps, with a recording of the link running (the
//          control under the readout pressed before connecting); after the window the robot is
//          held, the recording stopped, and its files set against what the robot wrote and what
//          the console counted: the cost of recording against not recording, in one run
//   led-flood  connected to a unit whose LEDs are never reported as asked (the line's telemetry
//          comes from another unit, every 100 ms), after one click on LED1: the cycle repeats
//          the LED command with its log line after every report. Also prints the CPU of the
//          window's first and last tenths and the memory at its start and end, so that a long
//          run shows whether the cost grows (run it alone with --only led-flood --seconds 600)
//
// Figures are differences of /proc readings at the window's start and end: CPU time on all
// threads from task/*/schedstat (ns; /proc/PID/stat's 10 ms ticks beside it as a check), context
// switches from task/*/status, VmRSS. Telemetry frames are the simulator's logged writes of whole
// telemetry frames during the window. With several consoles, the runs of each situation are
// interleaved (A B A B ...) so that the machine's noise falls on all of them alike.
//
//   desktop_bench [--seconds N] [--runs R] [--settle S] [--moves M]
//                 [--only idle,polled,10fps,19fps,100fps,drag,polled-unmapped,led-flood,
//                         polled-rec,100fps-rec]
//                 [--shot FILE.png]
//                 [CONSOLE [CONSOLE2 ...]]
//
// The figures print; nothing passes or fails on time.

#include <algorithm>

#include "protocol/frame_reader.h"
#include "recording/capture_format.h"
#include "tests/desktop/desktop_support.h"
#include "tests/support/sim_process.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace desktop;

// The shipped geometry of the windows, relative to the main window and the panel.
constexpr int kMainWidth = 1303, kMainHeight = 791;
constexpr int kPadCentreX = 149, kPadCentreY = 400;
constexpr int kKnobRestCentreX = 148, kKnobRestCentreY = 399;
constexpr int kPanelWide = 241, kPanelFolded = 20;
constexpr int kComboX = 126 + 40, kComboY = 34 + 10;    // the port box
constexpr int kConnectX = 24 + 50, kConnectY = 34 + 11; // "polacz"
// Inside the pad (its rim is 129 px from the centre), so the knob follows the pointer.
constexpr int kDragRadius = 80;
constexpr int kMovesPerTurn = 60;

const std::string kNoticeTitle = "OK";

// ------------------------------------------------------------------------ the window system

class Screen {
public:
    explicit Screen(std::string display) : display_(std::move(display)) {}

    std::vector<std::string> env() const {
        return environmentWith({"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "LC_ALL=C.UTF-8",
                                "XAUTHORITY", "WAYLAND_DISPLAY"});
    }
    const std::string& display() const { return display_; }

    bool xdo(const std::vector<std::string>& args) {
        std::vector<std::string> argv{ZELK_XDOTOOL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        const RunResult r = run(argv, env());
        if (!(r.exited && r.status == 0))
            std::fprintf(stderr, "xdotool %s failed\n", args.at(0).c_str());
        return r.exited && r.status == 0;
    }

    std::vector<XWindow> windows() {
        return parseWindows(run({ZELK_X11_PROBE_PATH, "windows"}, env()).out);
    }
    XWindow main() {
        for (const XWindow& w : windows())
            if (w.viewable && w.width == kMainWidth && w.height == kMainHeight)
                return w;
        return XWindow{};
    }
    XWindow panel() {
        const XWindow m = main();
        for (const XWindow& w : windows())
            if (w.viewable && w.id != m.id && w.height > 300 && w.height < 400 &&
                (w.width == kPanelFolded || w.width == kPanelWide))
                return w;
        return XWindow{};
    }
    std::optional<XWindow> box(const std::string& title) {
        for (const XWindow& w : windows())
            if (w.viewable && w.netWmName == title && w.width < 800)
                return w;
        return std::nullopt;
    }
    unsigned long focusWindow() {
        const RunResult r = run({ZELK_XDOTOOL_PATH, "getwindowfocus"}, env());
        return std::strtoul(r.out.c_str(), nullptr, 10);
    }
    std::string pointer() {
        const RunResult r = run({ZELK_XDOTOOL_PATH, "getmouselocation", "--shell"}, env());
        int x = -1, y = -1;
        std::istringstream lines(r.out);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("X=", 0) == 0)
                x = std::atoi(line.c_str() + 2);
            if (line.rfind("Y=", 0) == 0)
                y = std::atoi(line.c_str() + 2);
        }
        return std::to_string(x) + " " + std::to_string(y);
    }

    bool pointerTo(int x, int y) {
        return xdo({"mousemove", std::to_string(x), std::to_string(y)});
    }

    bool expandPanel() {
        for (int i = 0; i < 2 && panel().width != kPanelWide; ++i) {
            const XWindow p = panel();
            // Two positions on the strip, so that the server reports a motion.
            pointerTo(p.x + p.width - 8, p.y + 150);
            pointerTo(p.x + p.width - 6, p.y + 152);
            waitFor([&] { return panel().width == kPanelWide; }, 5000);
        }
        return panel().width == kPanelWide;
    }
    // The panel folds when the pointer moves over the main window's background.
    bool foldPanel() {
        const XWindow m = main();
        for (int i = 0; i < 2 && panel().width != kPanelFolded; ++i) {
            pointerTo(m.x + 700, m.y + 30);
            pointerTo(m.x + 702, m.y + 32);
            waitFor([&] { return panel().width == kPanelFolded; }, 5000);
        }
        return panel().width == kPanelFolded || fail("the panel did not fold");
    }
    bool clickPanel(int x, int y) {
        if (!expandPanel())
            return fail("the panel did not open");
        const XWindow p = panel();
        return pointerTo(p.x + x, p.y + y) && xdo({"click", "1"});
    }
    bool answerBox(const std::string& title, const std::string& key) {
        std::optional<XWindow> b;
        if (!waitFor([&] { return (b = box(title)).has_value(); }))
            return fail("no box titled \"" + title + "\"");
        if (!waitFor([&] { return focusWindow() == b->id; }))
            return fail("box without focus");
        xdo({"key", key});
        return waitFor([&] { return !box(title).has_value(); }) || fail("box still up");
    }
    // Types the simulator's link into the port box, connects, and dismisses the opened notice
    // with the keyboard.
    bool connectTyped(const std::string& link) {
        if (!clickPanel(kComboX, kComboY))
            return false;
        const unsigned long panelId = panel().id;
        if (!waitFor([&] { return focusWindow() == panelId; }))
            return fail("port box not focused");
        xdo({"key", "ctrl+a"});
        xdo({"type", "--delay", "15", link});
        return clickPanel(kConnectX, kConnectY) && answerBox(kNoticeTitle, "Return");
    }
    bool shot(const std::string& file) {
        return run({ZELK_X11_PROBE_PATH, "shot", file}, env()).status == 0;
    }

    static bool fail(const std::string& why) {
        std::fprintf(stderr, "  %s\n", why.c_str());
        return false;
    }

private:
    std::string display_;
};

// ------------------------------------------------------------------------ /proc readings

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

long statusField(const std::string& status, const std::string& name) {
    const size_t at = status.find("\n" + name + ":");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + name.size() + 2);
}

struct ThreadReading {
    std::string comm;
    uint64_t cpuNs = 0;
    uint64_t voluntary = 0, involuntary = 0;
};

struct ProcReading {
    std::map<int, ThreadReading> threads;
    uint64_t ticks = 0; // utime + stime of the whole process, dead threads included
    long rssKb = -1;
};

ProcReading readProc(pid_t pid) {
    ProcReading r;
    const std::string base = "/proc/" + std::to_string(pid);
    const std::string stat = readFile(base + "/stat");
    const size_t close = stat.rfind(')');
    if (close != std::string::npos) {
        // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
        std::istringstream fields(stat.substr(close + 2));
        std::string f;
        for (int i = 3; i <= 15 && fields >> f; ++i)
            if (i == 14 || i == 15)
                r.ticks += std::strtoull(f.c_str(), nullptr, 10);
    }
    r.rssKb = statusField(readFile(base + "/status"), "VmRSS");
    if (DIR* dir = opendir((base + "/task").c_str())) {
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] < '0' || e->d_name[0] > '9')
                continue;
            const std::string task = base + "/task/" + e->d_name;
            ThreadReading t;
            t.comm = readFile(task + "/comm");
            if (!t.comm.empty() && t.comm.back() == '\n')
                t.comm.pop_back();
            t.cpuNs = std::strtoull(readFile(task + "/schedstat").c_str(), nullptr, 10);
            const std::string status = readFile(task + "/status");
            const long v = statusField(status, "voluntary_ctxt_switches");
            const long n = statusField(status, "nonvoluntary_ctxt_switches");
            if (v < 0 || n < 0)
                continue; // ended while being read
            t.voluntary = uint64_t(v);
            t.involuntary = uint64_t(n);
            r.threads[std::atoi(e->d_name)] = t;
        }
        closedir(dir);
    }
    return r;
}

// The window's share of each thread's readings. A thread born during the window counts from
// zero; one that ended during it is gone from /proc by the end and its part is lost (its CPU
// time still shows in the process's ticks). The births and ends are counted so the output says
// how far this goes.
struct ProcDelta {
    uint64_t cpuNs = 0, voluntary = 0, involuntary = 0;
    std::map<std::string, uint64_t> switchesByName;
    std::map<std::string, uint64_t> cpuNsByName;
    std::map<std::string, int> threadsByName;
    int born = 0, ended = 0;
    uint64_t ticks = 0;
};

ProcDelta delta(pid_t pid, const ProcReading& a, const ProcReading& b) {
    ProcDelta d;
    for (const auto& [tid, end] : b.threads) {
        // Other threads may carry the program's name too (a std::thread keeps it).
        const std::string name = tid == pid ? end.comm + " [main]" : end.comm;
        ThreadReading start;
        const auto was = a.threads.find(tid);
        if (was != a.threads.end())
            start = was->second;
        else
            ++d.born;
        d.cpuNs += end.cpuNs - start.cpuNs;
        d.voluntary += end.voluntary - start.voluntary;
        d.involuntary += end.involuntary - start.involuntary;
        d.switchesByName[name] +=
            end.voluntary - start.voluntary + end.involuntary - start.involuntary;
        d.cpuNsByName[name] += end.cpuNs - start.cpuNs;
        d.threadsByName[name] += 1;
    }
    for (const auto& [tid, start] : a.threads)
        d.ended += b.threads.count(tid) ? 0 : 1;
    d.ticks = b.ticks - a.ticks;
    return d;
}

double loadAverage() {
    return std::atof(readFile("/proc/loadavg").c_str());
}

// Busy and total jiffies of all cores, from the first line of /proc/stat.
std::pair<uint64_t, uint64_t> machineJiffies() {
    std::istringstream fields(readFile("/proc/stat"));
    std::string cpu;
    fields >> cpu;
    uint64_t all = 0, idle = 0, v = 0;
    for (int i = 0; i < 8 && fields >> v; ++i) {
        all += v;
        if (i == 3 || i == 4) // idle, iowait
            idle += v;
    }
    return {all - idle, all};
}

// ------------------------------------------------------------------------ the simulator's log

// Whole telemetry frames the simulator wrote: "tx FC <address> E5 ..." lines of 16 bytes.
// With sinceUs, only those written from that moment on the monotonic clock (in microseconds):
// the log's times count from the clock's value it gives at its start.
long telemetrySent(const std::string& log, std::optional<int64_t> sinceUs = std::nullopt) {
    const size_t clock = log.find("monotonic clock at start: ");
    const double startUs =
        clock == std::string::npos ? 0 : std::atof(log.c_str() + clock + 26) * 1e6;
    long n = 0;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t at = line.find("] tx FC ");
        if (at == std::string::npos)
            continue;
        if (sinceUs && startUs + std::atof(line.c_str() + 1) * 1e6 < double(*sinceUs))
            continue;
        std::istringstream words(line.substr(at + 5));
        std::vector<std::string> bytes;
        std::string w;
        while (words >> w)
            bytes.push_back(w);
        n += bytes.size() == 16 && bytes[2] == "E5" ? 1 : 0;
    }
    return n;
}

long driveFrames(const std::string& log) {
    long n = 0;
    for (const Frame& f : receivedFrames(log))
        n += isDrive(f) ? 1 : 0;
    return n;
}

// ------------------------------------------------------------------------ the drag

// Moves the pointer round a circle in the pad at a steady rate from one xdotool process that
// reads its commands from a pipe, so that no process is started per move.
class Drag {
public:
    Drag(Screen& screen, int movesPerSecond) : rate_(movesPerSecond) {
        const XWindow m = screen.main();
        cx_ = m.x + kPadCentreX;
        cy_ = m.y + kPadCentreY;
        Child::Options options;
        options.env = screen.env();
        options.pipeIn = true;
        xdotool_ =
            std::make_unique<Child>(std::vector<std::string>{ZELK_XDOTOOL_PATH, "-"}, options);
        xdotool_->writeLine("mousemove " + std::to_string(m.x + kKnobRestCentreX) + " " +
                            std::to_string(m.y + kKnobRestCentreY));
        xdotool_->writeLine("mousedown 1");
        mover_ = std::thread([this] { move(); });
    }
    ~Drag() { release(); }

    long moves() const { return moves_.load(); }
    // Where the last move sent the pointer, as xdotool getmouselocation prints it.
    std::string last() const {
        std::lock_guard<std::mutex> lock(lastMutex_);
        return last_;
    }

    void stopMoving() {
        stop_ = true;
        if (mover_.joinable())
            mover_.join();
    }
    void release() {
        stopMoving();
        if (xdotool_) {
            xdotool_->writeLine("mouseup 1");
            // Time for xdotool to act on the release before it is ended.
            xdotool_->waitExit(300);
            xdotool_.reset();
        }
    }

private:
    void move() {
        const auto step = std::chrono::nanoseconds(1000000000LL / std::max(rate_, 1));
        Clock::time_point next = Clock::now();
        for (long i = 0; !stop_; ++i) {
            const double a = 2 * M_PI * double(i % kMovesPerTurn) / kMovesPerTurn;
            const int x = cx_ + int(std::lround(kDragRadius * std::cos(a)));
            const int y = cy_ + int(std::lround(kDragRadius * std::sin(a)));
            if (!xdotool_->writeLine("mousemove " + std::to_string(x) + " " + std::to_string(y)))
                break;
            {
                std::lock_guard<std::mutex> lock(lastMutex_);
                last_ = std::to_string(x) + " " + std::to_string(y);
            }
            ++moves_;
            next += step; // an absolute beat: a late move does not shift the ones after it
            std::this_thread::sleep_until(next);
        }
    }

    int rate_;
    int cx_ = 0, cy_ = 0;
    std::unique_ptr<Child> xdotool_;
    std::thread mover_;
    std::atomic<bool> stop_{false};
    std::atomic<long> moves_{0};
    mutable std::mutex lastMutex_;
    std::string last_;
};

// ------------------------------------------------------------------------ one run

struct Situation {
    std::string name;
    std::string what;
    bool connected;
    std::vector<std::string> simArgs;
    bool drag;
    // The console's windows are unmapped once connected: it still decodes and updates every
    // control, but nothing is painted, which shows what the rest of its work costs.
    bool unmapped = false;
    // One click on LED1 once connected, which a unit that never reports it answers with nothing.
    bool ledClick = false;
    // A recording of the link runs from before the connection to the window's end.
    bool record = false;
};

const std::vector<Situation> kSituations = {
    {"idle", "console up, no port open, nothing moves", false, {}, false},
    {"polled", "connected, the robot answering each poll at once", true, {}, false},
    {"10fps",
     "connected, telemetry every 100 ms, gap 60 ms",
     true,
     {"--period", "100", "--gap", "60"},
     false},
    {"19fps", "connected, telemetry every 52 ms", true, {"--period", "52", "--gap", "51"}, false},
    {"100fps", "connected, telemetry every 10 ms, no gap", true, {"--period", "10"}, false},
    {"drag", "connected to the polled robot, knob dragged round the pad", true, {}, true},
    {"polled-unmapped",
     "connected to the polled robot, windows unmapped, nothing painted",
     true,
     {},
     false,
     true},
    {"led-flood",
     "connected, LED1 asked for and never reported: the LED command after every report",
     true,
     {"--units", "7,253", "--telemetry-from", "7", "--period", "100"},
     false,
     false,
     true},
    {"polled-rec", "as polled, recording", true, {}, false, false, false, true},
    {"100fps-rec", "as 100fps, recording", true, {"--period", "10"}, false, false, false, true},
};

constexpr int kRecordX = 986 + 25, kRecordY = 746 + 10; // the recording control's button

// What a recording holds: its capture's whole telemetry frames and lost items, its CSV's rows.
struct RecordingCounts {
    bool ended = false;
    long telemetry = 0, lost = 0, rows = 0;
    std::optional<int64_t> openedAtUs; // the port opened, on the monotonic clock
};

RecordingCounts countRecording(const std::string& folder) {
    RecordingCounts c;
    std::string capturePath, csvPath;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            const std::string path = folder + "/" + name;
            if (name.size() > 8 && name.compare(name.size() - 8, 8, ".capture") == 0)
                capturePath = path;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".csv") == 0)
                csvPath = path;
        }
        closedir(dir);
    }
    std::ifstream in(capturePath);
    CaptureError error;
    const std::optional<Capture> capture = readCapture(in, error);
    if (!capture)
        return c;
    c.ended = capture->ended;
    FrameReader frames;
    for (const CaptureLine& line : capture->lines) {
        c.lost += line.kind == CaptureKind::Lost ? long(line.count) : 0;
        if (line.kind == CaptureKind::Open)
            c.openedAtUs = capture->header.monotonicUs + line.timeUs;
        if (line.kind != CaptureKind::Rx)
            continue;
        frames.read(line.bytes.data(), int(line.bytes.size()));
        while (const auto item = frames.next())
            c.telemetry += item->kind == ReplyKind::Telemetry ? 1 : 0;
    }
    std::ifstream csv(csvPath);
    std::string row;
    while (std::getline(csv, row))
        ++c.rows;
    c.rows -= c.rows > 0 ? 1 : 0; // the header
    return c;
}

// The telemetry frames the console says it accepted, from its summary on standard error.
long consoleCounted(const std::string& log) {
    const size_t at = log.rfind(" telemetry frames and ");
    if (at == std::string::npos)
        return -1;
    const size_t from = log.rfind(' ', at - 1);
    return std::atol(log.c_str() + from + 1);
}

struct Options {
    int seconds = 60;
    int runs = 3;
    int settle = 3;
    int moves = 40;
    std::vector<std::string> only;
    std::vector<std::string> consoles;
    std::string shot;
};

// Figures of one run, in the order they print.
using Figures = std::vector<std::pair<std::string, double>>;

std::string tmpPath(const std::string& what) {
    return "/tmp/zelk-desktop-bench-" + std::to_string(getpid()) + "-" + what;
}

std::string laterShot(const std::string& file) {
    const size_t dot = file.rfind('.');
    return dot == std::string::npos ? file + "-later"
                                    : file.substr(0, dot) + "-later" + file.substr(dot);
}

std::optional<Figures> runOnce(const Situation& s, const std::string& console,
                               const Options& options, bool takeShot) {
    Child::Options xo;
    xo.extraFd = true;
    xo.errFile = tmpPath("xvfb.log");
    Child xvfb({ZELK_XVFB_PATH, "-displayfd", "3", "-screen", "0", "1600x1000x24", "-nolisten",
                "tcp", "-noreset"},
               xo);
    const std::optional<std::string> number = xvfb.readExtraLine(kWaitMs);
    if (!xvfb.started() || !number) {
        Screen::fail("Xvfb did not start");
        return std::nullopt;
    }
    Screen screen(":" + *number);

    std::unique_ptr<SimProcess> sim;
    const std::string link = tmpPath("robot");
    if (s.connected) {
        std::vector<std::string> args{"--log", "--link", link};
        args.insert(args.end(), s.simArgs.begin(), s.simArgs.end());
        sim = std::make_unique<SimProcess>(args);
        if (sim->path().empty()) {
            Screen::fail("the simulator did not start");
            return std::nullopt;
        }
    }

    Child::Options co;
    co.env = screen.env();
    // Every run's recordings, if any, in a folder of its own.
    const std::string data = tmpPath("data");
    co.env.push_back("XDG_DATA_HOME=" + data);
    co.errFile = tmpPath("console.log");
    auto app = std::make_unique<Child>(std::vector<std::string>{console}, co);
    if (!app->started() ||
        !waitFor([&] { return screen.main().viewable && screen.panel().viewable; })) {
        Screen::fail("the console's windows did not appear");
        return std::nullopt;
    }
    if (s.record) {
        const XWindow m = screen.main();
        screen.pointerTo(m.x + kRecordX, m.y + kRecordY);
        if (!screen.xdo({"click", "1"}))
            return std::nullopt;
    }
    if (s.connected) {
        if (!screen.connectTyped(link))
            return std::nullopt;
        if (!waitFor([&] { return !receivedFrames(sim->log()).empty(); })) {
            Screen::fail("nothing reached the robot");
            return std::nullopt;
        }
    }
    // The panel folded as the operator leaves it, the pointer away from the windows.
    if (s.connected && !screen.foldPanel())
        return std::nullopt;
    screen.pointerTo(1590, 990);
    if (s.unmapped) {
        const XWindow windows[] = {screen.main(), screen.panel()};
        for (const XWindow& w : windows)
            if (w.id == 0 || !screen.xdo({"windowunmap", std::to_string(w.id)}))
                return std::nullopt;
        if (!waitFor([&] { return !screen.main().viewable && !screen.panel().viewable; })) {
            Screen::fail("the console's windows stayed mapped");
            return std::nullopt;
        }
    }
    if (s.ledClick) {
        const XWindow m = screen.main();
        screen.pointerTo(m.x + 538 + 15, m.y + 348 + 15); // LED1's circle
        if (!screen.xdo({"click", "1"}))
            return std::nullopt;
        screen.pointerTo(1590, 990);
    }
    std::unique_ptr<Drag> drag;
    if (s.drag)
        drag = std::make_unique<Drag>(screen, options.moves);
    std::this_thread::sleep_for(std::chrono::seconds(options.settle));

    // The measured window.
    const pid_t pid = app->pid();
    const long moves0 = drag ? drag->moves() : 0;
    const std::string log0 = sim ? sim->log() : std::string();
    const auto machine0 = machineJiffies();
    const ProcReading c0 = readProc(pid), x0 = readProc(xvfb.pid());
    const Clock::time_point t0 = Clock::now();
    ProcReading firstTenth, lastTenth;
    if (takeShot) {
        std::this_thread::sleep_for(std::chrono::seconds(options.seconds) / 2);
        screen.shot(options.shot);
        // A second one a little later shows whether the knob and the dashboard move.
        std::this_thread::sleep_for(std::chrono::milliseconds(370));
        screen.shot(laterShot(options.shot));
        std::this_thread::sleep_until(t0 + std::chrono::seconds(options.seconds));
    } else if (s.ledClick) {
        // The first and the last tenth of the window apart, to compare.
        const auto tenth = std::chrono::milliseconds(options.seconds * 100);
        std::this_thread::sleep_until(t0 + tenth);
        firstTenth = readProc(pid);
        std::this_thread::sleep_until(t0 + std::chrono::seconds(options.seconds) - tenth);
        lastTenth = readProc(pid);
        std::this_thread::sleep_until(t0 + std::chrono::seconds(options.seconds));
    } else {
        std::this_thread::sleep_for(std::chrono::seconds(options.seconds));
    }
    const ProcReading c1 = readProc(pid), x1 = readProc(xvfb.pid());
    const Clock::time_point t1 = Clock::now();
    const auto machine1 = machineJiffies();
    const std::string log1 = sim ? sim->log() : std::string();
    const long moves1 = drag ? drag->moves() : 0;
    std::string lastMove, pointerAtEnd;
    if (drag) {
        drag->stopMoving();
        lastMove = drag->last();
        pointerAtEnd = screen.pointer();
        drag->release();
    }
    if (!app->running()) {
        Screen::fail("the console ended during the window");
        return std::nullopt;
    }
    std::optional<RecordingCounts> recorded;
    std::string robotLog;
    long robotFlushes = 0;
    if (s.record) {
        // The robot held, so that the console has read all it wrote; the recording stopped.
        kill(sim->pid(), SIGSTOP);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        robotLog = sim->log();
        for (size_t at = 0;
             (at = robotLog.find("nobody reads the line any more", at)) != std::string::npos; ++at)
            ++robotFlushes;
        const XWindow m = screen.main();
        screen.pointerTo(m.x + kRecordX, m.y + kRecordY);
        screen.xdo({"click", "1"});
        const std::string folder = data + "/ZELK controll";
        if (waitFor([&] { return countRecording(folder).ended; }))
            recorded = countRecording(folder);
        else
            Screen::fail("the recording did not end");
    }

    const double seconds = std::chrono::duration<double>(t1 - t0).count();
    const double tick = double(sysconf(_SC_CLK_TCK));
    const ProcDelta c = delta(pid, c0, c1), x = delta(xvfb.pid(), x0, x1);
    Figures f;
    f.emplace_back("console cpu % of one core (schedstat)", double(c.cpuNs) / 1e7 / seconds);
    f.emplace_back("console cpu % of one core (stat ticks)",
                   double(c.ticks) / tick * 100 / seconds);
    f.emplace_back("Xvfb cpu % of one core (schedstat)", double(x.cpuNs) / 1e7 / seconds);
    f.emplace_back("Xvfb cpu % of one core (stat ticks)", double(x.ticks) / tick * 100 / seconds);
    if (sim) {
        const long frames = telemetrySent(log1) - telemetrySent(log0);
        f.emplace_back("telemetry frames sent per s", double(frames) / seconds);
        if (frames > 0) {
            f.emplace_back("console cpu us per telemetry frame", double(c.cpuNs) / 1e3 / frames);
            f.emplace_back("Xvfb cpu us per telemetry frame", double(x.cpuNs) / 1e3 / frames);
        }
    }
    if (drag) {
        f.emplace_back("pointer moves per s", double(moves1 - moves0) / seconds);
        f.emplace_back("drive frames received per s (two a pair)",
                       double(driveFrames(log1) - driveFrames(log0)) / seconds);
        f.emplace_back("pointer at the last move at the end (1 yes, 0 lagging)",
                       lastMove == pointerAtEnd ? 1 : 0);
    }
    if (s.ledClick && !takeShot) {
        const double tenthSeconds = seconds / 10;
        f.emplace_back("console cpu % of one core, first tenth of the window",
                       double(delta(pid, c0, firstTenth).cpuNs) / 1e7 / tenthSeconds);
        f.emplace_back("console cpu % of one core, last tenth of the window",
                       double(delta(pid, lastTenth, c1).cpuNs) / 1e7 / tenthSeconds);
        f.emplace_back("console VmRSS kB after the first tenth", double(firstTenth.rssKb));
        f.emplace_back("console VmRSS kB at the last tenth's start", double(lastTenth.rssKb));
    }
    f.emplace_back("console wakeups per s (all threads)",
                   double(c.voluntary + c.involuntary) / seconds);
    f.emplace_back("console voluntary switches per s", double(c.voluntary) / seconds);
    for (const auto& [name, n] : c.switchesByName) {
        const int threads = c.threadsByName.at(name);
        f.emplace_back("console wakeups per s, thread " + name +
                           (threads > 1 ? " (" + std::to_string(threads) + " threads)" : ""),
                       double(n) / seconds);
    }
    // Which thread pays: the GUI thread's painting and ticks, or the serial worker's wake-ups.
    for (const auto& [name, ns] : c.cpuNsByName) {
        const int threads = c.threadsByName.at(name);
        f.emplace_back("console cpu % of one core, thread " + name +
                           (threads > 1 ? " (" + std::to_string(threads) + " threads)" : ""),
                       double(ns) / 1e9 * 100 / seconds);
    }
    f.emplace_back("console threads at the end", double(c1.threads.size()));
    f.emplace_back("console threads born in the window", c.born);
    f.emplace_back("console threads ended in the window", c.ended);
    f.emplace_back("console VmRSS kB at the start", double(c0.rssKb));
    f.emplace_back("console VmRSS kB at the end", double(c1.rssKb));
    const double busy = double(machine1.first - machine0.first);
    const double all = double(machine1.second - machine0.second);
    f.emplace_back("machine busy % of all cores", all > 0 ? busy * 100 / all : 0);

    app.reset(); // its summary of the connection comes as it closes
    if (recorded) {
        // A robot on its own beat writes before the console opens the port too.
        f.emplace_back("recording: telemetry frames the robot wrote",
                       double(telemetrySent(robotLog)));
        f.emplace_back("recording: telemetry frames the robot wrote once the port was open",
                       double(telemetrySent(robotLog, recorded->openedAtUs)));
        f.emplace_back("recording: times the robot dropped what waited unread",
                       double(robotFlushes));
        f.emplace_back("recording: telemetry frames in the capture", double(recorded->telemetry));
        f.emplace_back("recording: rows in the CSV", double(recorded->rows));
        f.emplace_back("recording: telemetry frames the console counted",
                       double(consoleCounted(readFile(tmpPath("console.log")))));
        f.emplace_back("recording: items lost", double(recorded->lost));
    }
    if (sim)
        kill(sim->pid(), SIGCONT);
    sim.reset();
    run({"/bin/rm", "-rf", data}, {});
    xvfb.terminate();
    unlink(tmpPath("xvfb.log").c_str());
    unlink(tmpPath("console.log").c_str());
    return f;
}

// ------------------------------------------------------------------------ summary

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string label(size_t i) {
    return std::string(1, char('A' + i));
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(v) >= 100 ? "%.0f" : "%.2f", v);
    return text;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--seconds" && more)
            o.seconds = std::atoi(argv[++i]);
        else if (a == "--runs" && more)
            o.runs = std::atoi(argv[++i]);
        else if (a == "--settle" && more)
            o.settle = std::atoi(argv[++i]);
        else if (a == "--moves" && more)
            o.moves = std::atoi(argv[++i]);
        else if (a == "--shot" && more)
            o.shot = argv[++i];
        else if (a == "--only" && more) {
            std::istringstream list(argv[++i]);
            std::string name;
            while (std::getline(list, name, ','))
                o.only.push_back(name);
        } else if (a.rfind("--", 0) == 0)
            return false;
        else
            o.consoles.push_back(a);
    }
    for (const std::string& name : o.only)
        if (std::none_of(kSituations.begin(), kSituations.end(),
                         [&](const Situation& s) { return s.name == name; }))
            return false;
    if (o.consoles.empty())
        o.consoles.push_back(ZELK_CONSOLE_PATH);
    return o.seconds > 0 && o.runs > 0 && o.settle >= 0 && o.moves > 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(
            stderr,
            "usage: %s [--seconds N (60)] [--runs R (3)] [--settle S (3)] [--moves M "
            "(40 per s)] [--only idle,polled,10fps,19fps,100fps,drag,polled-unmapped,led-flood,"
            "polled-rec,100fps-rec] "
            "[--shot FILE.png "
            "(during the first drag run)] [CONSOLE ...]\n",
            argv[0]);
        return 2;
    }
    if (std::string(ZELK_X11_PROBE_PATH).empty()) {
        std::fprintf(stderr, "x11_probe was not built (it comes with the desktop tests)\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("desktop_bench: %d s windows after %d s of settling, %d run(s) per console\n",
                o.seconds, o.settle, o.runs);
    std::printf("machine: %ld cores, load average at start %.2f (a shared, noisy box: compare "
                "interleaved runs, not separate invocations)\n",
                sysconf(_SC_NPROCESSORS_ONLN), loadAverage());
    for (size_t i = 0; i < o.consoles.size(); ++i)
        std::printf("console %s = %s\n", label(i).c_str(), o.consoles[i].c_str());

    bool shotTaken = o.shot.empty();
    int failures = 0;
    for (const Situation& s : kSituations) {
        if (!o.only.empty() && std::find(o.only.begin(), o.only.end(), s.name) == o.only.end())
            continue;
        // Per console: the figures' names in order and their values over the runs.
        std::vector<std::vector<std::string>> names(o.consoles.size());
        std::vector<std::map<std::string, std::vector<double>>> values(o.consoles.size());
        std::printf("\n== %s: %s\n", s.name.c_str(), s.what.c_str());
        for (int r = 0; r < o.runs; ++r) {
            for (size_t i = 0; i < o.consoles.size(); ++i) {
                const double load = loadAverage();
                const bool shot = s.drag && !shotTaken;
                const std::optional<Figures> f = runOnce(s, o.consoles[i], o, shot);
                if (!f) {
                    std::printf("%s run %d %s: failed\n", s.name.c_str(), r + 1, label(i).c_str());
                    ++failures;
                    continue;
                }
                shotTaken = shotTaken || shot;
                for (const auto& [name, v] : *f) {
                    if (!values[i].count(name))
                        names[i].push_back(name);
                    values[i][name].push_back(v);
                }
                std::printf("%s run %d %s: console %s %%, Xvfb %s %%, %s wakeups/s, load %.2f, "
                            "machine busy %s %%\n",
                            s.name.c_str(), r + 1, label(i).c_str(),
                            number(f->at(0).second).c_str(), number(f->at(2).second).c_str(),
                            number(values[i]["console wakeups per s (all threads)"].back()).c_str(),
                            load, number(f->back().second).c_str());
            }
        }
        for (size_t i = 0; i < o.consoles.size(); ++i) {
            for (const std::string& name : names[i]) {
                const std::vector<double>& v = values[i][name];
                const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
                std::printf("%s %s %s: median %s (%s..%s over %zu run(s))\n", s.name.c_str(),
                            label(i).c_str(), name.c_str(), number(median(v)).c_str(),
                            number(*lo).c_str(), number(*hi).c_str(), v.size());
            }
        }
        for (size_t i = 1; i < o.consoles.size(); ++i) {
            for (const std::string& name : names[i]) {
                if (!values[0].count(name))
                    continue;
                const double old = median(values[0][name]);
                const double now = median(values[i][name]);
                if (old != 0)
                    std::printf("%s %s/A %s: ratio %.2f\n", s.name.c_str(), label(i).c_str(),
                                name.c_str(), now / old);
            }
        }
    }
    std::printf("\nload average at the end %.2f\n", loadAverage());
    if (!o.shot.empty())
        std::printf("screenshots during the drag: %s\n",
                    shotTaken ? (o.shot + ", 0.37 s later " + laterShot(o.shot)).c_str()
                              : "not taken (no drag run)");
    return failures ? 1 : 0;
}
