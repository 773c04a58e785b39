// The real zelk_robot_sim over its pseudo-terminal, seen from the console's side of the line.

#include "protocol/frame_reader.h"
#include "tools/sim/options.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The simulator as a child process; its stdout comes through a pipe. Its stderr is the test's,
// or, with captureLog, a file that log() reads.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args, bool captureLog = false) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        if (captureLog) {
            char name[] = "/tmp/zelk-sim-log-XXXXXX";
            logFd_ = mkstemp(name);
            if (logFd_ >= 0) {
                logPath_ = name;
            }
        }
        std::vector<std::string> all{ZELK_ROBOT_SIM_PATH, "--quiet"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (logFd_ >= 0) {
            posix_spawn_file_actions_adddup2(&actions, logFd_, STDERR_FILENO);
        }
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0) {
            close(stdout_);
        }
        if (logFd_ >= 0) {
            close(logFd_);
            unlink(logPath_.c_str());
        }
    }

    // What the simulator wrote to stderr so far (with captureLog).
    std::string log() const {
        std::string text;
        if (logFd_ < 0) {
            return text;
        }
        char buffer[4096];
        off_t at = 0;
        ssize_t n;
        while ((n = pread(logFd_, buffer, sizeof buffer, at)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
            at += n;
        }
        return text;
    }
    bool started() const { return pid_ > 0; }

    // The first line of stdout, without its newline; empty after timeoutMs.
    std::string firstLine(int timeoutMs = 5000) {
        std::string line;
        const auto start = Clock::now();
        while (msSince(start) < timeoutMs) {
            pollfd p{stdout_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) {
                continue;
            }
            char c;
            if (read(stdout_, &c, 1) != 1) {
                break;
            }
            if (c == '\n') {
                return line;
            }
            line += c;
        }
        return {};
    }

    // Exit status after the process has ended by itself; -1 when it has not within timeoutMs,
    // -2 when it ended on a signal.
    int waitExit(int timeoutMs) {
        const auto start = Clock::now();
        while (msSince(start) < timeoutMs) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    int terminate(int timeoutMs = 3000) {
        kill(pid_, SIGTERM);
        return waitExit(timeoutMs);
    }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    int logFd_ = -1;
    std::string logPath_;
    bool exited_ = false;
};

// Opens the device as the console does: non-blocking, raw, for exclusive use.
int openLikeTheConsole(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return -1;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

bool writeAll(int fd, const Bytes& bytes) {
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// One read from the line and the time it arrived at.
struct Chunk {
    double ms;
    Bytes bytes;
};

// Reads whatever arrives during windowMs, one chunk per read, each read made as soon as bytes
// are there (so writes separated by a quiet gap come as separate chunks).
std::vector<Chunk> readChunks(int fd, int windowMs, bool* hungUp = nullptr) {
    std::vector<Chunk> chunks;
    const auto start = Clock::now();
    for (;;) {
        const double left = windowMs - msSince(start);
        if (left <= 0) {
            break;
        }
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left) + 1);
        if (r <= 0) {
            continue;
        }
        const double when = msSince(start);
        uint8_t buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            chunks.push_back({when, Bytes(buffer, buffer + n)});
        } else if ((n == 0 || (n < 0 && errno != EAGAIN)) || (p.revents & POLLHUP)) {
            if (hungUp != nullptr) {
                *hungUp = true;
            }
            break;
        }
    }
    return chunks;
}

// A write as the simulator logs it with --log: "[   seconds] tx HEX".
struct LoggedWrite {
    double ms;
    Bytes bytes;
};

