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
                                    RobotState& state, RobotDisplay& display,
                                    const ItemObserver& observer) {
    if (!portOpen) {
        reader_.reset();
        return ReplyKind::None;
    }
    ReplyKind last = ReplyKind::None;
    reader_.read(data, count);
    while (const std::optional<StreamItem> item = reader_.next()) {
        if (item->kind != ReplyKind::None) {
            decodeFrame(*item, state, display);
            last = item->kind;
        }
        if (observer)
            observer(item->kind, item->kind == ReplyKind::None ? -1 : item->bytes[1]);
    }
    return last;
}

void ReplyDecoder::decodeFrame(const StreamItem& frame, RobotState& state, RobotDisplay& display) {
    const uint8_t* b = frame.bytes.data();
    switch (frame.kind) {
    case ReplyKind::None:
        break;
    case ReplyKind::UnitDetected:
        display.showUnitDetected(b[1], b[3]);
        break;
    case ReplyKind::SoftVersion:
        display.showSoftVersion(b[1], b[3]);
        state.softVersion = b[3];
        break;
    case ReplyKind::HardVersion:
        display.showHardVersion(b[1], b[3], unitTypeText(b[3]));
        state.hardVersion = b[3];
        break;
    case ReplyKind::Telemetry: {
        TelemetryFrame telemetry;
        std::memcpy(&telemetry, b, sizeof telemetry);
        decodeTelemetry(telemetry, state, display);
        if (onTelemetry_)
            onTelemetry_(telemetry, state);
        if (!autoZeroDone) {
            calibrateAccelerometer(state);
            autoZeroDone = true;
        }
        break;
    }
    }
}
