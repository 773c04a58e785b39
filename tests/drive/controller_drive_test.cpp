// The game controller's tick: axis scale and dead zone, options, mix, frames, gauges, and the
// tick's use of the device (presence, ranges, failed polls) with a scripted device.
#include "console/drive/controller_drive.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>

namespace {

constexpr uint32_t Centre = 32767;

JoystickCaps fullCaps() {
    JoystickCaps caps;
    caps.xMax = 65535;
    caps.yMax = 65535;
    caps.zMax = 65535;
    return caps;
}

JoystickCaps caps1023() {
    JoystickCaps caps;
    caps.xMax = 1023;
    caps.yMax = 1023;
    caps.zMax = 1023;
    return caps;
}

// Result of one tick with the full 0..65535 controller and driveActive initially false.
DriveAction tickAt(uint32_t x, uint32_t y, const ControllerOptions& options = {}) {
    bool driveActive = false;
    return controllerAction(true, JoystickReading{x, y}, fullCaps(), options, driveActive);
}

// A device that answers from a script. A failed poll still writes stale positions into the
// reading, as a position record left over from the last good poll would hold them.
class ScriptedDevice : public JoystickDevice {
public:
    struct Poll {
        bool ok;
        JoystickReading reading;
    };

    bool present = true;
    JoystickCaps deviceCaps = fullCaps();
    std::deque<Poll> polls;
    Poll lastPoll{true, {Centre, Centre}};
    int probeCalls = 0;
    int capsCalls = 0;
    int pollCalls = 0;

    bool probe() override {
        ++probeCalls;
        return present;
    }
    JoystickCaps caps() override {
        ++capsCalls;
        return deviceCaps;
    }
    bool poll(JoystickReading& reading) override {
        ++pollCalls;
        if (!polls.empty()) {
            lastPoll = polls.front();
            polls.pop_front();
        }
        reading = lastPoll.reading;
        return lastPoll.ok;
    }
};

} // namespace

// --- axis scale and dead zone -------------------------------------------------------------

TEST(ControllerAxis, FullRangeValuesAtTheMarks) {
    const uint32_t range = 65535;
    EXPECT_EQ(controllerAxisValue(0, range), 99);
    EXPECT_EQ(controllerAxisValue(65535, range), -99);
    EXPECT_EQ(controllerAxisValue(26213, range), 20);
    EXPECT_EQ(controllerAxisValue(26214, range), 0);
    EXPECT_EQ(controllerAxisValue(32767, range), 0);
    EXPECT_EQ(controllerAxisValue(32768, range), 0);
    EXPECT_EQ(controllerAxisValue(39321, range), 0); // |d / range| exactly 0.1: still dead
    EXPECT_EQ(controllerAxisValue(39322, range), -20);
}

TEST(ControllerAxis, FullRangeDeadZoneIsExactlyTheMiddleBand) {
    // Over every position: 0 exactly on 26214..39321, never smaller than 20 in magnitude outside,
    // non-increasing from 99 to -99, and the same as the decimal formula on doubles.
    const uint32_t range = 65535;
    int previous = 100;
    for (uint32_t p = 0; p <= 65535; ++p) {
        const int v = controllerAxisValue(p, range);
        const bool dead = p >= 26214 && p <= 39321;
        ASSERT_EQ(v == 0, dead) << "position " << p;
        if (!dead) {
            ASSERT_GE(std::abs(v), 20) << "position " << p;
        }
        ASSERT_LE(v, previous) << "position " << p;
        previous = v;
        const double d = static_cast<double>(p) - range / 2.0;
        const int expected = std::abs(d / range) > 0.1 ? static_cast<int>(-d * 200 / 65536) : 0;
        ASSERT_EQ(v, expected) << "position " << p;
    }
    EXPECT_EQ(previous, -99);
}

