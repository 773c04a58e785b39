// The SDL backend on SDL's own virtual joysticks: no display and no input device needed. The
// test holds its own initialisation of SDL's joystick subsystem so that the virtual joysticks it
// attaches outlive the SdlJoystick objects under test.
#include "console/drive/controller_drive.h"
#include "console/drive/sdl_joystick.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

class SdlJoystickTest : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        initialised_ = true;
        SDL_JoystickUpdate();
        if (SDL_NumJoysticks() != 0) {
            GTEST_SKIP() << "a real controller is connected; these tests need index 0 free";
        }
    }

    void TearDown() override {
        if (virtual_ != nullptr) {
            SDL_JoystickClose(virtual_);
        }
        while (SDL_NumJoysticks() > 0 && SDL_JoystickIsVirtual(0)) {
            SDL_JoystickDetachVirtual(0);
        }
        if (initialised_) {
            SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        }
    }

    // Attaches a virtual joystick and opens the test's own handle on it (to move its axes).
    void attach(int axes) {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, 0, 0);
        ASSERT_GE(index, 0) << SDL_GetError();
        virtual_ = SDL_JoystickOpen(index);
        ASSERT_NE(virtual_, nullptr) << SDL_GetError();
    }

    void detach() {
        ASSERT_NE(virtual_, nullptr);
        const SDL_JoystickID id = SDL_JoystickInstanceID(virtual_);
        SDL_JoystickClose(virtual_);
        virtual_ = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                ASSERT_EQ(SDL_JoystickDetachVirtual(i), 0) << SDL_GetError();
                return;
            }
        }
        FAIL() << "virtual joystick not found";
    }

    void setAxis(int axis, Sint16 value) {
        ASSERT_EQ(SDL_JoystickSetVirtualAxis(virtual_, axis, value), 0) << SDL_GetError();
    }

    SDL_Joystick* virtual_ = nullptr;
    bool initialised_ = false;
};

} // namespace

TEST_F(SdlJoystickTest, NoControllerMeansNoProbeNoCapsNoPoll) {
    SdlJoystick joystick;
    EXPECT_STREQ(joystick.initError(), "");
    EXPECT_FALSE(joystick.probe());
    const JoystickCaps caps = joystick.caps();
    EXPECT_EQ(caps.xMax, 0u);
    EXPECT_EQ(caps.yMax, 0u);
    EXPECT_EQ(caps.zMax, 0u);
    JoystickReading reading{1, 2};
    EXPECT_FALSE(joystick.poll(reading));

    // A controller that arrives after the probe is not used: the console probed once.
    ControllerDrive drive(joystick);
    EXPECT_FALSE(drive.probe());
    attach(3);
    setAxis(1, -32768);
    bool driveActive = false;
    EXPECT_FALSE(drive.tick({}, driveActive).has_value());
}

TEST_F(SdlJoystickTest, ThreeAxesReportFullRangesAndPositions) {
    attach(3);
    SdlJoystick joystick;
    ASSERT_TRUE(joystick.probe());
    const JoystickCaps caps = joystick.caps();
    EXPECT_EQ(caps.xMin, 0u);
    EXPECT_EQ(caps.xMax, 65535u);
    EXPECT_EQ(caps.yMin, 0u);
    EXPECT_EQ(caps.yMax, 65535u);
    EXPECT_EQ(caps.zMin, 0u);
    EXPECT_EQ(caps.zMax, 65535u);

    JoystickReading reading;
    ASSERT_TRUE(joystick.poll(reading));
    EXPECT_EQ(reading.x, 32768u); // SDL's 0, the centre
    EXPECT_EQ(reading.y, 32768u);

    setAxis(0, -32768);
    setAxis(1, 32767);
    setAxis(2, 12345); // Z is not read
    ASSERT_TRUE(joystick.poll(reading));
    EXPECT_EQ(reading.x, 0u);
    EXPECT_EQ(reading.y, 65535u);

    setAxis(0, 6553);  // 39321: edge of the dead zone
    setAxis(1, -6555); // 26213
    ASSERT_TRUE(joystick.poll(reading));
    EXPECT_EQ(reading.x, 39321u);
    EXPECT_EQ(reading.y, 26213u);
}

TEST_F(SdlJoystickTest, TwoAxisControllerHasNoZRangeAndIsNeverPolled) {
    attach(2);
    setAxis(1, -32768);
    SdlJoystick joystick;
    ControllerDrive drive(joystick);
    ASSERT_TRUE(drive.probe());
    EXPECT_EQ(drive.joystickCaps().xMax, 65535u);
    EXPECT_EQ(drive.joystickCaps().yMax, 65535u);
    EXPECT_EQ(drive.joystickCaps().zMax, 0u);
    bool driveActive = false;
    EXPECT_FALSE(drive.tick({}, driveActive).has_value());
    EXPECT_FALSE(driveActive);
}

