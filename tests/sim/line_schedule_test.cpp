// The output queue's gaps and order, the watch over the line's reader, and the command line.

#include "tools/sim/line_watch.h"
#include "tools/sim/options.h"
#include "tools/sim/output_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace std::chrono_literals;

SimClock::time_point at(int ms) {
    return SimClock::time_point{} + std::chrono::milliseconds(ms);
}

Bytes telemetryBytes(uint8_t tag) {
    Bytes f(16, tag);
    f[0] = 0xFC;
    return f;
}

// Takes everything from the queue, trying every millisecond from start to end, and records
// what was written when.
struct Written {
    int ms;
    Bytes bytes;
    OutputKind kind;
};
std::vector<Written> drain(OutputQueue& queue, int start, int end) {
    std::vector<Written> out;
    for (int ms = start; ms <= end; ++ms) {
        if (auto piece = queue.take(at(ms))) {
            out.push_back({ms, piece->bytes, piece->kind});
        }
    }
    return out;
}

TEST(OutputQueue, KeepsTheGapBetweenEveryTwoWrites) {
    OutputQueue queue(60ms);
    queue.pushReply({0xFE, 0xFD, 0xEB, 0x03});
    queue.pushTelemetry({telemetryBytes(1)});
    queue.pushReply({0xFE, 0xFD, 0xEC, 0x14});
    const auto w = drain(queue, 1000, 1300);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0].ms, 1000); // nothing written before: at once
    EXPECT_EQ(w[1].ms, 1060);
    EXPECT_EQ(w[2].ms, 1120);
    EXPECT_EQ(w[0].bytes, (Bytes{0xFE, 0xFD, 0xEB, 0x03}));
    EXPECT_EQ(w[1].kind, OutputKind::Telemetry);
    EXPECT_EQ(w[2].bytes, (Bytes{0xFE, 0xFD, 0xEC, 0x14}));
    EXPECT_TRUE(queue.empty());

    // Something queued long after the last write goes out at once; right after, it waits.
    queue.pushReply({0xFE, 0x07, 0xD8, 0x07});
    EXPECT_EQ(queue.nextWriteTime(), at(1180));
    EXPECT_FALSE(queue.take(at(1179)));
    EXPECT_TRUE(queue.take(at(1180)));

    // A write that took time moves the gap's start to its end.
    queue.pushReply({0xFE, 0x08, 0xD8, 0x08});
    queue.markWritten(at(1190));
    EXPECT_EQ(queue.nextWriteTime(), at(1250));
}

TEST(OutputQueue, NewTelemetryReplacesAFrameThatStillWaits) {
    OutputQueue queue(60ms);
    queue.pushReply({0xFE, 0xFD, 0xEB, 0x03});
    queue.pushTelemetry({telemetryBytes(1)});
    queue.pushTelemetry({telemetryBytes(2)});
    EXPECT_EQ(queue.size(), 2u);
    const auto w = drain(queue, 0, 200);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[1].bytes, telemetryBytes(2));
}

TEST(OutputQueue, SplitFrameGoesOutInTwoWritesWithNothingBetween) {
    OutputQueue queue(60ms);
    const Bytes f = telemetryBytes(3);
    queue.pushTelemetry({Bytes(f.begin(), f.begin() + 8), Bytes(f.begin() + 8, f.end())});
    ASSERT_TRUE(queue.take(at(0)));
    // A reply and a newer telemetry frame come while the second half waits.
    queue.pushReply({0xFE, 0xFD, 0xEB, 0x03});
    queue.pushTelemetry({telemetryBytes(4)});
    const auto w = drain(queue, 1, 300);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0].ms, 60);
    EXPECT_EQ(w[0].bytes, Bytes(f.begin() + 8, f.end()));
    EXPECT_EQ(w[1].bytes, (Bytes{0xFE, 0xFD, 0xEB, 0x03}));
    EXPECT_EQ(w[2].bytes, telemetryBytes(4));
}

TEST(OutputQueue, RepeatedRepliesAndAFullQueueDoNotGrowIt) {
    OutputQueue queue(60ms, 4);
    EXPECT_TRUE(queue.pushReply({0xFE, 0xFD, 0xEB, 0x03}));
    EXPECT_FALSE(queue.pushReply({0xFE, 0xFD, 0xEB, 0x03})); // the same answer already waits
    EXPECT_TRUE(queue.pushReply({0xFE, 0x01, 0xD8, 0x01}));
    EXPECT_TRUE(queue.pushReply({0xFE, 0x02, 0xD8, 0x02}));
    EXPECT_TRUE(queue.pushNoise({0x11}));
    EXPECT_FALSE(queue.pushReply({0xFE, 0x03, 0xD8, 0x03}));
    EXPECT_EQ(queue.size(), 4u);
    EXPECT_EQ(queue.dropped(), 1u);
    // Telemetry still gets in, in place of the oldest waiting reply.
    queue.pushTelemetry({telemetryBytes(5)});
    EXPECT_EQ(queue.size(), 4u);
    const auto w = drain(queue, 0, 400);
    ASSERT_EQ(w.size(), 4u);
    EXPECT_EQ(w[0].bytes, (Bytes{0xFE, 0x01, 0xD8, 0x01}));
    EXPECT_EQ(w[3].bytes, telemetryBytes(5));
    // Once written, the same reply may be queued again.
    EXPECT_TRUE(queue.pushReply({0xFE, 0x01, 0xD8, 0x01}));
}