TEST(ControllerAxis, SmallRangeKeepsTheFixedScale) {
    // 0..1023: the dead zone follows the range, the scale stays 65536 steps, so at most 1.
    const uint32_t range = 1023;
    EXPECT_EQ(controllerAxisValue(0, range), 1);
    EXPECT_EQ(controllerAxisValue(1023, range), -1);
    EXPECT_EQ(controllerAxisValue(511, range), 0);
    int nonZero = 0;
    for (uint32_t p = 0; p <= 1023; ++p) {
        const int v = controllerAxisValue(p, range);
        ASSERT_LE(std::abs(v), 1) << "position " << p;
        nonZero += v != 0;
    }
    EXPECT_GT(nonZero, 0);
    // Outside the dead zone (|d| > 102.3) the fixed scale still gives 0 up to |d| = 327.68.
    EXPECT_EQ(controllerAxisValue(183, range), 1); // d = -328.5 -> 1.0025
    EXPECT_EQ(controllerAxisValue(184, range), 0); // d = -327.5 -> 0.9995
}

TEST(ControllerAxis, MinimumIsNotAddedAndRangeZeroGivesZero) {
    // A device reporting 1000..2000: the middle of the range is taken as 500, not 1500.
    EXPECT_EQ(controllerAxisValue(1500, 1000), -3); // d = 1000 -> -3.05
    EXPECT_EQ(controllerAxisValue(560, 1000), 0);   // d = 60: dead zone (0.06)
    EXPECT_EQ(controllerAxisValue(0, 0), 0);
    EXPECT_EQ(controllerAxisValue(65535, 0), 0);
    // The largest position and range stay exact (no overflow): d = 2^32 - 1 - (2^31 - 0.5).
    EXPECT_EQ(controllerAxisValue(0xFFFFFFFFu, 0xFFFFFFFFu), -6553599);
    EXPECT_EQ(controllerAxisValue(0, 0xFFFFFFFFu), 6553599);
}

TEST(ControllerAxis, PollableNeedsRangesOnXYAndZ) {
    EXPECT_TRUE(controllerPollable(fullCaps()));
    JoystickCaps noZ = fullCaps();
    noZ.zMax = 0;
    EXPECT_FALSE(controllerPollable(noZ));
    JoystickCaps noX = fullCaps();
    noX.xMin = noX.xMax = 700;
    EXPECT_FALSE(controllerPollable(noX));
    JoystickCaps noY = fullCaps();
    noY.yMax = 0;
    EXPECT_FALSE(controllerPollable(noY));
    // The range is unsigned: a maximum below the minimum wraps to a non-zero range.
    JoystickCaps inverted = fullCaps();
    inverted.zMin = 10;
    inverted.zMax = 5;
    EXPECT_TRUE(controllerPollable(inverted));
}

// --- options, mix, frames, gauges -----------------------------------------------------------

TEST(ControllerTick, ForwardFromYAxis) {
    bool driveActive = false;
    const DriveAction a =
        controllerAction(true, JoystickReading{Centre, 0}, fullCaps(), {}, driveActive);
    EXPECT_EQ(a.send, DriveSend::DrivePair);
    EXPECT_EQ(a.leftValue, 199);
    EXPECT_EQ(a.rightValue, 199);
    EXPECT_TRUE(driveActive);
    EXPECT_EQ(a.gauges, (DriveGauges{99, 100, 99, 100, 99, 0}));

    const DriveAction back = tickAt(Centre, 65535);
    EXPECT_EQ(back.leftValue, 1);
    EXPECT_EQ(back.rightValue, 1);
    // Negative sides: upper gauges empty, lower ones 100 + v; |f| on CGauge11.
    EXPECT_EQ(back.gauges, (DriveGauges{0, 1, 0, 1, 99, 0}));
}

