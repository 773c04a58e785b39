// The simulated robot's flood of the line and its count of what it wrote, which the line-fault
// run relies on: first the plain functions, then the program over its pseudo-terminal.

#include "tools/sim/line_faults.h"
#include "tools/sim/options.h"
#include "tools/sim/output_queue.h"
#include "tools/sim/telemetry.h"

#include "tests/stress/stress_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <sys/file.h>
#include <termios.h>

namespace {

TEST(SimFlood, BytesDueFollowTheLineRate) {
    EXPECT_EQ(floodBytesDue(0), 0u);
    EXPECT_EQ(floodBytesDue(-1), 0u);
    EXPECT_EQ(floodBytesDue(0.001), 5u); // 5.76 bytes in the first millisecond
    EXPECT_EQ(floodBytesDue(1.0), 5760u);
    EXPECT_EQ(floodBytesDue(0.25), 1440u);
}

TEST(SimFlood, NoFloodByteIsAStartByte) {
    std::mt19937 random(3);
    Bytes bytes(200000);
    fillFlood(random, bytes);
    size_t seen[256] = {};
    for (uint8_t b : bytes)
        ++seen[b];
    EXPECT_EQ(seen[0xFC], 0u);
    EXPECT_EQ(seen[0xFE], 0u);
    // Every other value occurs: the flood is random bytes, not a pattern.
    for (int v = 0; v < 256; ++v) {
        if (v != 0xFC && v != 0xFE) {
            EXPECT_GT(seen[v], 400u) << v;
        }
    }
}

TEST(SimFlood, WrittenTelemetryIsCountedByWhatWentOut) {
    TelemetryBytes good = buildTelemetry(253, SensorReadings{}, 5, 0, 17);
    TelemetryBytes bad = good;
    spoilSum(bad);
    LineStats stats;
    stats.countTelemetry(Bytes(good.begin(), good.end()), true);
    stats.countTelemetry(Bytes(bad.begin(), bad.end()), true);
    stats.countTelemetry(Bytes(good.begin(), good.begin() + 8), false);
    stats.countTelemetry(Bytes(good.begin() + 8, good.end()), true);
    stats.noiseChunks = 4;
    stats.floods = 2;
    stats.floodBytes = 11520;
    EXPECT_EQ(stats.goodFrames, 1u);
    EXPECT_EQ(stats.badSumFrames, 1u);
    EXPECT_EQ(stats.splitFrames, 1u);
    EXPECT_EQ(stats.summary(), "line: 1 good whole telemetry frame(s), 1 with a bad sum, 1 split; "
                               "4 noise chunk(s); 2 flood(s) of 11520 byte(s)");
}

TEST(SimFlood, QueueTellsWhenAnItemIsHalfWritten) {
    using namespace std::chrono_literals;
    OutputQueue queue(60ms);
    const auto t0 = SimClock::now();
    EXPECT_FALSE(queue.itemUnderWay());
    queue.pushTelemetry({Bytes(8, 1), Bytes(8, 2)});
    EXPECT_FALSE(queue.itemUnderWay());
    ASSERT_TRUE(queue.take(t0));
    EXPECT_TRUE(queue.itemUnderWay()); // a flood now would fall between the halves
    ASSERT_TRUE(queue.take(t0 + 60ms));
    EXPECT_FALSE(queue.itemUnderWay());
}

TEST(SimFlood, Options) {
    SimOptions options;
    std::string error;
    const char* given[] = {"sim", "--flood", "250", "--flood-every", "1.5"};
    ASSERT_TRUE(parseOptions(5, given, options, error)) << error;
    EXPECT_EQ(options.floodMs, 250);
    EXPECT_EQ(options.floodEverySeconds, 1.5);
    const char* none[] = {"sim"};
    ASSERT_TRUE(parseOptions(1, none, options, error));
    EXPECT_EQ(options.floodMs, 0);
    const char* bad[] = {"sim", "--flood-every", "0"};
    EXPECT_FALSE(parseOptions(3, bad, options, error));
    const char* negative[] = {"sim", "--flood", "-5"};
    EXPECT_FALSE(parseOptions(3, negative, options, error));
    EXPECT_NE(usageText("sim").find("--flood MS"), std::string::npos);
}

// From the console's side of the line: floods at the line's rate, quiet before and after them,
// telemetry whole in between, and the summary counts what arrived.
TEST(SimFlood, ProgramFloodsAtLineRateWithQuietAround) {
    using Clock = std::chrono::steady_clock;
    stress::SimProcess sim({"--quiet", "--log", "--period", "100", "--gap", "60", "--flood", "300",
                            "--flood-every", "0.5"});
    ASSERT_FALSE(sim.path().empty());
    const int fd = open(sim.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);

    struct Chunk {
        double ms;
        Bytes bytes;
    };
    std::vector<Chunk> chunks;
    const auto start = Clock::now();
    const auto since = [&] {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    while (since() < 2600) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) != 1)
            continue;
        uint8_t buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0)
            chunks.push_back(Chunk{since(), Bytes(buffer, buffer + n)});
    }
    close(fd);
    ASSERT_TRUE(sim.stop());

    // Split the stream into floods (no start byte) and frames (a start byte first).
    struct Flood {
        double first, last;
        size_t bytes;
    };
    std::vector<Flood> floods;
    size_t frames = 0, startBytesInFloods = 0;
    double lastFrameMs = -1000;
    double worstQuietBeforeFrame = 1e9, worstQuietBeforeFlood = 1e9;
    for (const Chunk& c : chunks) {
        const bool frame = c.bytes[0] == 0xFC || c.bytes[0] == 0xFE;
        if (frame) {
            ++frames;
            if (!floods.empty() && floods.back().last > lastFrameMs)
                worstQuietBeforeFrame = std::min(worstQuietBeforeFrame, c.ms - floods.back().last);
            lastFrameMs = c.ms;
            continue;
        }
        for (uint8_t b : c.bytes)
            startBytesInFloods += (b == 0xFC || b == 0xFE) ? 1 : 0;
        if (floods.empty() || c.ms - floods.back().last > 30) {
            if (lastFrameMs > 0)
                worstQuietBeforeFlood = std::min(worstQuietBeforeFlood, c.ms - lastFrameMs);
            floods.push_back(Flood{c.ms, c.ms, 0});
        }
        floods.back().last = c.ms;
        floods.back().bytes += c.bytes.size();
    }
    // Floods at 0.5 s, 1.3 s, 2.1 s of the run (each 300 ms, then 0.5 s to the next).
    ASSERT_GE(floods.size(), 2u);
    EXPECT_EQ(startBytesInFloods, 0u);
    for (size_t i = 0; i + 1 < floods.size(); ++i) { // the last one may be cut by the window
        const Flood& f = floods[i];
        EXPECT_NEAR(double(f.bytes), 0.3 * LineBytesPerSecond, 0.3 * LineBytesPerSecond * 0.15);
        EXPECT_NEAR(f.last - f.first, 300, 40);
    }
    EXPECT_GT(frames, 5u);
    // Seen from the line, with this reader's own delays: quiet before and after every flood.
    EXPECT_GT(worstQuietBeforeFrame, 30);
    EXPECT_GT(worstQuietBeforeFlood, 30);

    // By the simulator's clock: a read ends after 50 ms without bytes, and the simulator keeps
    // the line quiet for its gap (60 ms) before and after every flood.
    const std::string log = sim.log();
    std::istringstream lines(log);
    std::string line;
    double lastTx = -1, lastFlood = -1, worstBefore = 1e9, worstAfter = 1e9;
    bool inFlood = false;
    int floodRuns = 0;
    while (std::getline(lines, line)) {
        const size_t at = line.find("] tx ");
        if (line.size() < 11 || line[0] != '[' || at == std::string::npos)
            continue;
        const double t = std::stod(line.substr(1, at - 1));
        const bool flood = line.compare(at + 5, 5, "flood") == 0;
        if (flood && !inFlood) {
            ++floodRuns;
            if (lastTx >= 0)
                worstBefore = std::min(worstBefore, t - lastTx);
        }
        if (!flood && inFlood)
            worstAfter = std::min(worstAfter, t - lastFlood);
        inFlood = flood;
        (flood ? lastFlood : lastTx) = t;
    }
    EXPECT_GE(floodRuns, 2);
    EXPECT_GE(worstBefore, 0.059);
    EXPECT_GE(worstAfter, 0.059);
    EXPECT_NE(log.find("flood(s) of"), std::string::npos) << log;
}

} // namespace
