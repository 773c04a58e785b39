// zelk_robot_sim: the simulated ZELK robot on a pseudo-terminal.
//
// The first line on stdout is
//   ZELK robot simulator on DEVICE (type this into the console's port box and press "polacz")
// where DEVICE is the text after the fixed prefix "ZELK robot simulator on " up to the next
// space (FirstLinePrefix and devicePathFromFirstLine in tools/sim/options.h). Everything else
// goes to stderr.
//
// One thread, one poll() loop on the monotonic clock: it reads the console's frames from the
// master side, lets the units act on them, advances the robot model in fixed 10 ms steps, and
// writes the output queue one piece at a time, at least the gap apart (or, during a flood,
// random bytes at the line's rate, with the gap before and after it). By default the unit
// answers as a real one does: a telemetry frame for each drive-and-poll frame addressed to it
// and a reply for each query, at once. With --period it sends telemetry on its own beat instead,
// and the drive-and-poll frame only sets the drive values.
//
// With --replay it plays a link capture back instead (tools/sim/replay.h): the robot's side of
// it written with its original timing, and what the console sends only logged.

#include "tools/sim/frame_parser.h"
#include "tools/sim/line_faults.h"
#include "tools/sim/line_watch.h"
#include "tools/sim/options.h"
#include "tools/sim/output_queue.h"
#include "tools/sim/replay.h"
#include "tools/sim/robot_model.h"
#include "tools/sim/telemetry.h"
#include "tools/sim/unit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = SimClock;

constexpr auto ModelStep = 10ms;
constexpr auto PartialFrameTimeout = 100ms; // quiet time after which an incomplete frame is
                                            // given up
constexpr auto HangUpRetry = 100ms;         // master reported a hang-up: look again after this
constexpr auto CheckAfterWrite = 25ms;      // input-queue check after a write, before the next
constexpr auto CheckInterval = 500ms;
constexpr auto FloodStep = 5ms; // a flood writes what is due this often

int signalPipe[2] = {-1, -1};

void onSignal(int sig) {
    const uint8_t number = static_cast<uint8_t>(sig);
    const int saved = errno;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &number, 1);
    errno = saved;
}

bool installSignals() {
    if (pipe(signalPipe) != 0) {
        return false;
    }
    for (int fd : signalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigaction(sig, &action, nullptr) != 0) {
            return false;
        }
    }
    signal(SIGPIPE, SIG_IGN);
    return true;
}

Clock::time_point startTime;

void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const char* format, ...) {
    const double seconds = std::chrono::duration<double>(Clock::now() - startTime).count();
    std::fprintf(stderr, "[%9.3f] ", seconds);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
}

std::string hex(const uint8_t* data, size_t count) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", data[i]);
        text += byte;
    }
    return text;
}

bool makeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

struct Line {
    int master = -1;
    int ownSlave = -1; // keeps the terminal alive while the console closes and reopens the port
    std::string devicePath;
};

