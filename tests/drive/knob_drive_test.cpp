// The on-screen joystick: knob placement, rim, drive values, send rule and gauges, with the
// shipped pad (20, 270, 259 x 261) and knob (32 x 32).
#include "console/drive/knob_drive.h"

#include <gtest/gtest.h>

namespace {

const KnobRect Pad{20, 270, 259, 261};
const KnobRect KnobAtDesign{132, 384, 32, 32}; // where the knob starts
const KnobRect KnobCentred{133, 384, 32, 32};  // its centre exactly on the pad centre

// Press on the pad so that the knob centre comes to pad centre - (dx, dy).
KnobOutcome pressAtOffset(int dx, int dy, bool& driveActive) {
    bool dragging = false;
    const KnobOutcome out =
        knobPress(Pad, KnobAtDesign, KnobSender::Pad, 129 - dx, 130 - dy, dragging, driveActive);
    EXPECT_TRUE(dragging);
    return out;
}

} // namespace

TEST(KnobGeometry, ShippedSizes) {
    const KnobGeometry g = knobGeometry(Pad, KnobAtDesign);
    EXPECT_EQ(g.padCentreX, 149);
    EXPECT_EQ(g.padCentreY, 400);
    EXPECT_EQ(g.limitRadius, 113);
    EXPECT_EQ(g.rimRadius, 129);
    EXPECT_EQ(g.scaleX, 129);
    EXPECT_EQ(g.scaleY, 130);
    EXPECT_EQ(knobAtRest(Pad, KnobAtDesign), (KnobRect{132, 383, 32, 32}));
}

TEST(KnobPlacement, CentreComesUnderThePointer) {
    // From the pad: pad origin + pointer - half the knob.
    EXPECT_EQ(placeKnobUnderPointer(Pad, KnobAtDesign, KnobSender::Pad, 129, 130), KnobCentred);
    // From the knob: its own origin; 5 px right of its centre moves it 5 px right.
    EXPECT_EQ(placeKnobUnderPointer(Pad, KnobAtDesign, KnobSender::Knob, 21, 16),
              (KnobRect{137, 384, 32, 32}));
    // Captured moves far outside the knob keep working.
    EXPECT_EQ(placeKnobUnderPointer(Pad, KnobCentred, KnobSender::Knob, 16, -49),
              (KnobRect{133, 319, 32, 32}));
}

TEST(KnobPress, AtThePadCentreIsNeutral) {
    bool driveActive = false;
    KnobOutcome out = pressAtOffset(0, 0, driveActive);
    EXPECT_EQ(out.knob, KnobCentred);
    EXPECT_EQ(out.f, 0);
    EXPECT_EQ(out.s, 0);
    EXPECT_EQ(out.action.send, DriveSend::None);
    EXPECT_FALSE(out.setDrive);
    EXPECT_FALSE(driveActive);

    driveActive = true; // a drive pair is still out: one stop frame, and 100/100
    out = pressAtOffset(0, 0, driveActive);
    EXPECT_EQ(out.action.send, DriveSend::Stop);
    EXPECT_TRUE(out.setDrive);
    EXPECT_EQ(out.driveLeft, 100);
    EXPECT_EQ(out.driveRight, 100);
    EXPECT_FALSE(driveActive);
}

TEST(KnobPress, OnTheKnobFiveRightOfItsCentre) {
    bool dragging = false;
    bool driveActive = false;
    const KnobOutcome out =
        knobPress(Pad, KnobAtDesign, KnobSender::Knob, 21, 16, dragging, driveActive);
    EXPECT_TRUE(dragging);
    EXPECT_EQ(out.knob, (KnobRect{137, 384, 32, 32}));
    EXPECT_EQ(out.dx, -4); // centre 153 vs 149
    EXPECT_EQ(out.dy, 0);
    EXPECT_EQ(out.s, -3); // trunc(-3.1)
    EXPECT_EQ(out.action.send, DriveSend::DrivePair);
    EXPECT_EQ(out.action.leftValue, 97);
    EXPECT_EQ(out.action.rightValue, 103);
    EXPECT_TRUE(driveActive);
}