TEST_F(SdlJoystickTest, DrivesThroughTheControllerTick) {
    attach(3);
    SdlJoystick joystick;
    ControllerDrive drive(joystick);
    ASSERT_TRUE(drive.probe());
    bool driveActive = false;

    auto a = drive.tick({}, driveActive); // centred
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->send, DriveSend::None);

    setAxis(0, -32768); // X position 0: full left
    a = drive.tick({}, driveActive);
    ASSERT_TRUE(a.has_value());
    ASSERT_EQ(a->send, DriveSend::DrivePair);
    FrameBuffer buffer{};
    ASSERT_EQ(buildDriveFrame(buffer, 3, *a), 8);
    EXPECT_EQ(buffer, (FrameBuffer{0xFE, 3, 0xE7, 199, 0xFE, 3, 0xE8, 1}));

    ControllerOptions negateX;
    negateX.negateX = true;
    a = drive.tick(negateX, driveActive);
    EXPECT_EQ(a->leftValue, 1);
    EXPECT_EQ(a->rightValue, 199);

    setAxis(0, 0); // back to the centre
    a = drive.tick({}, driveActive);
    EXPECT_EQ(a->send, DriveSend::Stop);
    a = drive.tick({}, driveActive);
    EXPECT_EQ(a->send, DriveSend::None);
}

TEST_F(SdlJoystickTest, DetachedWhileDeflectedStopsOnceThenReportsAfterReattach) {
    attach(3);
    SdlJoystick joystick;
    ControllerDrive drive(joystick);
    ASSERT_TRUE(drive.probe());
    bool driveActive = false;

    setAxis(1, -32768); // Y position 0: full forward
    for (int i = 0; i < 2; ++i) {
        const auto a = drive.tick({}, driveActive);
        ASSERT_TRUE(a.has_value());
        EXPECT_EQ(a->send, DriveSend::DrivePair);
        EXPECT_EQ(a->leftValue, 199);
        EXPECT_EQ(a->rightValue, 199);
    }

    detach(); // unplugged while deflected
    JoystickReading reading;
    std::vector<DriveSend> sends;
    for (int i = 0; i < 4; ++i) {
        const auto a = drive.tick({}, driveActive);
        ASSERT_TRUE(a.has_value());
        sends.push_back(a->send);
        EXPECT_EQ(a->gauges, DriveGauges{}) << "tick " << i;
    }
    EXPECT_EQ(sends, (std::vector<DriveSend>{DriveSend::Stop, DriveSend::None, DriveSend::None,
                                             DriveSend::None}));
    EXPECT_FALSE(driveActive);
    EXPECT_FALSE(joystick.poll(reading));

    // Plugged in again, deflected the other way: read again from the next poll on.
    attach(3);
    setAxis(1, 32767);
    const auto back = drive.tick({}, driveActive);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->send, DriveSend::DrivePair);
    EXPECT_EQ(back->leftValue, 1);
    EXPECT_EQ(back->rightValue, 1);
    EXPECT_EQ(back->gauges.CGauge11, 99);
    EXPECT_TRUE(driveActive);
    ASSERT_TRUE(joystick.poll(reading));
    EXPECT_EQ(reading.y, 65535u);
}

TEST_F(SdlJoystickTest, QuickReplugStillGivesTheNeutralTick) {
    // Unplugged and plugged in again between two ticks: that tick fails (one stop frame) and the
    // next one reads the controller again.
    attach(3);
    SdlJoystick joystick;
    ControllerDrive drive(joystick);
    ASSERT_TRUE(drive.probe());
    bool driveActive = false;
    setAxis(0, 32767);
    EXPECT_EQ(drive.tick({}, driveActive)->send, DriveSend::DrivePair);

    detach();
    attach(3);
    setAxis(0, 32767);
    EXPECT_EQ(drive.tick({}, driveActive)->send, DriveSend::Stop);
    const auto again = drive.tick({}, driveActive);
    EXPECT_EQ(again->send, DriveSend::DrivePair);
    EXPECT_EQ(again->leftValue, 1); // X position 65535: s = -99
    EXPECT_EQ(again->rightValue, 199);
}

TEST_F(SdlJoystickTest, BackendLeavesOtherUsersOfTheSubsystemAlone) {
    attach(3);
    {
        SdlJoystick joystick;
        ASSERT_TRUE(joystick.probe());
    }
    // The test's own initialisation and its virtual joystick are still there.
    EXPECT_NE(SDL_WasInit(SDL_INIT_JOYSTICK), 0u);
    EXPECT_EQ(SDL_NumJoysticks(), 1);
    EXPECT_TRUE(SDL_JoystickGetAttached(virtual_));
    SdlJoystick second;
    ASSERT_TRUE(second.probe());
    JoystickReading reading;
    setAxis(0, -32768);
    ASSERT_TRUE(second.poll(reading));
    EXPECT_EQ(reading.x, 0u);
}