bool openLine(Line& line) {
    line.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (line.master < 0) {
        logLine("cannot open a pseudo-terminal: %s", std::strerror(errno));
        return false;
    }
    if (grantpt(line.master) != 0 || unlockpt(line.master) != 0) {
        logLine("cannot unlock the pseudo-terminal: %s", std::strerror(errno));
        return false;
    }
    const char* name = ptsname(line.master);
    if (name == nullptr) {
        logLine("cannot name the pseudo-terminal: %s", std::strerror(errno));
        return false;
    }
    line.devicePath = name;
    fcntl(line.master, F_SETFL, fcntl(line.master, F_GETFL) | O_NONBLOCK);
    fcntl(line.master, F_SETFD, FD_CLOEXEC);
    if (!makeRaw(line.master)) {
        logLine("cannot set the master raw: %s", std::strerror(errno));
        return false;
    }
    line.ownSlave = open(line.devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (line.ownSlave < 0) {
        // Still usable: a hang-up on the master is then handled by looking again later.
        logLine("warning: cannot hold %s open (%s); the master will see hang-ups",
                line.devicePath.c_str(), std::strerror(errno));
    } else if (!makeRaw(line.ownSlave)) {
        // Until the console sets its own line mode, no echo and no character translation.
        logLine("warning: cannot set %s raw: %s", line.devicePath.c_str(), std::strerror(errno));
    }
    return true;
}

void closeLine(Line& line) {
    if (line.ownSlave >= 0) {
        close(line.ownSlave);
        line.ownSlave = -1;
    }
    if (line.master >= 0) {
        close(line.master);
        line.master = -1;
    }
}

// A symbolic link at path to the device. An existing symbolic link is replaced; anything else
// at path is left alone and refused.
bool makeLink(const std::string& path, const std::string& target) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            logLine("--link %s: something that is no symbolic link is there; not replacing it",
                    path.c_str());
            return false;
        }
        if (unlink(path.c_str()) != 0) {
            logLine("--link %s: cannot remove the old link: %s", path.c_str(),
                    std::strerror(errno));
            return false;
        }
    }
    if (symlink(target.c_str(), path.c_str()) != 0) {
        logLine("--link %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

// Removes the link only while it still points to this simulator's device.
void removeLink(const std::string& path, const std::string& target) {
    if (path.empty()) {
        return;
    }
    char buffer[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    if (n >= 0 && std::string(buffer, static_cast<size_t>(n)) == target) {
        unlink(path.c_str());
    }
}

enum class WriteResult { Done, LineFull, Failed };

// Writes all of bytes to the non-blocking master. A write that the line does not take at all is
// dropped (nobody reads and the device's queue is full); a partly taken one is completed within
// a short wait.
WriteResult writePiece(int fd, const Bytes& bytes) {
    size_t done = 0;
    const auto deadline = Clock::now() + 20ms;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            if (done == 0) {
                return WriteResult::LineFull;
            }
            const auto left = deadline - Clock::now();
            if (left <= 0ms) {
                return WriteResult::Failed;
            }
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1,
                 static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
            continue;
        }
        return WriteResult::Failed;
    }
    return WriteResult::Done;
}

int timeoutMs(Clock::time_point now, Clock::time_point until) {
    if (until <= now) {
        return 0;
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
}

// Opens the pseudo-terminal and its link, then prints the first line that names the device. The
// link exists before that line, so that whoever reads the line may use either at once.
bool announceLine(Line& line, const std::string& linkPath) {
    if (!openLine(line) || (!linkPath.empty() && !makeLink(linkPath, line.devicePath))) {
        closeLine(line);
        return false;
    }
    std::printf("%s\n", firstLine(line.devicePath).c_str());
    std::fflush(stdout);
    return true;
}

// Waits until wake for the line (when watched) or a signal. False when the run must end: a
// signal came, or the wait failed (exitCode 1). lineEvents: what the line reported, or 0.
bool waitForLine(const Line& line, bool watchLine, Clock::time_point now, Clock::time_point wake,
                 short& lineEvents, int& exitCode) {
    pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {line.master, POLLIN, 0}};
    const int ready = poll(fds, watchLine ? 2 : 1, timeoutMs(now, wake));
    lineEvents = 0;
    if (ready < 0 && errno != EINTR) {
        logLine("poll: %s", std::strerror(errno));
        exitCode = 1;
        return false;
    }
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        uint8_t sig = 0;
        if (read(signalPipe[0], &sig, 1) == 1) {
            logLine("signal %d, stopping", sig);
            return false;
        }
    }
    if (ready > 0 && watchLine)
        lineEvents = fds[1].revents;
    return true;
}

class Simulator {
public:
    explicit Simulator(const SimOptions& options);
    int run();

private:
    void receive(Clock::time_point now);
    void handleFrames(const std::vector<RobotFrame>& frames);
    void queueTelemetry();
    void writeDue(Clock::time_point now);
    void checkLine(Clock::time_point now);
    // Floods: one starts when it is due, no item is half written and the gap has passed; while
    // it lasts nothing else is written, and the gap after it counts from its last write.
    std::optional<Clock::time_point> floodReadyTime() const;
    void startFloodIfDue(Clock::time_point now);
    void writeFlood(Clock::time_point now);
    void note(const LogNote& n) {
        if (!options_.quiet || n.notable) {
            logLine("%s", n.text.c_str());
        }
    }