TEST(LineWatch, NoticesAReaderComingAndGoing) {
    using Verdict = LineWatch::Verdict;
    LineWatch watch(1000ms);
    int t = 0;
    const auto write = [&](size_t n) { watch.written(n); };

    // Nobody has the line open: what is written stays; the queue is emptied at every check.
    EXPECT_FALSE(watch.readerPresent());
    write(16);
    EXPECT_EQ(watch.check(16, at(t += 25)), Verdict::Flush);
    write(16);
    EXPECT_EQ(watch.check(16, at(t += 100)), Verdict::Flush);
    EXPECT_EQ(watch.check(0, at(t += 100)), Verdict::Nothing); // nothing written, nothing waits

    // A reader takes what is written.
    write(4);
    EXPECT_EQ(watch.check(0, at(t += 100)), Verdict::ReaderCame);
    EXPECT_TRUE(watch.readerPresent());
    write(16);
    EXPECT_EQ(watch.check(0, at(t += 100)), Verdict::Nothing);
    // It may lag a little behind (a partly read frame, a slow moment) without being given up.
    write(16);
    EXPECT_EQ(watch.check(10, at(t += 100)), Verdict::Nothing);
    write(16);
    EXPECT_EQ(watch.check(26, at(t += 100)), Verdict::Nothing); // took nothing: stalled since now
    const int stalledAt = t;
    write(16);
    EXPECT_EQ(watch.check(42, at(t += 500)), Verdict::Nothing);
    write(16);
    EXPECT_EQ(watch.check(58, at(stalledAt + 999)), Verdict::Nothing);
    write(16);
    EXPECT_EQ(watch.check(74, at(stalledAt + 1000)), Verdict::ReaderGone);
    EXPECT_FALSE(watch.readerPresent());
    // After the queue was emptied, still nobody.
    write(16);
    EXPECT_EQ(watch.check(16, at(stalledAt + 1100)), Verdict::Flush);

    // A reader that stalls and then takes bytes again is not given up.
    write(16);
    EXPECT_EQ(watch.check(0, at(stalledAt + 1200)), Verdict::ReaderCame);
    write(16);
    EXPECT_EQ(watch.check(16, at(stalledAt + 1300)), Verdict::Nothing);
    write(16);
    EXPECT_EQ(watch.check(8, at(stalledAt + 2300)), Verdict::Nothing);
    write(16);
    EXPECT_EQ(watch.check(24, at(stalledAt + 2400)), Verdict::Nothing);
}

TEST(LineWatch, AReaderThatOnlyPollsIsThereUntilItFallsSilent) {
    using Verdict = LineWatch::Verdict;
    LineWatch watch(1000ms);
    watch.heard(); // a poll, before anything was written
    EXPECT_EQ(watch.check(0, at(0)), Verdict::ReaderCame);
    EXPECT_EQ(watch.check(0, at(999)), Verdict::Nothing); // quiet, not yet given up
    watch.heard();
    EXPECT_EQ(watch.check(0, at(1500)), Verdict::Nothing);
    EXPECT_EQ(watch.check(0, at(2499)), Verdict::Nothing);
    EXPECT_EQ(watch.check(0, at(2500)), Verdict::ReaderGone);
    EXPECT_FALSE(watch.readerPresent());
    EXPECT_EQ(watch.check(0, at(9000)), Verdict::Nothing);
}

std::vector<const char*> args(std::initializer_list<const char*> list) {
    std::vector<const char*> v{"zelk_robot_sim"};
    v.insert(v.end(), list);
    return v;
}

bool parse(std::initializer_list<const char*> list, SimOptions& options, std::string& error) {
    const auto v = args(list);
    return parseOptions(static_cast<int>(v.size()), v.data(), options, error);
}