TEST(ControllerTick, SidewaysFromXAxisAndTheOptions) {
    const DriveAction plain = tickAt(0, Centre);
    EXPECT_EQ(plain.send, DriveSend::DrivePair);
    EXPECT_EQ(plain.leftValue, 199);
    EXPECT_EQ(plain.rightValue, 1);
    EXPECT_EQ(plain.gauges, (DriveGauges{99, 100, 0, 1, 0, 99}));

    ControllerOptions negateX;
    negateX.negateX = true;
    const DriveAction negated = tickAt(0, Centre, negateX);
    EXPECT_EQ(negated.leftValue, 1);
    EXPECT_EQ(negated.rightValue, 199);
    EXPECT_EQ(negated.gauges.CGauge12, 99);

    ControllerOptions swap;
    swap.swapXY = true;
    const DriveAction swapped = tickAt(0, Centre, swap);
    EXPECT_EQ(swapped.leftValue, 199);
    EXPECT_EQ(swapped.rightValue, 199);
    EXPECT_EQ(swapped.gauges.CGauge11, 99); // the forward value now comes from X
    EXPECT_EQ(swapped.gauges.CGauge12, 0);

    ControllerOptions negateY;
    negateY.negateY = true;
    const DriveAction reversed = tickAt(Centre, 0, negateY);
    EXPECT_EQ(reversed.leftValue, 1);
    EXPECT_EQ(reversed.rightValue, 1);
    // negative Y leaves X alone
    const DriveAction sideways = tickAt(0, Centre, negateY);
    EXPECT_EQ(sideways.leftValue, 199);
    EXPECT_EQ(sideways.rightValue, 1);
}

TEST(ControllerTick, SwapComesBeforeTheNegations) {
    // Y full forward with swap and negative X: the swap moves 99 into s, which is then negated.
    ControllerOptions both;
    both.swapXY = true;
    both.negateX = true;
    EXPECT_EQ(controllerValues(JoystickReading{Centre, 0}, fullCaps(), both),
              (ControllerValues{0, -99}));
    const DriveAction a = tickAt(Centre, 0, both);
    EXPECT_EQ(a.leftValue, 1);
    EXPECT_EQ(a.rightValue, 199);

    ControllerOptions all;
    all.swapXY = true;
    all.negateX = true;
    all.negateY = true;
    // X 0 (s 99), Y 39322 (f -20): swap -> f 99, s -20; negate X -> s 20; negate Y -> f -99.
    EXPECT_EQ(controllerValues(JoystickReading{0, 39322}, fullCaps(), all),
              (ControllerValues{-99, 20}));
}

TEST(ControllerTick, MixClampsAndDeadZoneEdges) {
    // Both axes full: f 99, s 99 -> left clamp(198) = 100, right 0.
    const DriveAction corner = tickAt(0, 0);
    EXPECT_EQ(corner.leftValue, 200);
    EXPECT_EQ(corner.rightValue, 100);
    EXPECT_EQ(corner.send, DriveSend::DrivePair); // one side moving is not neutral
    EXPECT_EQ(corner.gauges, (DriveGauges{100, 100, 0, 100, 99, 99}));

    EXPECT_EQ(tickAt(Centre, 39321).send, DriveSend::None);
    const DriveAction justOut = tickAt(Centre, 39322);
    EXPECT_EQ(justOut.leftValue, 80);
    EXPECT_EQ(justOut.rightValue, 80);
    const DriveAction justForward = tickAt(Centre, 26213);
    EXPECT_EQ(justForward.leftValue, 120);
    EXPECT_EQ(justForward.rightValue, 120);

    // Opposing components cancel on one side: f 20, s -20 -> left 0, right 40.
    const DriveAction cancel = tickAt(39322, 26213);
    EXPECT_EQ(cancel.leftValue, 100);
    EXPECT_EQ(cancel.rightValue, 140);
}