    const SimOptions& options_;
    Line line_;
    std::vector<Unit> units_;
    size_t telemetryUnit_ = 0;
    RobotModel model_;
    FrameParser parser_;
    OutputQueue queue_;
    LineWatch watch_;
    std::mt19937 faults_;
    uint8_t frameCounter_ = 0;
    Clock::time_point lastReceive_{};
    std::optional<Clock::time_point> hungUntil_;
    Clock::time_point nextCheck_{};
    size_t framesSent_ = 0;
    size_t framesReceived_ = 0;
    LineStats stats_;
    std::mt19937 floodRandom_;
    Clock::time_point nextFlood_{};
    std::optional<Clock::time_point> floodStart_;
    size_t floodDone_ = 0; // flood bytes due so far (written or, on a full line, lost)
};

Simulator::Simulator(const SimOptions& options)
    : options_(options), model_(options.seed,
                                [&] {
                                    ModelConfig config;
                                    config.batterySeconds = options.batterySeconds;
                                    return config;
                                }()),
      queue_(std::chrono::milliseconds(options.gapMs)), faults_(options.seed ^ 0x5EEDF00Du),
      floodRandom_(options.seed ^ 0xF100Du) {
    for (const UnitOption& u : options.units) {
        Unit unit;
        unit.address = static_cast<uint8_t>(u.address);
        unit.softVersion = static_cast<uint8_t>(u.softVersion);
        unit.hardVersion = static_cast<uint8_t>(u.hardVersion);
        units_.push_back(unit);
    }
    for (size_t i = 0; i < units_.size(); ++i) {
        if (units_[i].address == options.telemetryFrom) {
            telemetryUnit_ = i;
            break;
        }
    }
}

void Simulator::handleFrames(const std::vector<RobotFrame>& frames) {
    for (const RobotFrame& frame : frames) {
        ++framesReceived_;
        const FrameOutcome outcome = handleFrame(units_, frame);
        for (const LogNote& n : outcome.notes) {
            note(n);
        }
        if (options_.periodMs == 0 &&
            std::find(outcome.polledUnits.begin(), outcome.polledUnits.end(), telemetryUnit_) !=
                outcome.polledUnits.end()) {
            queueTelemetry();
        }
        for (const ReplyBytes& reply : outcome.replies) {
            // An answer identical to one still waiting is not queued twice (the console repeats
            // a query every 50 ms until it sees the answer); only a full queue loses one.
            const size_t droppedBefore = queue_.dropped();
            queue_.pushReply(Bytes(reply.begin(), reply.end()));
            if (queue_.dropped() != droppedBefore) {
                logLine("reply %s dropped: too much waits on the line",
                        hex(reply.data(), reply.size()).c_str());
            }
        }
    }
}