TEST(CommandLine, DefaultsAndEveryOption) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(parse({}, o, error)) << error;
    ASSERT_EQ(o.units.size(), 1u);
    EXPECT_EQ(o.units[0].address, 253);
    EXPECT_EQ(o.units[0].softVersion, 3);
    EXPECT_EQ(o.units[0].hardVersion, 20);
    EXPECT_EQ(o.periodMs, 0); // telemetry answers each poll
    EXPECT_EQ(o.gapMs, 0);    // a unit owes no pause between its frames
    EXPECT_LT(o.dropAfterSeconds, 0);
    EXPECT_LT(o.durationSeconds, 0);

    ASSERT_TRUE(parse({"--address",
                       "7",
                       "--soft-version",
                       "9",
                       "--hard-version",
                       "31",
                       "--period",
                       "250",
                       "--gap",
                       "70",
                       "--seed",
                       "4000000000",
                       "--drop-after",
                       "2.5",
                       "--duration",
                       "10",
                       "--noise",
                       "0.1",
                       "--bad-sum",
                       "0.25",
                       "--split",
                       "1",
                       "--battery-seconds",
                       "60",
                       "--link",
                       "/tmp/r",
                       "--quiet",
                       "--log"},
                      o, error))
        << error;
    ASSERT_EQ(o.units.size(), 1u);
    EXPECT_EQ(o.units[0].address, 7);
    EXPECT_EQ(o.units[0].softVersion, 9);
    EXPECT_EQ(o.units[0].hardVersion, 31);
    EXPECT_EQ(o.periodMs, 250);
    EXPECT_EQ(o.gapMs, 70);
    EXPECT_EQ(o.seed, 4000000000u);
    EXPECT_DOUBLE_EQ(o.dropAfterSeconds, 2.5);
    EXPECT_DOUBLE_EQ(o.durationSeconds, 10);
    EXPECT_DOUBLE_EQ(o.noiseRate, 0.1);
    EXPECT_DOUBLE_EQ(o.badSumRate, 0.25);
    EXPECT_DOUBLE_EQ(o.splitRate, 1);
    EXPECT_DOUBLE_EQ(o.batterySeconds, 60);
    EXPECT_EQ(o.linkPath, "/tmp/r");
    EXPECT_TRUE(o.quiet);
    EXPECT_TRUE(o.logFrames);
}

TEST(CommandLine, SeveralUnitsWithTheirOwnVersions) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(parse(
        {"--soft-version", "5", "--units", "253,7:4,12:6:21", "--telemetry-from", "12"}, o, error))
        << error;
    ASSERT_EQ(o.units.size(), 3u);
    EXPECT_EQ(o.units[0].address, 253);
    EXPECT_EQ(o.units[0].softVersion, 5);
    EXPECT_EQ(o.units[0].hardVersion, 20);
    EXPECT_EQ(o.units[1].address, 7);
    EXPECT_EQ(o.units[1].softVersion, 4);
    EXPECT_EQ(o.units[2].address, 12);
    EXPECT_EQ(o.units[2].softVersion, 6);
    EXPECT_EQ(o.units[2].hardVersion, 21);
    EXPECT_EQ(o.telemetryFrom, 12);
}

TEST(CommandLine, RefusesWhatItCannotUse) {
    const std::vector<std::vector<const char*>> bad = {
        {"--address", "256"},
        {"--address", "-1"},
        {"--address", "12x"},
        {"--address"},
        {"--gap", "-1"},
        {"--period", "0"},
        {"--noise", "1.5"},
        {"--split", "-0.1"},
        {"--bad-sum", "nan"},
        {"--units", "253,,7"},
        {"--units", "7:1:2:3"},
        {"--units", "7,"},
        {"--units", "7:"},
        {"--address", "7", "--units", "8"},
        {"--telemetry-from", "9"},
        {"--duration", "-1"},
        {"--link", ""},
        {"--bogus"},
        {"--speed", "2"},
        {"--replay", "a.capture", "--period", "20"},
        {"--replay", "a.capture", "--speed", "0"},
    };
    for (const auto& list : bad) {
        std::vector<const char*> v{"zelk_robot_sim"};
        v.insert(v.end(), list.begin(), list.end());
        SimOptions o;
        std::string error;
        EXPECT_FALSE(parseOptions(static_cast<int>(v.size()), v.data(), o, error))
            << testing::PrintToString(std::vector<std::string>(list.begin(), list.end()));
        EXPECT_FALSE(error.empty());
    }
}

TEST(CommandLine, FirstLineCarriesTheDevicePath) {
    const std::string line = firstLine("/dev/pts/5");
    EXPECT_EQ(line.rfind("ZELK robot simulator on /dev/pts/5 ", 0), 0u);
    EXPECT_EQ(devicePathFromFirstLine(line), "/dev/pts/5");
    EXPECT_EQ(devicePathFromFirstLine(firstLine("/dev/pts/123")), "/dev/pts/123");
    EXPECT_EQ(devicePathFromFirstLine("something else /dev/pts/5"), "");
    EXPECT_NE(usageText("zelk_robot_sim").find(FirstLinePrefix), std::string::npos);
}

} // namespace
