#pragma once
// The invariants of chunk recognition and decoding, checked from the outside for the fuzz targets.
//
// decodeChecked() runs one chunk through recognizeChunk and ReplyDecoder::handleChunk and compares
// everything they do with what this file computes from the chunk's bytes alone (its own frame sum,
// its own reply table, its own field arithmetic):
//   - recognizeChunk gives the kind the bytes call for; handleChunk returns it, or None while the
//     port is not marked open;
//   - the display is called only for that kind, in the decoder's order, with the bytes of the
//     chunk; each telemetry step sees exactly the fields written so far, and the others unchanged;
//   - the battery percentage shown lies in 0..100;
//   - afterwards the RobotState differs from before only by the fields of a version reply or of a
//     telemetry frame whose sum is good, and while the port is not marked open nothing changes.
// A violation prints what failed and traps, which libFuzzer reports as a crash with its input.

#include "protocol/reply_decoder.h"
#include "protocol/robot_frame.h"
#include "protocol/robot_state.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__,          \
                         __LINE__);                                                                \
            __builtin_trap();                                                                      \
        }                                                                                          \
    } while (0)

namespace fuzz {

// What a chunk must be recognised as, from its first 16 bytes (head) and its length.
inline ReplyKind expectedKind(const uint8_t* head, int count) {
    if (count >= 4 && head[0] == 0xFE) {
        switch (head[2]) {
        case 0xD8:
            return ReplyKind::UnitDetected;
        case 0xEB:
            return ReplyKind::SoftVersion;
        case 0xEC:
            return ReplyKind::HardVersion;
        default:
            return ReplyKind::None;
        }
    }
    if (count >= 16 && head[0] == 0xFC && head[2] == 0xE5) {
        unsigned sum = 0;
        for (int i = 3; i <= 14; ++i)
            sum += head[i];
        return (sum & 0xFF) == head[15] ? ReplyKind::Telemetry : ReplyKind::None;
    }
    return ReplyKind::None;
}

inline const char* expectedUnitType(int code) {
    switch (code) {
    case 1:
        return "Unit type    :PIMLO";
    case 2:
        return "Unit type    :KORVAN";
    case 10:
        return "Unit type    :ZELK12";
    case 11:
        return "Unit type    :ZELK12+G";
    case 12:
        return "Unit type    :ZELK12+M";
    case 20:
        return "Unit type    :ZELK24";
    case 21:
        return "Unit type    :ZELK24+G";
    case 22:
        return "Unit type    :ZELK24+M";
    case 23:
        return "Unit type    :ZELK24+A";
    case 30:
        return "Unit type    :ZELK12T";
    case 31:
        return "Unit type    :ZELK12T+G";
    case 32:
        return "Unit type    :ZELK12T+M";
    default:
        return "Unit type    :unknown";
    }
}

inline int32_t wrappedDifference(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

// The display calls, in the order the decoder makes them for a telemetry frame.
enum class Call {
    Battery,
    LineSensors,
    Leds,
    CurrentLeft,
    CurrentRight,
    SonarLeft,
    SonarRight,
    Acceleration,
    ChartSample,
    UnitDetected,
    SoftVersion,
    HardVersion,
};
constexpr int TelemetrySteps = 9; // Battery .. ChartSample

// The state a telemetry frame leaves after its first `steps` display groups, starting from before.
inline RobotState telemetryStateAfter(const RobotState& before, const uint8_t* b, int steps) {
    RobotState s = before;
    if (steps >= 1)
        s.batteryVolts = static_cast<float>(static_cast<uint8_t>(b[3] - 1) * 0.1);
    for (int k = 0; k < 4; ++k) {
        if (steps >= 2)
            s.lineSensor[k] = ((b[4] >> k) & 1) != 0;
        if (steps >= 3)
            s.ledReported[k] = ((b[5] >> k) & 1) != 0;
    }
    if (steps >= 4)
        s.engineCurrentLeft = b[6];
    if (steps >= 5)
        s.engineCurrentRight = b[7];
    if (steps >= 6)
        s.sonarLeft = b[8];
    if (steps >= 7)
        s.sonarRight = b[9];
    if (steps >= 8) {
        s.accelX = wrappedDifference(b[10], before.accelZeroX);
        s.accelY = wrappedDifference(b[11], before.accelZeroY);
        s.accelZ = wrappedDifference(b[12], before.accelZeroZ);
    }
    if (steps >= 9) {
        s.aux13 = b[13];
        s.aux14 = b[14];
    }
    return s;
}

// A display that checks every call against the chunk being decoded.
class CheckingDisplay : public RobotDisplay {
public:
    void begin(const uint8_t* head, ReplyKind kind, const RobotState* live,
               const RobotState& before) {
        std::memcpy(head_, head, sizeof head_);
        kind_ = kind;
        live_ = live;
        before_ = before;
        calls_ = 0;
    }
    int calls() const { return calls_; }

    void showUnitDetected(int address, int argument) override {
        next(Call::UnitDetected);
        FUZZ_CHECK(address == head_[1] && argument == head_[3]);
        FUZZ_CHECK(*live_ == before_);
    }
    void showSoftVersion(int address, int version) override {
        next(Call::SoftVersion);
        FUZZ_CHECK(address == head_[1] && version == head_[3]);
        FUZZ_CHECK(*live_ == before_); // shown first, stored after
    }
    void showHardVersion(int address, int version, const char* unitTypeText) override {
        next(Call::HardVersion);
        FUZZ_CHECK(address == head_[1] && version == head_[3]);
        FUZZ_CHECK(unitTypeText != nullptr);
        FUZZ_CHECK(std::strcmp(unitTypeText, expectedUnitType(head_[3])) == 0);
        FUZZ_CHECK(*live_ == before_);
    }
    void showBattery(float percentage) override {
        next(Call::Battery);
        FUZZ_CHECK(percentage >= 0.0f && percentage <= 100.0f); // also false for NaN
        // 0 % at 5.5 V, 100 % at 6.2 V, linear between (a looser figure than the display's own).
        const double volts = static_cast<uint8_t>(head_[3] - 1) * 0.1;
        const double linear = std::fmin(100.0, std::fmax(0.0, (volts - 5.5) / 0.7 * 100.0));
        FUZZ_CHECK(std::fabs(percentage - linear) < 0.01);
        checkTelemetryState(1);
    }
    void showLineSensors(const RobotState& state) override {
        next(Call::LineSensors);
        checkTelemetryState(2, &state);
    }
    void showLeds(const RobotState& state) override {
        next(Call::Leds);
        checkTelemetryState(3, &state);
    }
    void showEngineCurrentLeft(const RobotState& state) override {
        next(Call::CurrentLeft);
        checkTelemetryState(4, &state);
    }
    void showEngineCurrentRight(const RobotState& state) override {
        next(Call::CurrentRight);
        checkTelemetryState(5, &state);
    }
    void showSonarLeft(const RobotState& state) override {
        next(Call::SonarLeft);
        checkTelemetryState(6, &state);
    }
    void showSonarRight(const RobotState& state) override {
        next(Call::SonarRight);
        checkTelemetryState(7, &state);
    }
    void showAcceleration(const RobotState& state) override {
        next(Call::Acceleration);
        checkTelemetryState(8, &state);
    }
    void chartSampleStep(const RobotState& state) override {
        next(Call::ChartSample);
        checkTelemetryState(9, &state);
    }

private:
    // The call must be the next one the chunk's kind calls for.
    void next(Call call) {
        switch (kind_) {
        case ReplyKind::None:
            FUZZ_CHECK(!"display called for an ignored chunk");
            break;
        case ReplyKind::UnitDetected:
            FUZZ_CHECK(calls_ == 0 && call == Call::UnitDetected);
            break;
        case ReplyKind::SoftVersion:
            FUZZ_CHECK(calls_ == 0 && call == Call::SoftVersion);
            break;
        case ReplyKind::HardVersion:
            FUZZ_CHECK(calls_ == 0 && call == Call::HardVersion);
            break;
        case ReplyKind::Telemetry:
            FUZZ_CHECK(calls_ < TelemetrySteps && static_cast<int>(call) == calls_);
            break;
        }
        ++calls_;
    }
    void checkTelemetryState(int steps, const RobotState* shown = nullptr) {
        FUZZ_CHECK(shown == nullptr || shown == live_);
        FUZZ_CHECK(*live_ == telemetryStateAfter(before_, head_, steps));
    }

    uint8_t head_[16] = {};
    ReplyKind kind_ = ReplyKind::None;
    const RobotState* live_ = nullptr;
    RobotState before_;
    int calls_ = 0;
};

// Decodes one chunk with every check above. count may be 0; data must hold count bytes.
inline ReplyKind decodeChecked(ReplyDecoder& decoder, RobotState& state, const uint8_t* data,
                               int count, bool portOpen) {
    uint8_t head[16] = {};
    std::memcpy(head, data, static_cast<size_t>(count < 16 ? count : 16));
    const ReplyKind kind = expectedKind(head, count);
    FUZZ_CHECK(recognizeChunk(data, count) == kind);

    const ReplyKind acted = portOpen ? kind : ReplyKind::None;
    const RobotState before = state;
    const bool zeroDoneBefore = decoder.autoZeroDone;
    CheckingDisplay display;
    display.begin(head, acted, &state, before);

    FUZZ_CHECK(decoder.handleChunk(data, count, portOpen, state, display) == acted);

    RobotState expected = before;
    bool zeroDone = zeroDoneBefore;
    int calls = 0;
    switch (acted) {
    case ReplyKind::None:
        break;
    case ReplyKind::UnitDetected:
        calls = 1;
        break;
    case ReplyKind::SoftVersion:
        expected.softVersion = head[3];
        calls = 1;
        break;
    case ReplyKind::HardVersion:
        expected.hardVersion = head[3];
        calls = 1;
        break;
    case ReplyKind::Telemetry:
        expected = telemetryStateAfter(before, head, TelemetrySteps);
        if (!zeroDoneBefore) {
            // The run's first accepted frame: the zero offsets become its raw readings.
            expected.accelZeroX = head[10];
            expected.accelZeroY = head[11];
            expected.accelZeroZ = head[12];
        }
        zeroDone = true;
        calls = TelemetrySteps;
        break;
    }
    FUZZ_CHECK(display.calls() == calls);
    FUZZ_CHECK(state == expected);
    FUZZ_CHECK(decoder.autoZeroDone == zeroDone);

    // The headline rule, stated on its own: the state moves only for a version reply or for a
    // telemetry frame with a good sum, and never while the port is not marked open.
    if (!(state == before)) {
        FUZZ_CHECK(portOpen);
        FUZZ_CHECK(kind == ReplyKind::SoftVersion || kind == ReplyKind::HardVersion ||
                   kind == ReplyKind::Telemetry);
    }
    return acted;
}

} // namespace fuzz
