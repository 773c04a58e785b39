#include "console/drive/controller_drive.h"

#include <cstdlib>
#include <utility>

int controllerAxisValue(uint32_t position, uint32_t range) {
    if (range == 0) {
        return 0;
    }
    // Twice d, so that the half of an odd range stays exact: 2d = 2 * position - range.
    const int64_t twiceD = 2 * static_cast<int64_t>(position) - static_cast<int64_t>(range);
    // |d / range| > 0.1  <=>  |2d| * 10 > 2 * range  <=>  5 * |2d| > range.
    if (5 * std::llabs(twiceD) <= static_cast<int64_t>(range)) {
        return 0;
    }
    // trunc(-d * 200 / 65536) = trunc(-2d * 100 / 65536); integer division truncates toward 0.
    // |2d| < 2^33, so the value stays below 2^24 in magnitude.
    return static_cast<int>(-twiceD * 100 / 65536);
}

bool controllerPollable(const JoystickCaps& caps) {
    return axisRange(caps.yMin, caps.yMax) != 0 && axisRange(caps.xMin, caps.xMax) != 0 &&
           axisRange(caps.zMin, caps.zMax) != 0;
}

ControllerValues controllerValues(const JoystickReading& reading, const JoystickCaps& caps,
                                  const ControllerOptions& options) {
    ControllerValues values;
    values.f = controllerAxisValue(reading.y, axisRange(caps.yMin, caps.yMax));
    values.s = controllerAxisValue(reading.x, axisRange(caps.xMin, caps.xMax));
    if (options.swapXY) {
        std::swap(values.f, values.s);
    }
    if (options.negateX) {
        values.s = -values.s;
    }
    if (options.negateY) {
        values.f = -values.f;
    }
    return values;
}

DriveAction controllerAction(bool pollOk, const JoystickReading& reading, const JoystickCaps& caps,
                             const ControllerOptions& options, bool& driveActive) {
    // A failed poll is a neutral reading: never reuse a position the controller no longer gives.
    const ControllerValues values =
        pollOk ? controllerValues(reading, caps, options) : ControllerValues{};
    const DriveMix mix = mixDrive(values.f, values.s);
    DriveAction action;
    action.send = driveSendFor(mix, driveActive);
    if (action.send == DriveSend::DrivePair) {
        action.leftValue = mix.left + 100;
        action.rightValue = mix.right + 100;
    }
    action.gauges = driveGauges(mix, std::abs(values.f), std::abs(values.s));
    return action;
}

bool ControllerDrive::probe() {
    if (probed_) {
        return joystickPresent_;
    }
    probed_ = true;
    if (device_.probe()) {
        joystickCaps_ = device_.caps();
        joystickPresent_ = true;
    }
    return joystickPresent_;
}

std::optional<DriveAction> ControllerDrive::tick(const ControllerOptions& options,
                                                 bool& driveActive) {
    if (!joystickPresent_ || !controllerPollable(joystickCaps_)) {
        return std::nullopt;
    }
    JoystickReading reading;
    const bool pollOk = device_.poll(reading);
    // Only a reading that is really centred lets go of the hold; a failed poll tells nothing.
    if (heldAtNeutral_ && pollOk &&
        controllerValues(reading, joystickCaps_, options) == ControllerValues{})
        heldAtNeutral_ = false;
    const DriveAction action =
        controllerAction(pollOk && !heldAtNeutral_, reading, joystickCaps_, options, driveActive);
    deflected_ = action.send == DriveSend::DrivePair;
    return action;
}
