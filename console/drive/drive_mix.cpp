#include "console/drive/drive_mix.h"

#include <algorithm>
#include <cstdint>

DriveMix mixDrive(int f, int s) {
    // In 64 bits: the sum of two ints cannot overflow there.
    const int64_t sum = static_cast<int64_t>(f) + s;
    const int64_t difference = static_cast<int64_t>(f) - s;
    return DriveMix{static_cast<int>(std::clamp<int64_t>(sum, -100, 100)),
                    static_cast<int>(std::clamp<int64_t>(difference, -100, 100))};
}

DriveGauges driveGauges(const DriveMix& mix, int gauge11, int gauge12) {
    DriveGauges gauges;
    if (mix.left > 0) {
        gauges.CGauge2 = mix.left;
        gauges.CGauge3 = 100;
    } else {
        gauges.CGauge2 = 0;
        gauges.CGauge3 = mix.left + 100;
    }
    if (mix.right > 0) {
        gauges.CGauge5 = mix.right;
        gauges.CGauge4 = 100;
    } else {
        gauges.CGauge5 = 0;
        gauges.CGauge4 = mix.right + 100;
    }
    gauges.CGauge11 = gauge11;
    gauges.CGauge12 = gauge12;
    return gauges;
}

DriveSend driveSendFor(const DriveMix& mix, bool& driveActive) {
    if (mix.left != 0 || mix.right != 0) {
        driveActive = true;
        return DriveSend::DrivePair;
    }
    const DriveSend send = driveActive ? DriveSend::Stop : DriveSend::None;
    driveActive = false;
    return send;
}

int buildDriveFrame(FrameBuffer& buffer, int address, const DriveAction& action) {
    switch (action.send) {
    case DriveSend::DrivePair:
        return buildDrivePair(buffer, address, action.leftValue, action.rightValue);
    case DriveSend::Stop:
        return buildStop(buffer, address);
    case DriveSend::None:
        break;
    }
    return 0;
}