TEST(ControllerTick, AtRestSendsOnlyTheStopOwedByDriveActive) {
    bool driveActive = false;
    const JoystickReading rest{Centre, Centre};
    const DriveAction quiet = controllerAction(true, rest, fullCaps(), {}, driveActive);
    EXPECT_EQ(quiet.send, DriveSend::None);
    EXPECT_FALSE(driveActive);
    EXPECT_EQ(quiet.gauges, DriveGauges{}); // written at rest too, neutral

    driveActive = true; // e.g. set by the knob
    EXPECT_EQ(controllerAction(true, rest, fullCaps(), {}, driveActive).send, DriveSend::Stop);
    EXPECT_FALSE(driveActive);
    EXPECT_EQ(controllerAction(true, rest, fullCaps(), {}, driveActive).send, DriveSend::None);
}

TEST(ControllerTick, SmallRangeControllerNeverExceedsOne) {
    bool driveActive = false;
    const DriveAction a =
        controllerAction(true, JoystickReading{0, 0}, caps1023(), {}, driveActive);
    EXPECT_EQ(a.send, DriveSend::DrivePair);
    EXPECT_EQ(a.leftValue, 102); // f 1 + s 1
    EXPECT_EQ(a.rightValue, 100);
    EXPECT_EQ(a.gauges.CGauge11, 1);
    EXPECT_EQ(a.gauges.CGauge12, 1);
    for (uint32_t x = 0; x <= 1023; x += 31) {
        for (uint32_t y = 0; y <= 1023; y += 31) {
            const ControllerValues v = controllerValues(JoystickReading{x, y}, caps1023(), {});
            ASSERT_LE(std::abs(v.f), 1);
            ASSERT_LE(std::abs(v.s), 1);
        }
    }
}

TEST(ControllerTick, FailedPollIsNeutralWhateverTheReadingHolds) {
    // The reading still holds a full deflection, but the poll failed: treated as rest.
    bool driveActive = true;
    const DriveAction stop =
        controllerAction(false, JoystickReading{0, 0}, fullCaps(), {}, driveActive);
    EXPECT_EQ(stop.send, DriveSend::Stop);
    EXPECT_EQ(stop.gauges, DriveGauges{});
    EXPECT_FALSE(driveActive);
    const DriveAction after =
        controllerAction(false, JoystickReading{0, 0}, fullCaps(), {}, driveActive);
    EXPECT_EQ(after.send, DriveSend::None);
    EXPECT_EQ(after.gauges, DriveGauges{});
}

TEST(DriveFrame, BytesOfPairStopAndNothing) {
    FrameBuffer buffer{};
    DriveAction pair;
    pair.send = DriveSend::DrivePair;
    pair.leftValue = 199;
    pair.rightValue = 1;
    ASSERT_EQ(buildDriveFrame(buffer, 0x105, pair), 8); // low 8 bits of the address
    EXPECT_EQ(buffer, (FrameBuffer{0xFE, 0x05, 0xE7, 199, 0xFE, 0x05, 0xE8, 1}));

    DriveAction stop;
    stop.send = DriveSend::Stop;
    buffer.fill(0);
    ASSERT_EQ(buildDriveFrame(buffer, 7, stop), 4);
    EXPECT_EQ(buffer, (FrameBuffer{0xFE, 7, 0xE9, 0xE9, 0, 0, 0, 0}));

    buffer.fill(0xAA);
    EXPECT_EQ(buildDriveFrame(buffer, 7, DriveAction{}), 0);
    EXPECT_EQ(buffer, (FrameBuffer{0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));
}

// --- the tick against a device -----------------------------------------------------------

TEST(ControllerDriveDevice, AbsentControllerIsNeverPolledEvenWhenItComesLater) {
    ScriptedDevice device;
    device.present = false;
    ControllerDrive drive(device);
    EXPECT_FALSE(drive.probe());
    EXPECT_FALSE(drive.joystickPresent());
    EXPECT_EQ(device.capsCalls, 0);
    device.present = true; // plugged in after the start
    EXPECT_FALSE(drive.probe());
    EXPECT_EQ(device.probeCalls, 1);
    bool driveActive = true;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(drive.tick({}, driveActive).has_value());
    }
    EXPECT_EQ(device.pollCalls, 0);
    EXPECT_TRUE(driveActive); // a tick that does nothing leaves the knob's flag alone
}