std::vector<LoggedWrite> writesIn(const std::string& log) {
    std::vector<LoggedWrite> writes;
    size_t pos = 0;
    while (pos < log.size()) {
        size_t end = log.find('\n', pos);
        if (end == std::string::npos) {
            break; // an unfinished line
        }
        const std::string line = log.substr(pos, end - pos);
        pos = end + 1;
        const size_t tx = line.find("] tx ");
        if (line.empty() || line[0] != '[' || tx == std::string::npos) {
            continue;
        }
        LoggedWrite w{std::strtod(line.c_str() + 1, nullptr) * 1000.0, {}};
        for (size_t i = tx + 5; i + 2 <= line.size(); i += 3) {
            w.bytes.push_back(static_cast<uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
        }
        writes.push_back(w);
    }
    return writes;
}

// The least time between two successive writes of the simulator, from its log.
double smallestWriteGap(const std::vector<LoggedWrite>& writes) {
    double smallest = 1e9;
    for (size_t i = 1; i < writes.size(); ++i) {
        smallest = std::min(smallest, writes[i].ms - writes[i - 1].ms);
    }
    return smallest;
}

// The bytes of the reads, joined, must be the bytes of the writes: one read per write (what
// the console relies on), nothing lost, nothing extra. The reads may begin after the first
// writes (the reader opened late) and end before the last.
void expectOneReadPerWrite(const std::vector<Chunk>& chunks,
                           const std::vector<LoggedWrite>& writes) {
    ASSERT_FALSE(chunks.empty());
    size_t w = 0;
    while (w < writes.size() && writes[w].bytes != chunks[0].bytes) {
        ++w;
    }
    ASSERT_LT(w, writes.size()) << "first read " << testing::PrintToString(chunks[0].bytes)
                                << " was never written";
    for (size_t c = 0; c < chunks.size(); ++c, ++w) {
        ASSERT_LT(w, writes.size()) << "read " << c << " was never written";
        EXPECT_EQ(chunks[c].bytes, writes[w].bytes)
            << "read " << c << " at " << chunks[c].ms << " ms";
    }
}

bool isTelemetry(const Bytes& b) {
    return b.size() == 16 && b[0] == 0xFC && b[2] == 0xE5;
}

bool sumMatches(const Bytes& b) {
    unsigned sum = 0;
    for (int i = 3; i <= 14; ++i) {
        sum += b[i];
    }
    return b[15] == (sum & 0xFF);
}

std::vector<Bytes> telemetryOf(const std::vector<Chunk>& chunks) {
    std::vector<Bytes> out;
    for (const Chunk& c : chunks) {
        if (isTelemetry(c.bytes)) {
            out.push_back(c.bytes);
        }
    }
    return out;
}

// A fresh directory under /tmp, removed with whatever link is left in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/zelk-sim-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempDir() {
        if (!path_.empty()) {
            unlink((path_ + "/robot").c_str());
            rmdir(path_.c_str());
        }
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(SimProcess, AnswersQueriesAndProbesAndSendsTelemetryInReadsOfTheirOwn) {
    const TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string link = dir.path() + "/robot";
    SimProcess sim(
        {"--units", "253,7:4:21", "--link", link, "--log", "--period", "100", "--gap", "60"}, true);
    ASSERT_TRUE(sim.started());
    const std::string line = sim.firstLine();
    ASSERT_EQ(line.rfind(FirstLinePrefix, 0), 0u) << line;
    const std::string path = devicePathFromFirstLine(line);
    ASSERT_EQ(path.rfind("/dev/", 0), 0u) << line;

    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path);

    const int fd = openLikeTheConsole(link); // through the link, as an operator would
    ASSERT_GE(fd, 0) << std::strerror(errno);
    // A soft version query, then two probes back to back in one write.
    ASSERT_TRUE(writeAll(fd, {0xFE, 0xFD, 0xEB, 0x00}));
    ASSERT_TRUE(writeAll(fd, {0xFE, 0xFD, 0xD0, 0xFD, 0xFE, 0x07, 0xD0, 0x07}));
    ASSERT_TRUE(writeAll(fd, {0xFE, 0x07, 0xEC, 0x00}));
    const std::vector<Chunk> chunks = readChunks(fd, 1300);
    close(fd);

    std::vector<Bytes> replies;
    for (const Chunk& c : chunks) {
        // Every read holds exactly one frame.
        EXPECT_TRUE(c.bytes.size() == 4 || isTelemetry(c.bytes))
            << testing::PrintToString(c.bytes) << " at " << c.ms << " ms";
        if (c.bytes.size() == 4) {
            replies.push_back(c.bytes);
        }
    }
    EXPECT_EQ(replies, (std::vector<Bytes>{{0xFE, 0xFD, 0xEB, 0x03},
                                           {0xFE, 0xFD, 0xD8, 0xFD},
                                           {0xFE, 0x07, 0xD8, 0x07},
                                           {0xFE, 0x07, 0xEC, 0x15}}));
    const std::vector<Bytes> telemetry = telemetryOf(chunks);
    EXPECT_GE(telemetry.size(), 8u);
    for (const Bytes& t : telemetry) {
        EXPECT_EQ(t[1], 0xFD); // from the first unit
        EXPECT_TRUE(sumMatches(t)) << testing::PrintToString(t);
        EXPECT_EQ(t[3], 63); // a fresh battery
    }

    EXPECT_EQ(sim.terminate(), 0);
    // Quiet gaps of more than 50 ms between any two writes, as the simulator timed them.
    const std::vector<LoggedWrite> writes = writesIn(sim.log());
    ASSERT_GE(writes.size(), 10u);
    EXPECT_GT(smallestWriteGap(writes), 50.0);
    expectOneReadPerWrite(chunks, writes);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link outlived the simulator";
}