TEST(KnobDrag, StraightDeflections) {
    bool driveActive = false;
    // 65 px up: half forward on both sides.
    KnobOutcome up = pressAtOffset(0, 65, driveActive);
    EXPECT_EQ(up.knob, (KnobRect{133, 319, 32, 32})); // inside the limit: where the pointer is
    EXPECT_EQ(up.f, 50);
    EXPECT_EQ(up.action.send, DriveSend::DrivePair);
    EXPECT_EQ(up.action.leftValue, 150);
    EXPECT_EQ(up.action.rightValue, 150);
    EXPECT_EQ(up.action.gauges, (DriveGauges{50, 100, 50, 100, 0, 65}));
    EXPECT_TRUE(up.setDrive);
    EXPECT_EQ(up.driveLeft, 150);
    EXPECT_EQ(up.driveRight, 150);

    // 129 px left: s = 100, turning on the spot; the knob stays on the rim at 129 px.
    KnobOutcome left = pressAtOffset(129, 0, driveActive);
    EXPECT_EQ(left.s, 100);
    EXPECT_EQ(left.f, 0);
    EXPECT_EQ(left.action.leftValue, 200);
    EXPECT_EQ(left.action.rightValue, 0);
    EXPECT_EQ(left.knob, (KnobRect{4, 384, 32, 32}));
    EXPECT_EQ(left.action.gauges, (DriveGauges{100, 100, 0, 0, 129, 0}));

    // 130 px down: full reverse; the knob is put on the rim 129 px below.
    KnobOutcome down = pressAtOffset(0, -130, driveActive);
    EXPECT_EQ(down.f, -100);
    EXPECT_EQ(down.action.leftValue, 0);
    EXPECT_EQ(down.action.rightValue, 0);
    EXPECT_EQ(down.knob, (KnobRect{133, 513, 32, 32}));
    EXPECT_EQ(down.action.gauges, (DriveGauges{0, 0, 0, 0, 0, -130}));
}

TEST(KnobDrag, BeyondTheLimitTheKnobSitsOnTheRimAndValuesFollowThePointer) {
    bool driveActive = false;
    // Pointer 200 px above the centre: knob centre 129 px above, f from the pointer's 200 px.
    const KnobOutcome far = pressAtOffset(0, 200, driveActive);
    EXPECT_EQ(far.knob, (KnobRect{133, 255, 32, 32})); // centre (149, 271)
    EXPECT_EQ(far.dy, 200);
    EXPECT_EQ(far.f, 153);
    EXPECT_EQ(far.action.leftValue, 200);
    EXPECT_EQ(far.action.rightValue, 200);
    EXPECT_EQ(far.action.gauges.CGauge12, 200); // the bar clamps it when shown

    // dx = dy = 80: distance 113.1, just beyond the limit of 113.
    const KnobOutcome diag = pressAtOffset(80, 80, driveActive);
    EXPECT_EQ(diag.s, 62);
    EXPECT_EQ(diag.f, 61);
    EXPECT_EQ(diag.action.leftValue, 200);
    EXPECT_EQ(diag.action.rightValue, 99);
    EXPECT_EQ(diag.action.gauges, (DriveGauges{100, 100, 0, 99, 80, 80}));
    // On the rim: centre (149 - 91, 400 - 91), trunc(129 * cos 45 deg) = 91.
    EXPECT_EQ(diag.knob, (KnobRect{42, 293, 32, 32}));

    // dx = dy = 79: distance 111.7, inside: the knob stays under the pointer.
    const KnobOutcome inside = pressAtOffset(79, 79, driveActive);
    EXPECT_EQ(inside.knob, (KnobRect{54, 305, 32, 32}));
}

TEST(KnobDrag, RightOfAndAboveTheCentre) {
    bool driveActive = false;
    const KnobOutcome out = pressAtOffset(-40, 30, driveActive);
    EXPECT_EQ(out.s, -31);
    EXPECT_EQ(out.f, 23);
    EXPECT_EQ(out.action.leftValue, 92);
    EXPECT_EQ(out.action.rightValue, 154);
    EXPECT_EQ(out.action.gauges, (DriveGauges{0, 92, 54, 100, -40, 30}));
}

