#pragma once
// The reply decoder: turns the received chunks into RobotState values and dashboard updates,
// every frame of a chunk in the order received (frame_reader.h says how frames are found).
//
// The main window wraps it as handleRobotData, the LINK_DATA case of its link-event callback:
//
//     decoder.handleChunk(link->received_data(), link->received_count(), portOpen, state, *this);
//     link->acknowledge_data(); // always last, on every path (ignored and bad chunks too)
//
// The decoder itself never acknowledges and never sends anything; the link posts its next read
// only after acknowledge_data, so the decoder is never re-entered.

#include "protocol/frame_reader.h"
#include "protocol/robot_frame.h"
#include "protocol/robot_state.h"

#include <cstdint>
#include <functional>

// What the decoder has the dashboard show. The main window implements it. The operations that
// take a RobotState are called right after the decoder has written the fields they show.
class RobotDisplay {
public:
    virtual ~RobotDisplay() = default;

    virtual void showUnitDetected(int address, int argument) = 0;
    virtual void showSoftVersion(int address, int version) = 0;
    virtual void showHardVersion(int address, int version, const char* unitTypeText) = 0;
    virtual void showBattery(float percentage) = 0; // already limited to 0..100
    virtual void showLineSensors(const RobotState& state) = 0;
    virtual void showLeds(const RobotState& state) = 0;
    virtual void showEngineCurrentLeft(const RobotState& state) = 0;
    virtual void showEngineCurrentRight(const RobotState& state) = 0;
    virtual void showSonarLeft(const RobotState& state) = 0;
    virtual void showSonarRight(const RobotState& state) = 0;
    virtual void showAcceleration(const RobotState& state) = 0;
    virtual void chartSampleStep(const RobotState& state) = 0;
};

class ReplyDecoder {
public:
    // readSize: the most bytes one chunk holds; a chunk that full may end inside a frame.
    explicit ReplyDecoder(int readSize = LinkReadSize) : reader_(readSize) {}

    // Set once the first accepted telemetry frame of the run has calibrated the accelerometer.
    // Lives as long as the decoder (the whole run): closing and reopening the port does not
    // reset it, so a reconnect never calibrates again.
    bool autoZeroDone = false;

    // Told of every item of the stream after it was handled: a decoded frame with its kind and
    // address byte, or a skipped run of bytes as None with address -1.
    using ItemObserver = std::function<void(ReplyKind kind, int address)>;

    // Handles one chunk: decodes every frame it completes, in order, and returns the kind of the
    // last one (None when it completed no frame). While portOpen is false the chunk is ignored
    // and an unfinished frame forgotten. Order per reply:
    //   unit detected: show (b1, b3); no field changes.
    //   soft version:  show (b1, b3), then softVersion = b3.
    //   hard version:  show (b1, b3, unit-type text), then hardVersion = b3.
    //   telemetry (good sum only): volts; percentage and show battery; line sensors, show;
    //     LEDs, show; current left, show; current right, show; sonar left, show; sonar right,
    //     show; accel x/y/z (raw - zero), show acceleration; aux13/aux14; chart sample step;
    //     then, on the first accepted frame only, calibrate the accelerometer.
    ReplyKind handleChunk(const uint8_t* data, int count, bool portOpen, RobotState& state,
                          RobotDisplay& display, const ItemObserver& observer = nullptr);

    // A new stream begins (the port opened or closed): an unfinished frame is forgotten.
    void resetStream() { reader_.reset(); }

    // Told of every accepted telemetry frame once its values are in state and shown, before the
    // first frame's calibration moves the zero (a recording keeps what the dashboard showed).
    using TelemetryObserver =
        std::function<void(const TelemetryFrame& frame, const RobotState& state)>;
    void setOnTelemetry(TelemetryObserver observer) { onTelemetry_ = std::move(observer); }

private:
    void decodeFrame(const StreamItem& frame, RobotState& state, RobotDisplay& display);

    FrameReader reader_;
    TelemetryObserver onTelemetry_;
};
