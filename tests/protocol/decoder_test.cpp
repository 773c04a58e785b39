// The reply decoder against a display that records its calls in order.
#include "protocol/reply_decoder.h"
#include "recording/telemetry_csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Log = std::vector<std::string>;

// Logs each call with what the display would show at that moment.
struct Recorder : RobotDisplay {
    explicit Recorder(const RobotState& s) : state(s) {}
    const RobotState& state;
    Log calls;
    void add(std::string name, std::initializer_list<int> values) {
        for (int v : values) {
            name += " " + std::to_string(v);
        }
        calls.push_back(name);
    }
    void showUnitDetected(int a, int v) override { add("unit", {a, v}); }
    void showSoftVersion(int a, int v) override { add("soft", {a, v, state.softVersion}); }
    void showHardVersion(int a, int v, const char* text) override {
        add(std::string("hard ") + text, {a, v, state.hardVersion});
    }
    void showBattery(float p) override { add("battery", {int(p)}); }
    void showLineSensors(const RobotState& s) override {
        add("line", {s.lineSensor[0], s.lineSensor[1], s.lineSensor[2], s.lineSensor[3]});
    }
    void showLeds(const RobotState& s) override {
        add("leds", {s.ledReported[0], s.ledReported[1], s.ledReported[2], s.ledReported[3]});
    }
    void showEngineCurrentLeft(const RobotState& s) override { add("curL", {s.engineCurrentLeft}); }
    void showEngineCurrentRight(const RobotState& s) override {
        add("curR", {s.engineCurrentRight});
    }
    void showSonarLeft(const RobotState& s) override { add("sonL", {s.sonarLeft}); }
    void showSonarRight(const RobotState& s) override { add("sonR", {s.sonarRight}); }
    void showAcceleration(const RobotState& s) override {
        add("accel", {s.accelX, s.accelY, s.accelZ});
    }
    void chartSampleStep(const RobotState& s) override {
        add("chart", {s.aux13, s.aux14, s.accelZeroX}); // zero still the old one here
    }
};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes telemetry(uint8_t battery, uint8_t x, uint8_t y, uint8_t z) {
    Bytes f{0xFC, 0x09, 0xE5, battery, 0x05, 0x0A, 255, 50, 180, 7, x, y, z, 13, 14, 0};
    f[15] = frameSum(f.data());
    return f;
}

class Decoder : public ::testing::Test {
protected:
    ReplyKind feed(const Bytes& chunk, bool portOpen = true) {
        return decoder.handleChunk(chunk.data(), int(chunk.size()), portOpen, state, display);
    }
    RobotState state;
    Recorder display{state};
    ReplyDecoder decoder;
};

TEST_F(Decoder, TelemetryWritesThenShowsEachGroupInOrder) {
    EXPECT_EQ(feed(telemetry(63, 130, 120, 200)), ReplyKind::Telemetry);
    EXPECT_EQ(display.calls,
              (Log{"battery 99", "line 1 0 1 0", "leds 0 1 0 1", "curL 255", "curR 50", "sonL 180",
                   "sonR 7", "accel 130 120 200", "chart 13 14 0"}));
    EXPECT_FLOAT_EQ(state.batteryVolts, 6.2f);
}

TEST_F(Decoder, FirstFrameZeroesTheAccelerometerOnceForTheWholeRun) {
    feed(telemetry(60, 130, 120, 200));
    EXPECT_TRUE(decoder.autoZeroDone);
    EXPECT_EQ((std::vector{state.accelZeroX, state.accelZeroY, state.accelZeroZ}),
              (std::vector{130, 120, 200}));
    feed(telemetry(60, 130, 120, 200));
    EXPECT_EQ(display.calls.at(9 + 7), "accel 0 0 0");
    // Port closed and opened again: no new calibration.
    EXPECT_EQ(feed(telemetry(60, 10, 20, 30), false), ReplyKind::None);
    feed(telemetry(60, 140, 100, 200));
    feed(telemetry(60, 140, 100, 200));
    EXPECT_EQ((std::vector{state.accelZeroX, state.accelX, state.accelY}),
              (std::vector{130, 10, -20}));
}

TEST_F(Decoder, DoubleCalibrationShowsTheNegatedValueAtRest) {
    feed(telemetry(60, 130, 120, 200));
    feed(telemetry(60, 140, 110, 200)); // shows 10, -10, 0
    calibrateAccelerometer(state);
    calibrateAccelerometer(state);
    feed(telemetry(60, 140, 110, 200));
    EXPECT_EQ(display.calls.at(18 + 7), "accel -10 10 0");
}

