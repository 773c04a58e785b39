// Keyboard driving through the knob's arithmetic: the values of the held directions, the frame
// of each change of the held set, and the one stop frame of the last release.
#include "console/drive/key_drive.h"

#include <gtest/gtest.h>

namespace {

const KnobGeometry kShipped = knobGeometry(KnobRect{20, 270, 259, 261}, KnobRect{132, 384, 32, 32});

struct Keys {
    KeyDrive drive;
    bool driveActive = false;
    KeyOutcome out;

    bool press(DriveKey k, bool shift = false) {
        return drive.press(k, shift, kShipped, driveActive, out);
    }
    bool release(DriveKey k, bool shift = false) {
        return drive.release(k, shift, kShipped, driveActive, out);
    }
    std::pair<int, int> pair() const { return {out.action.leftValue, out.action.rightValue}; }
};

} // namespace

TEST(KeyDrive, HalfTravelMatchesTheKnobAndShiftGivesFullTravel) {
    Keys k;
    ASSERT_TRUE(k.press(DriveKey::Up));
    EXPECT_EQ(k.out.action.send, DriveSend::DrivePair);
    EXPECT_EQ(k.pair(), std::make_pair(150, 150)); // as a 65-pixel drag up
    EXPECT_EQ(k.out.driveLeft, 150);
    EXPECT_EQ(k.out.action.gauges.CGauge12, 65);
    EXPECT_TRUE(k.driveActive);

    // Up and Left: forward while turning left (dx 64 gives s = 49).
    ASSERT_TRUE(k.press(DriveKey::A));
    EXPECT_EQ(k.pair(), std::make_pair(199, 101));

    // Shift while held: the whole travel, both axes.
    ASSERT_TRUE(k.drive.setFullTravel(true, kShipped, k.driveActive, k.out));
    EXPECT_EQ(k.pair(), std::make_pair(200, 100));

    Keys back;
    ASSERT_TRUE(back.press(DriveKey::S, true));
    EXPECT_EQ(back.pair(), std::make_pair(0, 0));
    Keys right;
    ASSERT_TRUE(right.press(DriveKey::Right));
    EXPECT_EQ(right.pair(), std::make_pair(51, 149)); // turning right on the spot
}

TEST(KeyDrive, OnlyChangesSendAndTheLastReleaseStopsOnce) {
    Keys k;
    ASSERT_TRUE(k.press(DriveKey::Up));
    EXPECT_FALSE(k.press(DriveKey::Up)) << "the same key again is no change";
    EXPECT_FALSE(k.release(DriveKey::Down)) << "a key never pressed";

    // Forward and back together cancel: the drive stops while both are held.
    ASSERT_TRUE(k.press(DriveKey::Down));
    EXPECT_EQ(k.out.action.send, DriveSend::Stop);
    EXPECT_FALSE(k.driveActive);
    ASSERT_TRUE(k.release(DriveKey::Down));
    EXPECT_EQ(k.pair(), std::make_pair(150, 150));

    ASSERT_TRUE(k.release(DriveKey::Up));
    EXPECT_EQ(k.out.action.send, DriveSend::Stop);
    EXPECT_EQ(k.out.driveLeft, 100);
    EXPECT_EQ(k.out.driveRight, 100);
    EXPECT_EQ(k.out.action.gauges, DriveGauges{});
    EXPECT_FALSE(k.driveActive) << "a controller at rest owes no second stop";
    EXPECT_FALSE(k.drive.active());
}