TEST(SimProcess, ByDefaultAnswersEachPollAndQueryAtOnceAndNothingElse) {
    SimProcess sim({"--units", "253,7"});
    ASSERT_TRUE(sim.started());
    const int fd = openLikeTheConsole(devicePathFromFirstLine(sim.firstLine()));
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(readChunks(fd, 300).empty()) << "telemetry nobody polled for";

    // Polls of the telemetry unit, a query between them, a poll of the other unit.
    ASSERT_TRUE(writeAll(fd, {0xFC, 0xFD, 100, 100, 0xFE, 0xFD, 0xEB, 0x00, 0xFC, 0x07, 100, 100,
                              0xFC, 0xFD, 120, 80}));
    const std::vector<Chunk> chunks = readChunks(fd, 400);
    close(fd);
    ASSERT_FALSE(chunks.empty());

    FrameReader reader(1 << 16); // the whole stream as one read
    Bytes stream;
    for (const Chunk& c : chunks)
        stream.insert(stream.end(), c.bytes.begin(), c.bytes.end());
    reader.read(stream.data(), int(stream.size()));
    std::vector<std::pair<ReplyKind, int>> frames;
    while (const auto item = reader.next())
        frames.push_back({item->kind, item->kind == ReplyKind::None ? -1 : item->bytes[1]});
    EXPECT_EQ(frames, (std::vector<std::pair<ReplyKind, int>>{{ReplyKind::Telemetry, 253},
                                                              {ReplyKind::SoftVersion, 253},
                                                              {ReplyKind::Telemetry, 253}}));
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(SimProcess, CommandsShowInTheTelemetry) {
    SimProcess sim({"--seed", "3", "--period", "100", "--gap", "60"});
    ASSERT_TRUE(sim.started());
    const std::string path = devicePathFromFirstLine(sim.firstLine());
    ASSERT_FALSE(path.empty());
    const int fd = openLikeTheConsole(path);
    ASSERT_GE(fd, 0);

    const std::vector<Bytes> before = telemetryOf(readChunks(fd, 350));
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(before.back()[5], 0x00); // LEDs off
    EXPECT_LT(before.back()[6], 20);   // engines idle

    // LEDs 1 and 3, then full ahead as a drive pair, then held by drive-and-poll frames.
    ASSERT_TRUE(writeAll(fd, {0xFE, 0xFD, 0xEA, 0x05}));
    ASSERT_TRUE(writeAll(fd, {0xFE, 0xFD, 0xE7, 200, 0xFE, 0xFD, 0xE8, 200}));
    std::vector<Bytes> driving;
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(writeAll(fd, {0xFC, 0xFD, 200, 200}));
        const auto t = telemetryOf(readChunks(fd, 50));
        driving.insert(driving.end(), t.begin(), t.end());
    }
    ASSERT_GE(driving.size(), 4u);
    const Bytes& last = driving.back();
    EXPECT_EQ(last[5], 0x05);
    EXPECT_GT(last[6], 100); // both engines at full drive
    EXPECT_GT(last[7], 100);
    EXPECT_LT(last[8], before.back()[8] - 10); // the wall ahead came nearer
    EXPECT_LT(last[9], before.back()[9] - 10);

    // The unit takes a new address: telemetry and answers come from it.
    ASSERT_TRUE(writeAll(fd, {0xFE, 0xFD, 0xE9, 0xE9}));
    ASSERT_TRUE(writeAll(fd, {0xFE, 0xFD, 0xCF, 0x09}));
    readChunks(fd, 150);
    ASSERT_TRUE(writeAll(fd, {0xFE, 0x09, 0xEB, 0x00}));
    const auto after = readChunks(fd, 400);
    bool answered = false;
    for (const Chunk& c : after) {
        answered = answered || c.bytes == Bytes{0xFE, 0x09, 0xEB, 0x03};
    }
    EXPECT_TRUE(answered);
    const auto t = telemetryOf(after);
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back()[1], 0x09);
    EXPECT_LT(t.back()[6], 20); // stopped
    close(fd);
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(SimProcess, ConsoleCanCloseAndReopenThePort) {
    SimProcess sim({"--period", "100", "--gap", "60"});
    ASSERT_TRUE(sim.started());
    const std::string path = devicePathFromFirstLine(sim.firstLine());
    ASSERT_FALSE(path.empty());

    int fd = openLikeTheConsole(path);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(telemetryOf(readChunks(fd, 300)).empty());
    close(fd);

    // Nobody reads for a while; the simulator keeps writing.
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));

    // The console marked the port for exclusive use; once it has gone, a user without
    // administrator rights must be able to open the port again.
    if (geteuid() == 0) {
        ASSERT_EQ(chmod(path.c_str(), 0666), 0);
        const pid_t child = fork();
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                _exit(3);
            }
            const int other = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            _exit(other >= 0 ? 0 : (errno == EBUSY ? 1 : 2));
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: refused as busy, 2: other failure, 3: setuid";
    }

    fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    // No pile of stale frames waits for the new reader: at most the latest frame.
    int queued = -1;
    ASSERT_EQ(ioctl(fd, TIOCINQ, &queued), 0);
    EXPECT_LE(queued, 16);
    close(fd);

    fd = openLikeTheConsole(path);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    ASSERT_TRUE(writeAll(fd, {0xFE, 0xFD, 0xEB, 0x00}));
    const auto chunks = readChunks(fd, 400);
    bool answered = false;
    for (const Chunk& c : chunks) {
        answered = answered || c.bytes == Bytes{0xFE, 0xFD, 0xEB, 0x03};
    }
    EXPECT_TRUE(answered);
    EXPECT_GE(telemetryOf(chunks).size(), 2u);
    close(fd);
    EXPECT_EQ(sim.terminate(), 0);
}