TEST_F(Decoder, IdentityRepliesAreShownBeforeTheVersionIsStored) {
    EXPECT_EQ(feed({0xFE, 0x00, 0xD8, 0x00}), ReplyKind::UnitDetected);
    feed({0xFE, 0x05, 0xD8, 0x06});
    EXPECT_EQ(state, RobotState{}); // unit detected changes no field
    feed({0xFE, 0x05, 0xEB, 0x03});
    feed({0xFE, 0xFD, 0xEC, 0x07, 0xFE});
    feed({0xFE, 0xFD, 0xEC, 0x14});
    EXPECT_EQ(display.calls,
              (Log{"unit 0 0", "unit 5 6", "soft 5 3 -1", "hard Unit type    :unknown 253 7 -1",
                   "hard Unit type    :ZELK24 253 20 7"}));
    EXPECT_EQ(state.softVersion, 3);
    EXPECT_EQ(state.hardVersion, 20);
}

TEST_F(Decoder, RejectedChunksChangeNothingAndShowNothing) {
    feed(telemetry(62, 130, 120, 200), false); // closed before any frame: no auto zero either
    EXPECT_FALSE(decoder.autoZeroDone);
    feed(telemetry(62, 130, 120, 200));
    display.calls.clear();
    const RobotState before = state;
    Bytes badSum = telemetry(10, 1, 2, 3);
    badSum[15] ^= 1;
    EXPECT_EQ(feed(badSum), ReplyKind::None);
    EXPECT_EQ(feed(telemetry(10, 1, 2, 3), false), ReplyKind::None);
    EXPECT_EQ(feed({0xFE, 0x05, 0xEB, 0x03}, false), ReplyKind::None);
    EXPECT_EQ(feed({0xFE, 0x05, 0xD9, 0x05}), ReplyKind::None);
    EXPECT_EQ(decoder.handleChunk(nullptr, 32, true, state, display), ReplyKind::None);
    EXPECT_TRUE(display.calls.empty());
    EXPECT_EQ(state, before);
}

TEST_F(Decoder, EveryFrameOfAChunkHasItsFullEffectInOrder) {
    std::vector<std::pair<ReplyKind, int>> items;
    const auto observe = [&items](ReplyKind kind, int address) {
        items.push_back({kind, address});
    };
    Bytes chunk = telemetry(60, 130, 120, 200) + Bytes{0xFE, 0x07, 0xEB, 0x04, 0x00};
    chunk.insert(chunk.end(), {0xFE, 0x08, 0xEC}); // cut by the pause: never decoded
    EXPECT_EQ(decoder.handleChunk(chunk.data(), int(chunk.size()), true, state, display, observe),
              ReplyKind::SoftVersion);
    EXPECT_EQ(display.calls.size(), 9u + 1u);
    EXPECT_EQ(display.calls.back(), "soft 7 4 -1");
    EXPECT_EQ(state.softVersion, 4);
    EXPECT_TRUE(decoder.autoZeroDone);
    EXPECT_EQ(items,
              (std::vector<std::pair<ReplyKind, int>>{
                  {ReplyKind::Telemetry, 9}, {ReplyKind::SoftVersion, 7}, {ReplyKind::None, -1}}));
}

} // namespace

// A recording's rows: every accepted frame as the dashboard showed it, the first one before its
// calibration moves the zero; a frame with a bad sum gives none.
TEST_F(Decoder, TelemetryRowsKeepWhatTheDashboardShowed) {
    std::string csv;
    decoder.setOnTelemetry([&csv](const TelemetryFrame& frame, const RobotState& s) {
        appendTelemetryCsvRow(csv, 1500000, telemetryRow(frame, s));
    });
    Bytes bad = telemetry(64, 1, 2, 3);
    bad[15] ^= 1;
    feed(telemetry(63, 130, 120, 200) + bad);
    feed(telemetry(58, 131, 119, 200));
    EXPECT_EQ(csv, "1.500000,9,6.2,99.99997,1,0,1,0,0,1,0,1,255,50,180,7,130,120,200,130,120,200,"
                   "13,14\r\n"
                   "1.500000,9,5.7,28.571402,1,0,1,0,0,1,0,1,255,50,180,7,131,119,200,1,-1,0,"
                   "13,14\r\n");
    const std::string header = telemetryCsvHeader();
    EXPECT_EQ(std::count(header.begin(), header.end(), ','),
              std::count(csv.begin(), csv.begin() + long(csv.find('\r')), ','));
}