void Simulator::receive(Clock::time_point now) {
    uint8_t buffer[256];
    for (;;) {
        const ssize_t n = read(line_.master, buffer, sizeof buffer);
        if (n > 0) {
            lastReceive_ = now;
            watch_.heard();
            if (options_.logFrames) {
                logLine("rx %s", hex(buffer, static_cast<size_t>(n)).c_str());
            }
            const size_t droppedBefore = parser_.discarded();
            handleFrames(parser_.feed(buffer, static_cast<size_t>(n)));
            if (parser_.discarded() != droppedBefore && !options_.quiet) {
                logLine("%zu byte(s) outside any frame dropped",
                        parser_.discarded() - droppedBefore);
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            return;
        }
        // EIO: nobody holds the device open. Look again a little later instead of spinning.
        if (!hungUntil_) {
            logLine("the device is closed on the other side; waiting for it to be opened");
        }
        hungUntil_ = now + HangUpRetry;
        return;
    }
}

void Simulator::queueTelemetry() {
    Unit& unit = units_[telemetryUnit_];
    const SensorReadings readings = model_.sense();
    TelemetryBytes frame = buildTelemetry(unit.address, readings, unit.leds,
                                          unit.programActive ? 1 : 0, frameCounter_++);
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    // Each fault draws its own number, so that one rate does not shift the others.
    const bool noise = chance(faults_) < options_.noiseRate;
    const bool badSum = chance(faults_) < options_.badSumRate;
    const bool split = chance(faults_) < options_.splitRate;
    if (noise) {
        Bytes junk(1 + faults_() % 4);
        for (uint8_t& b : junk) {
            b = static_cast<uint8_t>(faults_());
        }
        while (junk[0] == StartByteCommand || junk[0] == StartByteTelemetry) {
            junk[0] = static_cast<uint8_t>(faults_());
        }
        queue_.pushNoise(std::move(junk));
    }
    if (badSum) {
        spoilSum(frame);
    }
    if (split) {
        queue_.pushTelemetry(
            {Bytes(frame.begin(), frame.begin() + 8), Bytes(frame.begin() + 8, frame.end())});
    } else {
        queue_.pushTelemetry({Bytes(frame.begin(), frame.end())});
    }
}

void Simulator::writeDue(Clock::time_point now) {
    if (hungUntil_) {
        return; // nobody on the other side; the queue waits
    }
    std::optional<OutputPiece> piece = queue_.take(now);
    if (!piece) {
        return;
    }
    const WriteResult result = writePiece(line_.master, piece->bytes);
    const auto after = Clock::now();
    queue_.markWritten(after);
    if (result == WriteResult::Done) {
        watch_.written(piece->bytes.size());
        if (piece->kind == OutputKind::Telemetry) {
            stats_.countTelemetry(piece->bytes, piece->last);
            if (piece->last) {
                ++framesSent_;
            }
        } else if (piece->kind == OutputKind::Noise) {
            ++stats_.noiseChunks;
        }
        if (options_.logFrames) {
            logLine("tx %s", hex(piece->bytes.data(), piece->bytes.size()).c_str());
        }
    } else if (!options_.quiet) {
        logLine("write of %zu byte(s) %s", piece->bytes.size(),
                result == WriteResult::LineFull ? "dropped: the line takes nothing" : "failed");
    }
    nextCheck_ = after + CheckAfterWrite;
}

std::optional<Clock::time_point> Simulator::floodReadyTime() const {
    if (options_.floodMs <= 0 || floodStart_) {
        return std::nullopt;
    }
    Clock::time_point ready = nextFlood_;
    if (const auto last = queue_.lastWrite()) {
        ready = std::max(ready, *last + std::chrono::milliseconds(options_.gapMs));
    }
    return ready;
}

void Simulator::startFloodIfDue(Clock::time_point now) {
    const auto ready = floodReadyTime();
    if (!ready || now < *ready || hungUntil_ || queue_.itemUnderWay()) {
        return;
    }
    floodStart_ = now;
    floodDone_ = 0;
    ++stats_.floods;
    if (!options_.quiet) {
        logLine("flood for %d ms", options_.floodMs);
    }
}

void Simulator::writeFlood(Clock::time_point now) {
    const auto length = std::chrono::milliseconds(options_.floodMs);
    const auto elapsed = std::min<Clock::duration>(now - *floodStart_, length);
    const size_t due = floodBytesDue(std::chrono::duration<double>(elapsed).count());
    if (due > floodDone_ && !hungUntil_) {
        Bytes bytes(due - floodDone_);
        fillFlood(floodRandom_, bytes);
        // What the line does not take now is lost, as on a line that overruns its receiver.
        const ssize_t n = write(line_.master, bytes.data(), bytes.size());
        if (n > 0) {
            stats_.floodBytes += static_cast<size_t>(n);
            watch_.written(static_cast<size_t>(n));
            if (options_.logFrames) {
                logLine("tx flood %zd byte(s)", n);
            }
        }
    }
    floodDone_ = std::max(floodDone_, due);
    if (now - *floodStart_ >= length) {
        floodStart_.reset();
        queue_.markWritten(Clock::now());
        nextFlood_ = now + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(options_.floodEverySeconds));
    }
}

void Simulator::checkLine(Clock::time_point now) {
    nextCheck_ = now + CheckInterval;
    if (line_.ownSlave < 0) {
        return;
    }
    int queued = 0;
    if (ioctl(line_.ownSlave, TIOCINQ, &queued) != 0) {
        return;
    }
    switch (watch_.check(static_cast<size_t>(std::max(queued, 0)), now)) {
    case LineWatch::Verdict::ReaderCame:
        logLine("somebody reads the line");
        break;
    case LineWatch::Verdict::ReaderGone:
        logLine("nobody reads the line any more; dropping what waits, freeing the device");
        tcflush(line_.ownSlave, TCIFLUSH);
        // The console opens the port for exclusive use; with this simulator holding the
        // device, that mark would outlive the console and refuse its next open.
        ioctl(line_.ownSlave, TIOCNXCL);
        break;
    case LineWatch::Verdict::Flush:
        tcflush(line_.ownSlave, TCIFLUSH);
        break;
    case LineWatch::Verdict::Nothing:
        break;
    }
}

