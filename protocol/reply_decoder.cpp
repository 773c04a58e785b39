#include "protocol/reply_decoder.h"

#include <cstring>

namespace {

void decodeTelemetry(const TelemetryFrame& frame, RobotState& state, RobotDisplay& display) {
    state.batteryVolts = batteryVoltsFromCode(frame.battery);
    display.showBattery(batteryPercentage(state.batteryVolts));

    for (int k = 0; k < 4; ++k) {
        state.lineSensor[k] = ((frame.lineSensors >> k) & 1) != 0;
    }
    display.showLineSensors(state);

    for (int k = 0; k < 4; ++k) {
        state.ledReported[k] = ((frame.leds >> k) & 1) != 0;
    }
    display.showLeds(state);

    state.engineCurrentLeft = frame.currentLeft;
    display.showEngineCurrentLeft(state);
    state.engineCurrentRight = frame.currentRight;
    display.showEngineCurrentRight(state);

    state.sonarLeft = frame.sonarLeft;
    display.showSonarLeft(state);
    state.sonarRight = frame.sonarRight;
    display.showSonarRight(state);

    state.accelX = accelValue(frame.accelX, state.accelZeroX);
    state.accelY = accelValue(frame.accelY, state.accelZeroY);
    state.accelZ = accelValue(frame.accelZ, state.accelZeroZ);
    display.showAcceleration(state);

    state.aux13 = frame.aux13;
    state.aux14 = frame.aux14;

    display.chartSampleStep(state);
}

} // namespace

ReplyKind ReplyDecoder::handleChunk(const uint8_t* data, int count, bool portOpen,
                                    RobotState& state, RobotDisplay& display) {
    if (!portOpen) {
        return ReplyKind::None;
    }
    const ReplyKind kind = recognizeChunk(data, count);
    switch (kind) {
    case ReplyKind::None:
        break;
    case ReplyKind::UnitDetected:
        display.showUnitDetected(data[1], data[3]);
        break;
    case ReplyKind::SoftVersion:
        display.showSoftVersion(data[1], data[3]);
        state.softVersion = data[3];
        break;
    case ReplyKind::HardVersion:
        display.showHardVersion(data[1], data[3], unitTypeText(data[3]));
        state.hardVersion = data[3];
        break;
    case ReplyKind::Telemetry: {
        TelemetryFrame frame;
        std::memcpy(&frame, data, sizeof frame);
        decodeTelemetry(frame, state, display);
        if (!autoZeroDone) {
            calibrateAccelerometer(state);
            autoZeroDone = true;
        }
        break;
    }
    }
    return kind;
}
