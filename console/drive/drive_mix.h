#pragma once
// What both drive sources (the on-screen knob and the game controller) share: the mix of a
// forward and a sideways component into the two side values, the choice of the frame to send,
// the six dashboard gauges and the bytes of the frame.
//
// Components are integers scaled so that 100 is a full deflection: f positive forward, s
// positive to the left. Either may exceed 100 before the mix clamps the sides.

#include "protocol/robot_frame.h"

// Side values of a mix, each -100..100 (0 = stand still on that side).
struct DriveMix {
    int left = 0;
    int right = 0;
};

// left = clamp(f + s, -100, 100), right = clamp(f - s, -100, 100). Deflecting to the left
// raises the left side and lowers the right one.
DriveMix mixDrive(int f, int s);

// Frame a drive event asks for.
enum class DriveSend {
    None,      // nothing to send
    DrivePair, // FE a E7 left+100 FE a E8 right+100, one 8-byte send
    Stop,      // FE a E9 E9
};

// The six gauges the drive sources write, by their control names. Values are what the handler
// computes; the bar gauges clamp them to 0..100 when shown. The defaults are the neutral
// display: side gauges at zero (upper bars empty, lower bars full), DRIVE gauges at 0.
struct DriveGauges {
    int CGauge2 = 0;   // left side, upper: the positive part of the left value
    int CGauge3 = 100; // left side, lower: 100 + the negative part
    int CGauge5 = 0;   // right side, upper
    int CGauge4 = 100; // right side, lower
    int CGauge11 = 0;  // DRIVE "X"
    int CGauge12 = 0;  // DRIVE "Y"

    bool operator==(const DriveGauges&) const = default;
};

// Side gauges of a mix: a positive side value v fills the upper gauge with v and the lower one
// with 100; otherwise the upper gauge is 0 and the lower one 100 + v. The DRIVE gauges take
// gauge11 and gauge12 as given.
DriveGauges driveGauges(const DriveMix& mix, int gauge11, int gauge12);

// What a drive event does: the frame to offer and the gauges to show.
struct DriveAction {
    DriveSend send = DriveSend::None;
    int leftValue = 100; // bytes of a drive pair, 0..200 (mix + 100); 100 unless DrivePair
    int rightValue = 100;
    DriveGauges gauges;

    bool operator==(const DriveAction&) const = default;
};

// The send rule shared through driveActive: a non-neutral mix sends its drive pair and sets
// driveActive; a neutral one sends a stop frame only when driveActive was set, and clears it.
DriveSend driveSendFor(const DriveMix& mix, bool& driveActive);

// Fills buffer with the frame of action for the unit address (low 8 bits) and returns the
// number of bytes to hand to send_bytes: 8 for a drive pair, 4 for a stop frame, 0 for none.
int buildDriveFrame(FrameBuffer& buffer, int address, const DriveAction& action);