int Simulator::run() {
    if (!announceLine(line_, options_.linkPath))
        return 1;
    if (!options_.linkPath.empty()) {
        logLine("%s -> %s", options_.linkPath.c_str(), line_.devicePath.c_str());
    }
    {
        std::string list;
        for (const Unit& u : units_) {
            char text[64];
            std::snprintf(text, sizeof text, "%s%d (soft %d, hard %d)", list.empty() ? "" : ", ",
                          u.address, u.softVersion, u.hardVersion);
            list += text;
        }
        char telemetry[64] = "answering each poll";
        if (options_.periodMs > 0)
            std::snprintf(telemetry, sizeof telemetry, "every %d ms", options_.periodMs);
        logLine("units: %s; telemetry from %d %s, gap %d ms, seed %u", list.c_str(),
                units_[telemetryUnit_].address, telemetry, options_.gapMs, options_.seed);
        // Lets another program's monotonic times be set against this log's.
        logLine("monotonic clock at start: %.6f s",
                std::chrono::duration<double>(startTime.time_since_epoch()).count());
    }

    const auto start = Clock::now();
    const auto period = std::chrono::milliseconds(options_.periodMs);
    const auto seconds = [&](double s) {
        return start +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
    };
    const std::optional<Clock::time_point> endAt =
        options_.durationSeconds >= 0 ? std::optional(seconds(options_.durationSeconds))
                                      : std::nullopt;
    const std::optional<Clock::time_point> dropAt =
        options_.dropAfterSeconds >= 0 ? std::optional(seconds(options_.dropAfterSeconds))
                                       : std::nullopt;
    auto modelTime = start;
    // Timed telemetry only; by default telemetry answers the polls.
    auto nextTelemetry = options_.periodMs > 0 ? start + period : Clock::time_point::max();
    nextFlood_ = seconds(options_.floodEverySeconds);
    nextCheck_ = start + CheckInterval;
    int exitCode = 0;

    for (;;) {
        auto now = Clock::now();
        while (modelTime + ModelStep <= now) {
            const Unit& unit = units_[telemetryUnit_];
            model_.setDrive(unit.driveLeft, unit.driveRight);
            model_.step(std::chrono::duration<double>(ModelStep).count());
            modelTime += ModelStep;
        }
        if (endAt && now >= *endAt) {
            logLine("duration over");
            break;
        }
        if (dropAt && now >= *dropAt) {
            logLine("dropping the line");
            closeLine(line_);
            break;
        }
        if (hungUntil_ && now >= *hungUntil_) {
            hungUntil_.reset(); // poll the master again; a further hang-up sets it anew
        }
        if (now >= nextTelemetry) {
            queueTelemetry();
            nextTelemetry += period;
            if (nextTelemetry <= now) {
                nextTelemetry = now + period;
            }
        }
        startFloodIfDue(now);
        if (floodStart_) {
            writeFlood(now);
        } else {
            writeDue(now);
        }
        if (now >= nextCheck_) {
            checkLine(now);
        }
        if (parser_.pending() > 0 && now - lastReceive_ >= PartialFrameTimeout) {
            if (!options_.quiet) {
                logLine("incomplete frame of %zu byte(s) given up", parser_.pending());
            }
            parser_.clear();
        }

        // Sleep until the next thing to do or the next byte.
        Clock::time_point wake = std::min(nextTelemetry, nextCheck_);
        if (floodStart_) {
            wake = std::min(wake, now + FloodStep);
        } else if (const auto due = queue_.nextWriteTime(); due && !hungUntil_) {
            wake = std::min(wake, *due);
        }
        if (const auto ready = floodReadyTime(); ready && !hungUntil_) {
            wake = std::min(wake, *ready);
        }
        for (const auto& t : {endAt, dropAt, hungUntil_}) {
            if (t) {
                wake = std::min(wake, *t);
            }
        }
        if (parser_.pending() > 0) {
            wake = std::min(wake, lastReceive_ + PartialFrameTimeout);
        }
        short line = 0;
        if (!waitForLine(line_, !hungUntil_, now, wake, line, exitCode))
            break;
        now = Clock::now();
        if (line != 0) {
            if (line & (POLLIN | POLLERR)) {
                receive(now);
            } else if (line & POLLHUP) {
                if (!hungUntil_) {
                    logLine("the device is closed on the other side; waiting for it to be "
                            "opened");
                }
                hungUntil_ = now + HangUpRetry;
            }
        }
    }

    logLine("%zu frame(s) received, %zu telemetry frame(s) sent, %zu byte(s) dropped from the "
            "line, %zu write(s) dropped from the queue",
            framesReceived_, framesSent_, parser_.discarded(), queue_.dropped());
    logLine("%s", stats_.summary().c_str());
    removeLink(options_.linkPath, line_.devicePath);
    closeLine(line_);
    return exitCode;
}