TEST(SimProcess, DropAfterClosesTheLineUnderTheConsole) {
    const TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string link = dir.path() + "/robot";
    SimProcess sim({"--drop-after", "0.6", "--link", link, "--period", "100", "--gap", "60"});
    ASSERT_TRUE(sim.started());
    const std::string path = devicePathFromFirstLine(sim.firstLine());
    ASSERT_FALSE(path.empty());
    const auto start = Clock::now();
    const int fd = openLikeTheConsole(path);
    ASSERT_GE(fd, 0);
    bool hungUp = false;
    const auto chunks = readChunks(fd, 3000, &hungUp);
    const double at = msSince(start);
    close(fd);
    EXPECT_TRUE(hungUp);
    EXPECT_GT(at, 400.0);
    EXPECT_LT(at, 1500.0);
    EXPECT_FALSE(telemetryOf(chunks).empty());
    EXPECT_EQ(sim.waitExit(2000), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
}

TEST(SimProcess, LineFaultsOnRequest) {
    {
        // Every frame split in two halves with a quiet gap, every sum wrong.
        SimProcess sim(
            {"--split", "1", "--bad-sum", "1", "--log", "--period", "100", "--gap", "60"}, true);
        ASSERT_TRUE(sim.started());
        const std::string path = devicePathFromFirstLine(sim.firstLine());
        const int fd = openLikeTheConsole(path);
        ASSERT_GE(fd, 0);
        const auto chunks = readChunks(fd, 800);
        close(fd);
        ASSERT_GE(chunks.size(), 4u);
        size_t i = chunks[0].bytes[0] == 0xFC ? 0 : 1; // may have come in between two halves
        int frames = 0;
        for (; i + 1 < chunks.size(); i += 2) {
            ASSERT_EQ(chunks[i].bytes.size(), 8u);
            ASSERT_EQ(chunks[i + 1].bytes.size(), 8u);
            Bytes whole = chunks[i].bytes;
            whole.insert(whole.end(), chunks[i + 1].bytes.begin(), chunks[i + 1].bytes.end());
            EXPECT_TRUE(isTelemetry(whole));
            EXPECT_FALSE(sumMatches(whole));
            ++frames;
        }
        EXPECT_GE(frames, 2);
        EXPECT_EQ(sim.terminate(), 0);
        const std::vector<LoggedWrite> writes = writesIn(sim.log());
        EXPECT_GT(smallestWriteGap(writes), 50.0);
        expectOneReadPerWrite(chunks, writes);
    }
    {
        // Noise before every frame, in reads of its own, never starting like a frame.
        SimProcess sim({"--noise", "1", "--seed", "9", "--log", "--period", "100", "--gap", "60"},
                       true);
        ASSERT_TRUE(sim.started());
        const std::string path = devicePathFromFirstLine(sim.firstLine());
        const int fd = openLikeTheConsole(path);
        ASSERT_GE(fd, 0);
        const auto chunks = readChunks(fd, 800);
        close(fd);
        int noise = 0;
        for (const Chunk& c : chunks) {
            if (isTelemetry(c.bytes)) {
                EXPECT_TRUE(sumMatches(c.bytes));
                continue;
            }
            ++noise;
            EXPECT_GE(c.bytes.size(), 1u);
            EXPECT_LE(c.bytes.size(), 4u);
            EXPECT_NE(c.bytes[0], 0xFE);
            EXPECT_NE(c.bytes[0], 0xFC);
        }
        EXPECT_GE(noise, 3);
        EXPECT_GE(telemetryOf(chunks).size(), 3u);
        EXPECT_EQ(sim.terminate(), 0);
        const std::vector<LoggedWrite> writes = writesIn(sim.log());
        EXPECT_GT(smallestWriteGap(writes), 50.0);
        expectOneReadPerWrite(chunks, writes);
    }
}

TEST(SimProcess, HelpAndBadOptions) {
    {
        SimProcess sim({"--help"});
        ASSERT_TRUE(sim.started());
        const std::string line = sim.firstLine();
        EXPECT_EQ(line.rfind("Usage:", 0), 0u) << line;
        EXPECT_EQ(sim.waitExit(2000), 0);
    }
    {
        SimProcess sim({"--address", "300"});
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.waitExit(2000), 2);
    }
}

} // namespace

