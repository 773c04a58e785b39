// Battery arithmetic, unit types, initial state and calibration.
#include "protocol/robot_state.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

TEST(Battery, VoltsAndWholePercentOfEveryCode) {
    EXPECT_FLOAT_EQ(batteryVoltsFromCode(0), 25.5f);
    EXPECT_FLOAT_EQ(batteryVoltsFromCode(1), 0.0f);
    EXPECT_FLOAT_EQ(batteryVoltsFromCode(255), 25.4f);
    const std::pair<uint8_t, int> rows[] = {{0, 100}, {1, 0},   {56, 0},   {57, 14},
                                            {58, 28}, {59, 42}, {60, 57},  {61, 71},
                                            {62, 85}, {63, 99}, {64, 100}, {255, 100}};
    for (const auto& [code, whole] : rows) {
        EXPECT_EQ(static_cast<int>(batteryPercentage(batteryVoltsFromCode(code))), whole)
            << "code " << int(code);
    }
    // 6.2 V as a float lies just below 6.2, so code 63 reads 99.99997, not 100.
    EXPECT_NEAR(batteryPercentage(batteryVoltsFromCode(63)), 99.99997f, 0.000005f);
}

TEST(UnitType, TableAndUnknownCodes) {
    EXPECT_STREQ(unitTypeText(1), "Unit type    :PIMLO");
    EXPECT_STREQ(unitTypeText(2), "Unit type    :KORVAN");
    EXPECT_STREQ(unitTypeText(12), "Unit type    :ZELK12+M");
    EXPECT_STREQ(unitTypeText(23), "Unit type    :ZELK24+A");
    EXPECT_STREQ(unitTypeText(32), "Unit type    :ZELK12T+M");
    for (int code : {-1, 0, 3, 7, 24, 33, 255}) {
        EXPECT_STREQ(unitTypeText(code), "Unit type    :unknown") << code;
    }
}

TEST(RobotStateInit, VersionsUnknownDriveAtRestEverythingElseZero) {
    RobotState s;
    EXPECT_EQ((std::vector{s.softVersion, s.hardVersion, s.driveLeft, s.driveRight}),
              (std::vector{-1, -1, 100, 100}));
    s.softVersion = s.hardVersion = s.driveLeft = s.driveRight = 0;
    RobotState allZero;
    std::memset(static_cast<void*>(&allZero), 0, sizeof allZero); // trivially copyable
    EXPECT_EQ(s, allZero);
}

TEST(Calibration, AddsTheDisplayedValuesAndWrapsInsteadOfOverflowing) {
    RobotState s;
    s.accelZeroX = 130;
    s.accelX = 10;
    s.accelY = -5;
    calibrateAccelerometer(s);
    calibrateAccelerometer(s);
    EXPECT_EQ(s.accelZeroX, 150);
    EXPECT_EQ(s.accelZeroY, -10);
    EXPECT_EQ(s.accelX, 10); // displayed values wait for the next frame
    s.accelZeroZ = INT_MAX;
    s.accelZ = 1;
    calibrateAccelerometer(s);
    EXPECT_EQ(s.accelZeroZ, INT_MIN);
    EXPECT_EQ(accelValue(200, INT_MIN), INT_MIN + 200);
}

} // namespace