// Plays a capture's robot side to the line; the console's frames are only logged.
class Replayer {
public:
    Replayer(const SimOptions& options, ReplaySchedule schedule)
        : options_(options), schedule_(std::move(schedule)) {}
    int run();

private:
    // Bytes the console has not read yet; 0 when that cannot be seen.
    size_t waiting() const {
        int queued = 0;
        return line_.ownSlave >= 0 && ioctl(line_.ownSlave, TIOCINQ, &queued) == 0
                   ? size_t(std::max(queued, 0))
                   : 0;
    }
    void receive(Clock::time_point now);
    // Writes the chunk that is due, unless the console has not read the one before.
    void writeDue(Clock::time_point now);

    const SimOptions& options_;
    ReplaySchedule schedule_;
    Line line_;
    LineWatch watch_;
    FrameParser parser_;
    bool holding_ = false;
    bool toldDone_ = false;
    size_t framesReceived_ = 0;
    size_t bytesWritten_ = 0;
    std::optional<Clock::time_point> hungUntil_;
};

void Replayer::receive(Clock::time_point now) {
    uint8_t buffer[256];
    for (;;) {
        const ssize_t n = read(line_.master, buffer, sizeof buffer);
        if (n > 0) {
            watch_.heard();
            if (!schedule_.started()) {
                schedule_.start(now);
                logLine("the console writes: playing");
            }
            if (!options_.quiet)
                logLine("rx %s", hex(buffer, size_t(n)).c_str());
            framesReceived_ += parser_.feed(buffer, size_t(n)).size();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            hungUntil_ = now + HangUpRetry; // nobody holds the device: look again later
        return;
    }
}

void Replayer::writeDue(Clock::time_point now) {
    const std::optional<Clock::time_point> due = schedule_.due();
    if (!due || now < *due || hungUntil_)
        return;
    if (waiting() > 0) {
        holding_ = true;
        return;
    }
    const WriteResult result = writePiece(line_.master, schedule_.next());
    if (result == WriteResult::LineFull) {
        holding_ = true;
        return;
    }
    // A held chunk went late: the ones after it keep their spacing to it.
    if (holding_)
        schedule_.delay(now - *due);
    holding_ = false;
    if (result == WriteResult::Done) {
        watch_.written(schedule_.next().size());
        bytesWritten_ += schedule_.next().size();
        if (options_.logFrames)
            logLine("tx %s", hex(schedule_.next().data(), schedule_.next().size()).c_str());
    } else {
        logLine("write of %zu byte(s) failed", schedule_.next().size());
    }
    schedule_.advance();
}

int Replayer::run() {
    if (!announceLine(line_, options_.linkPath))
        return 1;
    logLine("replaying %s: %zu chunk(s) over %.3f s at speed %g%s; playing once the console "
            "writes",
            options_.replayPath.c_str(), schedule_.chunkCount(), schedule_.seconds(),
            options_.replaySpeed, options_.replayLoop ? ", again and again" : "");
    logLine("monotonic clock at start: %.6f s",
            std::chrono::duration<double>(startTime.time_since_epoch()).count());
    const auto start = Clock::now();
    const auto at = [&](double s) {
        return s < 0 ? std::optional<Clock::time_point>()
                     : start + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(s));
    };
    const std::optional<Clock::time_point> endAt = at(options_.durationSeconds);
    const std::optional<Clock::time_point> dropAt = at(options_.dropAfterSeconds);
    Clock::time_point nextCheck = start + CheckInterval;
    int exitCode = 0;
    for (;;) {
        auto now = Clock::now();
        if (endAt && now >= *endAt) {
            logLine("duration over");
            break;
        }
        if (dropAt && now >= *dropAt) {
            logLine("dropping the line");
            break;
        }
        if (hungUntil_ && now >= *hungUntil_)
            hungUntil_.reset();
        writeDue(now);
        if (schedule_.done() && !toldDone_) {
            toldDone_ = true;
            logLine("replay done: %zu chunk(s), %zu byte(s) written", schedule_.written(),
                    bytesWritten_);
        }
        if (now >= nextCheck && line_.ownSlave >= 0) {
            nextCheck = now + CheckInterval;
            // Nothing is thrown away here: a chunk that waits is the console's next one. A
            // console gone only leaves the device free for the next.
            const LineWatch::Verdict verdict = watch_.check(waiting(), now);
            if (verdict == LineWatch::Verdict::ReaderGone) {
                logLine("nobody reads the line any more; the replay waits");
                ioctl(line_.ownSlave, TIOCNXCL);
            } else if (verdict == LineWatch::Verdict::ReaderCame) {
                logLine("somebody reads the line");
            }
        }

        Clock::time_point wake = nextCheck;
        if (const auto due = schedule_.due(); due && !hungUntil_)
            wake = std::min(wake, holding_ ? now + 5ms : *due);
        for (const auto& t : {endAt, dropAt, hungUntil_})
            if (t)
                wake = std::min(wake, *t);
        short line = 0;
        if (!waitForLine(line_, !hungUntil_, now, wake, line, exitCode))
            break;
        now = Clock::now();
        if (line & (POLLIN | POLLERR | POLLHUP))
            receive(now);
    }
    logLine("%zu frame(s) received; replay: %zu of %zu chunk(s) written in %zu round(s), %zu "
            "byte(s)",
            framesReceived_, schedule_.written(), schedule_.chunkCount(), schedule_.rounds(),
            bytesWritten_);
    removeLink(options_.linkPath, line_.devicePath);
    closeLine(line_);
    return exitCode;
}

