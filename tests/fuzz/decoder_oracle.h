#pragma once
// The invariants of frame reading and decoding, checked from the outside for the fuzz targets.
//
// decodeChecked() runs one chunk through ReplyDecoder::handleChunk and compares everything it does
// with what this file computes from the bytes alone (its own model of the stream, frame sum,
// reply table and field arithmetic):
//   - the frames decoded are the ones the stream calls for: each read's bytes after what an
//     earlier read that filled the read size left unfinished, scanned from the front; a start
//     byte followed by a whole frame that fits the rule is a frame, any other byte is skipped;
//     nothing is carried past a read shorter than the read size, nor while the port is not open;
//   - recognizeChunk gives the kind of the frame at a chunk's start and of each frame; the
//     decoder tells the frames in order;
//   - the display is called only for each frame's kind, in the decoder's order, with the bytes of
//     that frame; each telemetry step sees exactly the fields written so far, the others unchanged;
//   - the battery percentage shown lies in 0..100;
//   - afterwards the RobotState differs from before only by the fields of version replies and
//     telemetry frames whose sum is good, and while the port is not marked open nothing changes.
// A violation prints what failed and traps, which libFuzzer reports as a crash with its input.

#include "protocol/reply_decoder.h"
#include "protocol/robot_frame.h"
#include "protocol/robot_state.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

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

// One frame the stream calls for: its first 16 bytes (a reply fills 4) and kind.
struct ExpectedFrame {
    uint8_t head[16] = {};
    ReplyKind kind = ReplyKind::None;
};

// The stream as this file reads it: what a full read left unfinished, and the frames of a read.
class StreamModel {
public:
    static constexpr int readSize = LinkReadSize;

    std::vector<ExpectedFrame> read(const uint8_t* data, int count, bool portOpen) {
        std::vector<ExpectedFrame> frames;
        if (!portOpen) {
            carried_.clear();
            return frames;
        }
        std::vector<uint8_t> bytes = carried_;
        bytes.insert(bytes.end(), data, data + count);
        carried_.clear();
        const size_t end = bytes.size();
        for (size_t i = 0; i < end;) {
            const size_t need = bytes[i] == 0xFE ? 4 : bytes[i] == 0xFC ? 16 : 0;
            if (need > 0 && i + need > end && count >= readSize) {
                carried_.assign(bytes.begin() + long(i), bytes.end());
                break;
            }
            ExpectedFrame f;
            if (need > 0 && i + need <= end) {
                std::memcpy(f.head, &bytes[i], need);
                f.kind = expectedKind(f.head, int(need));
            }
            if (f.kind == ReplyKind::None) {
                ++i;
                continue;
            }
            frames.push_back(f);
            i += need;
        }
        return frames;
    }

private:
    std::vector<uint8_t> carried_;
};

// The state after one decoded frame, and whether the accelerometer has been zeroed by then.
inline RobotState stateAfterFrame(const RobotState& before, const ExpectedFrame& f,
                                  bool& zeroDone) {
    RobotState expected = before;
    switch (f.kind) {
    case ReplyKind::None:
    case ReplyKind::UnitDetected:
        break;
    case ReplyKind::SoftVersion:
        expected.softVersion = f.head[3];
        break;
    case ReplyKind::HardVersion:
        expected.hardVersion = f.head[3];
        break;
    case ReplyKind::Telemetry:
        expected = telemetryStateAfter(before, f.head, TelemetrySteps);
        if (!zeroDone) {
            // The run's first accepted frame: the zero offsets become its raw readings.
            expected.accelZeroX = f.head[10];
            expected.accelZeroY = f.head[11];
            expected.accelZeroZ = f.head[12];
        }
        zeroDone = true;
        break;
    }
    return expected;
}

inline int displayCallsFor(ReplyKind kind) {
    return kind == ReplyKind::None ? 0 : kind == ReplyKind::Telemetry ? TelemetrySteps : 1;
}

// Decodes one chunk with every check above. count may be 0; data must hold count bytes.
// Returns the number of frames decoded.
inline int decodeChecked(ReplyDecoder& decoder, StreamModel& model, RobotState& state,
                         const uint8_t* data, int count, bool portOpen) {
    uint8_t head[16] = {};
    std::memcpy(head, data, static_cast<size_t>(count < 16 ? count : 16));
    FUZZ_CHECK(recognizeChunk(data, count) == expectedKind(head, count));
    const std::vector<ExpectedFrame> frames = model.read(data, count, portOpen);
    for (const ExpectedFrame& f : frames)
        FUZZ_CHECK(recognizeChunk(f.head, f.kind == ReplyKind::Telemetry ? 16 : 4) == f.kind);

    const RobotState before = state;
    CheckingDisplay display;
    size_t next = 0;
    bool zeroDone = decoder.autoZeroDone;
    RobotState frameBefore = state;
    const auto beginFrame = [&] {
        frameBefore = state;
        if (next < frames.size())
            display.begin(frames[next].head, frames[next].kind, &state, frameBefore);
        else
            display.begin(ExpectedFrame{}.head, ReplyKind::None, &state, frameBefore);
    };
    beginFrame();
    const auto observe = [&](ReplyKind kind, int address) {
        if (kind == ReplyKind::None) {
            FUZZ_CHECK(address == -1);
            FUZZ_CHECK(display.calls() == 0); // a skipped run shows nothing
            return;
        }
        FUZZ_CHECK(next < frames.size());
        const ExpectedFrame& f = frames[next];
        FUZZ_CHECK(kind == f.kind && address == f.head[1]);
        FUZZ_CHECK(display.calls() == displayCallsFor(f.kind));
        FUZZ_CHECK(state == stateAfterFrame(frameBefore, f, zeroDone));
        FUZZ_CHECK(decoder.autoZeroDone == zeroDone);
        ++next;
        beginFrame();
    };

    const ReplyKind last = decoder.handleChunk(data, count, portOpen, state, display, observe);
    FUZZ_CHECK(next == frames.size());
    FUZZ_CHECK(last == (frames.empty() ? ReplyKind::None : frames.back().kind));

    // The headline rule, stated on its own: the state moves only for version replies and
    // telemetry frames with a good sum, and never while the port is not marked open.
    if (!(state == before)) {
        FUZZ_CHECK(portOpen);
        bool changing = false;
        for (const ExpectedFrame& f : frames)
            changing = changing || f.kind == ReplyKind::SoftVersion ||
                       f.kind == ReplyKind::HardVersion || f.kind == ReplyKind::Telemetry;
        FUZZ_CHECK(changing);
    }
    return int(frames.size());
}

} // namespace fuzz