TEST(ControllerDriveDevice, NoRangeOnAnAxisMeansNoPolling) {
    for (int axis = 0; axis < 3; ++axis) {
        ScriptedDevice device;
        (axis == 0   ? device.deviceCaps.xMax
         : axis == 1 ? device.deviceCaps.yMax
                     : device.deviceCaps.zMax) = 0;
        device.polls.push_back({true, {0, 0}});
        ControllerDrive drive(device);
        ASSERT_TRUE(drive.probe());
        EXPECT_TRUE(drive.joystickPresent());
        bool driveActive = false;
        EXPECT_FALSE(drive.tick({}, driveActive).has_value()) << "axis " << axis;
        EXPECT_EQ(device.pollCalls, 0) << "axis " << axis;
        EXPECT_FALSE(driveActive);
    }
}

TEST(ControllerDriveDevice, ProbeReadsCapsOnceAndTickUsesThem) {
    ScriptedDevice device;
    device.deviceCaps = caps1023();
    ControllerDrive drive(device);
    ASSERT_TRUE(drive.probe());
    EXPECT_EQ(drive.joystickCaps().yMax, 1023u);
    device.deviceCaps = fullCaps(); // later changes of the device are not read
    device.polls.push_back({true, {511, 0}});
    bool driveActive = false;
    const auto a = drive.tick({}, driveActive);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->leftValue, 101); // 1023 scale: f = 1
    EXPECT_EQ(a->rightValue, 101);
    EXPECT_EQ(device.capsCalls, 1);
}

TEST(ControllerDriveDevice, UnpluggedWhileDeflectedStopsOnceAndStaysNeutral) {
    ScriptedDevice device;
    device.polls = {
        {true, {Centre, 0}},  // full forward
        {true, {Centre, 0}},  // still: sent again every tick
        {false, {Centre, 0}}, // unplugged; the record still holds the deflection
        {false, {Centre, 0}}, {false, {Centre, 0}}, {true, {Centre, Centre}}, // back, at rest
        {true, {0, Centre}},                                                  // deflected again
    };
    ControllerDrive drive(device);
    ASSERT_TRUE(drive.probe());
    bool driveActive = false;
    std::vector<DriveSend> sends;
    std::vector<DriveGauges> gauges;
    for (int i = 0; i < 7; ++i) {
        const auto a = drive.tick({}, driveActive);
        ASSERT_TRUE(a.has_value());
        sends.push_back(a->send);
        gauges.push_back(a->gauges);
    }
    EXPECT_EQ(sends, (std::vector<DriveSend>{DriveSend::DrivePair, DriveSend::DrivePair,
                                             DriveSend::Stop, DriveSend::None, DriveSend::None,
                                             DriveSend::None, DriveSend::DrivePair}));
    for (int i = 2; i < 6; ++i) {
        EXPECT_EQ(gauges[i], DriveGauges{}) << "tick " << i;
    }
    EXPECT_EQ(gauges[6].CGauge12, 99);
    EXPECT_TRUE(driveActive);
    EXPECT_EQ(device.pollCalls, 7);
}

TEST(ControllerDriveDevice, SharedDriveActiveFromTheKnob) {
    // The knob has sent a pair (driveActive set); the controller at rest owes one stop frame.
    ScriptedDevice device;
    ControllerDrive drive(device);
    ASSERT_TRUE(drive.probe());
    bool driveActive = true;
    EXPECT_EQ(drive.tick({}, driveActive)->send, DriveSend::Stop);
    EXPECT_EQ(drive.tick({}, driveActive)->send, DriveSend::None);
    EXPECT_FALSE(driveActive);
}