TEST(KnobDrag, RestPositionIsNeutral) {
    bool dragging = false;
    bool driveActive = false;
    const KnobRect rest = knobAtRest(Pad, KnobAtDesign);
    const KnobOutcome out = knobPress(Pad, rest, KnobSender::Knob, 16, 16, dragging, driveActive);
    EXPECT_EQ(out.knob, rest);
    EXPECT_EQ(out.dx, 1);
    EXPECT_EQ(out.dy, 1);
    EXPECT_EQ(out.mix.left, 0);
    EXPECT_EQ(out.mix.right, 0);
    EXPECT_EQ(out.action.send, DriveSend::None);
    EXPECT_EQ(out.action.gauges, (DriveGauges{0, 100, 0, 100, 1, 1}));
}

TEST(KnobMove, WithoutADragOnlyTheGaugesGoNeutral) {
    bool driveActive = true;
    const KnobRect somewhere{60, 300, 32, 32};
    const KnobOutcome out =
        knobMove(Pad, somewhere, KnobSender::Pad, 10, 10, /*knobDragging=*/false, driveActive);
    EXPECT_EQ(out.knob, somewhere);
    EXPECT_EQ(out.action.send, DriveSend::None);
    EXPECT_EQ(out.action.gauges, DriveGauges{});
    EXPECT_FALSE(out.setDrive);
    EXPECT_TRUE(driveActive);
}

TEST(KnobMove, DragOutAndBackToTheCentre) {
    bool dragging = false;
    bool driveActive = false;
    KnobOutcome out =
        knobPress(Pad, KnobAtDesign, KnobSender::Pad, 129, 130 - 65, dragging, driveActive);
    ASSERT_EQ(out.action.send, DriveSend::DrivePair);

    // Moves come from the knob (it captured the mouse); back to the centre.
    out = knobMove(Pad, out.knob, KnobSender::Knob, 16, 16 + 65, dragging, driveActive);
    EXPECT_EQ(out.knob, KnobCentred);
    EXPECT_EQ(out.action.send, DriveSend::Stop);
    EXPECT_TRUE(out.setDrive);
    EXPECT_EQ(out.driveLeft, 100);
    EXPECT_EQ(out.driveRight, 100);
    EXPECT_FALSE(driveActive);

    // Neutral again with driveActive clear: nothing sent, driveLeft/driveRight keep their values.
    out = knobMove(Pad, out.knob, KnobSender::Knob, 16, 16, dragging, driveActive);
    EXPECT_EQ(out.action.send, DriveSend::None);
    EXPECT_FALSE(out.setDrive);

    // Every move while deflected sends again.
    out = knobMove(Pad, out.knob, KnobSender::Knob, 16 - 40, 16, dragging, driveActive);
    EXPECT_EQ(out.action.send, DriveSend::DrivePair);
    out = knobMove(Pad, out.knob, KnobSender::Knob, 16, 16, dragging, driveActive);
    EXPECT_EQ(out.action.send, DriveSend::DrivePair); // still 40 px left of the centre
}

TEST(KnobRelease, AnywhereStopsAndRests) {
    for (const bool active : {false, true}) {
        bool dragging = true;
        bool driveActive = active;
        const KnobOutcome out = knobRelease(Pad, KnobRect{42, 293, 32, 32}, dragging);
        EXPECT_FALSE(dragging);
        EXPECT_EQ(out.knob, (KnobRect{132, 383, 32, 32}));
        EXPECT_EQ(out.action.send, DriveSend::Stop);
        EXPECT_EQ(out.action.gauges, DriveGauges{});
        EXPECT_TRUE(out.setDrive);
        EXPECT_EQ(out.driveLeft, 100);
        EXPECT_EQ(out.driveRight, 100);
        EXPECT_EQ(driveActive, active); // the release leaves driveActive as it is
        FrameBuffer buffer{};
        EXPECT_EQ(buildDriveFrame(buffer, 9, out.action), 4);
        EXPECT_EQ(buffer[2], 0xE9);
    }
}

TEST(KnobDrag, FarPointerDoesNotOverflow) {
    bool driveActive = false;
    const KnobOutcome out = pressAtOffset(-100000, 100000, driveActive);
    EXPECT_EQ(out.s, -77519);
    EXPECT_EQ(out.f, 76923);
    EXPECT_EQ(out.action.leftValue, 0); // f + s = -596
    EXPECT_EQ(out.action.rightValue, 200);
    // Direction up and to the right: on the rim at 45 degrees.
    EXPECT_EQ(out.knob, (KnobRect{149 + 91 - 16, 400 - 91 - 16, 32, 32}));
}