// The capture of --replay read whole before anything opens: a bad one plays nothing.
std::optional<ReplaySchedule> loadReplay(const SimOptions& options, const std::string& program) {
    std::ifstream in(options.replayPath);
    if (!in) {
        std::fprintf(stderr, "%s: cannot read %s: %s\n", program.c_str(),
                     options.replayPath.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    CaptureError error;
    const std::optional<Capture> capture = readCapture(in, error);
    if (!capture) {
        std::fprintf(stderr, "%s: %s:%d: %s\n", program.c_str(), options.replayPath.c_str(),
                     error.line, error.message.c_str());
        return std::nullopt;
    }
    std::vector<ReplayChunk> chunks;
    int64_t zeroUs = 0;
    std::string why;
    if (!replayChunks(*capture, chunks, zeroUs, why)) {
        std::fprintf(stderr, "%s: %s: %s\n", program.c_str(), options.replayPath.c_str(),
                     why.c_str());
        return std::nullopt;
    }
    return ReplaySchedule(std::move(chunks), zeroUs, options.replaySpeed, options.replayLoop);
}

} // namespace

int main(int argc, char** argv) {
    startTime = Clock::now();
    SimOptions options;
    std::string error;
    const std::string program = argc > 0 ? argv[0] : "zelk_robot_sim";
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "%s: %s\n(see %s --help)\n", program.c_str(), error.c_str(),
                     program.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(program).c_str(), stdout);
        return 0;
    }
    std::optional<ReplaySchedule> replay;
    if (!options.replayPath.empty() && !(replay = loadReplay(options, program)))
        return 2;
    if (!installSignals()) {
        std::fprintf(stderr, "%s: cannot install signal handlers: %s\n", program.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (replay) {
        Replayer replayer(options, std::move(*replay));
        return replayer.run();
    }
    Simulator simulator(options);
    return simulator.run();
}
