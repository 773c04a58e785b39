#pragma once
// The reply decoder: turns one received chunk into RobotState values and dashboard updates.
//
// The main window wraps it as handleRobotData, the LINK_DATA case of its link-event callback:
//
//     decoder.handleChunk(link->received_data(), link->received_count(), portOpen, state, *this);
//     link->acknowledge_data(); // always last, on every path (ignored and bad chunks too)
//
// The decoder itself never acknowledges and never sends anything; the link posts its next read
// only after acknowledge_data, so the decoder is never re-entered.

#include "protocol/robot_frame.h"
#include "protocol/robot_state.h"

#include <cstdint>

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
    // Set once the first accepted telemetry frame of the run has calibrated the accelerometer.
    // Lives as long as the decoder (the whole run): closing and reopening the port does not
    // reset it, so a reconnect never calibrates again.
    bool autoZeroDone = false;

    // Handles one chunk and returns what it acted on (None when it was ignored). Does nothing
    // while portOpen is false. Order per reply:
    //   unit detected: show (b1, b3); no field changes.
    //   soft version:  show (b1, b3), then softVersion = b3.
    //   hard version:  show (b1, b3, unit-type text), then hardVersion = b3.
    //   telemetry (good sum only): volts; percentage and show battery; line sensors, show;
    //     LEDs, show; current left, show; current right, show; sonar left, show; sonar right,
    //     show; accel x/y/z (raw - zero), show acceleration; aux13/aux14; chart sample step;
    //     then, on the first accepted frame only, calibrate the accelerometer.
    ReplyKind handleChunk(const uint8_t* data, int count, bool portOpen, RobotState& state,
                          RobotDisplay& display);
};