namespace {

// A capture played back: nothing until the console writes; then the robot's chunks in order, none
// sooner than its time in the capture at the speed asked for; what the console sends only
// logged. A capture with a wrong line plays nothing and says where.
TEST(SimProcess, PlaysACaptureBackAndRefusesAWrongOne) {
    const TempDir dir;
    const std::string good = dir.path() + "/good.capture", bad = dir.path() + "/bad.capture";
    const std::string header = "ZELK-LINK-CAPTURE 1 start=2025-01-10T12:00:00.000000+0000 "
                               "monotonic_us=1 port=COM7\n";
    std::ofstream(good) << header
                        << "1000000 tx FC FD 64 64\n1060000 rx FE FD EB 03\n"
                           "1160000 rx FE FD EC 14\n1360000 rx FC FD E5\n1400000 end\n";
    std::ofstream(bad) << header << "10 rx FC\n20 rx FC FD\n30 rx XY\n";
    const struct Removed {
        std::vector<std::string> files;
        ~Removed() {
            for (const std::string& f : files)
                unlink(f.c_str());
        }
    } removed{{good, bad}};
    {
        SimProcess sim({"--replay", bad}, true);
        EXPECT_EQ(sim.firstLine(2000), "") << "a line opened for a wrong capture";
        EXPECT_EQ(sim.waitExit(2000), 2);
        EXPECT_NE(sim.log().find(bad + ":4: \"XY\" is no byte in hex"), std::string::npos)
            << sim.log();
    }
    SimProcess sim({"--replay", good, "--speed", "0.5"}, true);
    const int fd = openLikeTheConsole(devicePathFromFirstLine(sim.firstLine()));
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(readChunks(fd, 300).empty()) << "played before the console wrote";
    ASSERT_TRUE(writeAll(fd, {0xFC, 0xFD, 0x64, 0x64}));
    const std::vector<Chunk> chunks = readChunks(fd, 1200);
    close(fd);
    const std::vector<Bytes> played = {
        {0xFE, 0xFD, 0xEB, 0x03}, {0xFE, 0xFD, 0xEC, 0x14}, {0xFC, 0xFD, 0xE5}};
    const double earliest[] = {120, 320, 720}; // ms after the console's frame, at half speed
    ASSERT_EQ(chunks.size(), played.size());
    for (size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].bytes, played[i]);
        EXPECT_GE(chunks[i].ms, earliest[i] - 2) << "chunk " << i;
    }
    EXPECT_EQ(sim.terminate(), 0);
    EXPECT_NE(sim.log().find("1 frame(s) received; replay: 3 of 3 chunk(s)"), std::string::npos)
        << sim.log();
}

} // namespace
