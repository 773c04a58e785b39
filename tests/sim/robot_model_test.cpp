// The simulated robot's body and sensors, and the telemetry frame built from them.

#include "protocol/robot_frame.h"
#include "tools/sim/robot_model.h"
#include "tools/sim/telemetry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;

TEST(Telemetry, FrameLayoutAndSumOverTheTwelveDataBytes) {
    SensorReadings s;
    s.battery = 0x20;
    s.lineSensors = 0x20 | 0x05; // only the low four bits go out
    s.currentLeft = 0x20;
    s.currentRight = 0x20;
    s.sonarLeft = 0x20;
    s.sonarRight = 0x20;
    s.accelX = 0x20;
    s.accelY = 0x20;
    s.accelZ = 0x20;
    TelemetryBytes f = buildTelemetry(0xFD, s, 0x20, 0x20, 0x20);
    EXPECT_EQ(f[0], 0xFC);
    EXPECT_EQ(f[1], 0xFD);
    EXPECT_EQ(f[2], 0xE5);
    EXPECT_EQ(f[4], 0x05);
    EXPECT_EQ(f[5], 0x00);

    // Twelve data bytes of 0x20 sum to 0x180: byte 15 is 0x80. Start, address and code are not
    // in the sum.
    for (int i = 3; i <= 14; ++i) {
        f[i] = 0x20;
    }
    EXPECT_EQ(telemetrySum(f), 0x80);
    f[0] = 0x00;
    f[1] = 0x00;
    f[2] = 0x00;
    EXPECT_EQ(telemetrySum(f), 0x80);
}

TEST(Telemetry, BuiltFramesCarryTheirFieldsAndAMatchingSum) {
    RobotModel model(7);
    for (int i = 0; i < 40; ++i) {
        model.setDrive(100 + 3 * i, 180 - 2 * i);
        model.step(0.1);
        const SensorReadings s = model.sense();
        const TelemetryBytes f = buildTelemetry(42, s, 0x0B, 1, static_cast<uint8_t>(i));
        const uint8_t expected[16] = {0xFC,
                                      42,
                                      0xE5,
                                      s.battery,
                                      s.lineSensors,
                                      0x0B,
                                      s.currentLeft,
                                      s.currentRight,
                                      s.sonarLeft,
                                      s.sonarRight,
                                      s.accelX,
                                      s.accelY,
                                      s.accelZ,
                                      1,
                                      static_cast<uint8_t>(i),
                                      0};
        unsigned sum = 0;
        for (int k = 0; k < 15; ++k) {
            ASSERT_EQ(f[k], expected[k]) << "byte " << k;
            if (k >= 3) {
                sum += f[k];
            }
        }
        ASSERT_EQ(f[15], sum % 256);
        TelemetryBytes spoiled = f;
        spoilSum(spoiled);
        ASSERT_NE(spoiled[15], f[15]);
    }
}

TEST(Telemetry, TheConsolesRecognitionAcceptsTheFrameAndRejectsASpoiledSum) {
    RobotModel model(3);
    model.setDrive(160, 140);
    model.step(1.0);
    TelemetryBytes f = buildTelemetry(253, model.sense(), 0x06, 0, 9);
    EXPECT_EQ(recognizeChunk(f.data(), 16), ReplyKind::Telemetry);
    spoilSum(f);
    EXPECT_EQ(recognizeChunk(f.data(), 16), ReplyKind::None);
}

TEST(Battery, DrainsThroughEveryBandThenIsRecharged) {
    ModelConfig config;
    config.batterySeconds = 240;
    RobotModel model(1, config);
    std::vector<int> bytes;
    std::vector<double> changedAt;
    double t = 0;
    while (t < 250) {
        const int b = model.sense().battery;
        if (bytes.empty() || bytes.back() != b) {
            bytes.push_back(b);
            changedAt.push_back(t);
        }
        model.step(0.5);
        t += 0.5;
    }
    // 6.2 V down to 5.5 V in 0.1 V steps, then full again.
    EXPECT_EQ(bytes, (std::vector<int>{63, 62, 61, 60, 59, 58, 57, 56, 63}));
    // Standing still, each band lasts an eighth of the battery's life.
    for (size_t i = 1; i + 1 < changedAt.size(); ++i) {
        EXPECT_NEAR(changedAt[i + 1] - changedAt[i], 30.0, 1.0) << "band " << bytes[i];
    }
}

TEST(Battery, DrivingDrainsFaster) {
    RobotModel standing(1);
    RobotModel driving(1);
    driving.setDrive(200, 0); // spinning on the spot at full drive
    for (int i = 0; i < 240; ++i) {
        standing.step(0.1);
        driving.step(0.1);
    }
    // 24 s: standing uses a tenth of the charge, full drive three times as much.
    EXPECT_NEAR(1.0 - standing.charge(), 0.1, 1e-6);
    EXPECT_NEAR(1.0 - driving.charge(), 0.3, 1e-6);
    EXPECT_EQ(standing.sense().battery, 63);
    EXPECT_EQ(driving.sense().battery, 61);
}

TEST(Sonar, RaysMeetTheWallsOfTheRoom) {
    EXPECT_NEAR(rayToWall(2.0, 1.5, Pi / 2, 4.0, 3.0), 1.5, 1e-9);
    EXPECT_NEAR(rayToWall(2.0, 1.5, 0, 4.0, 3.0), 2.0, 1e-9);
    EXPECT_NEAR(rayToWall(2.0, 1.5, Pi, 4.0, 3.0), 2.0, 1e-9);
    EXPECT_NEAR(rayToWall(1.0, 1.0, Pi / 4, 4.0, 3.0), 2.0 * std::sqrt(2.0), 1e-9);
    EXPECT_EQ(rayToWall(5.0, 1.0, 0, 4.0, 3.0), 0);
    EXPECT_EQ(sonarByte(1.0), 50);
    EXPECT_EQ(sonarByte(5.0), 250);
    EXPECT_EQ(sonarByte(6.0), 255);
    EXPECT_EQ(sonarByte(0.0), 0);
}

TEST(Sonar, ReadingFallsAsTheRobotDrivesTowardsAWall) {
    RobotModel model(11);
    // Start: on the crossing, facing the wall at y = 3 m, 1.5 m away; the sonars sit 9 cm ahead.
    SensorReadings first = model.sense();
    EXPECT_NEAR(first.sonarLeft, (1.5 - 0.09) / std::cos(8 * Pi / 180) * 50, 2);
    EXPECT_NEAR(first.sonarRight, first.sonarLeft, 2);

    model.setDrive(200, 200); // 0.5 m/s
    int previousLeft = first.sonarLeft;
    int previousRight = first.sonarRight;
    for (int i = 0; i < 6; ++i) { // 1.8 s, about 0.8 m
        model.step(0.3);
        const SensorReadings s = model.sense();
        EXPECT_LT(s.sonarLeft, previousLeft) << "after " << (i + 1) * 0.3 << " s";
        EXPECT_LT(s.sonarRight, previousRight) << "after " << (i + 1) * 0.3 << " s";
        previousLeft = s.sonarLeft;
        previousRight = s.sonarRight;
    }
    // Then it reaches the wall and stays there: the body stops 10 cm from it.
    model.step(5.0);
    EXPECT_TRUE(model.blocked());
    EXPECT_NEAR(model.pose().y, 3.0 - 0.10, 1e-9);
    const SensorReadings atWall = model.sense();
    EXPECT_LE(atWall.sonarLeft, 2);
    // Pushing against the wall costs current.
    EXPECT_GT(atWall.currentLeft, engineCurrent(200, false) + 20);
}

TEST(Motion, WheelsMoveAndTurnTheRobot) {
    RobotModel model(5);
    const Pose start = model.pose();
    model.setDrive(200, 200);
    model.step(1.0);
    // Straight ahead (+y), a little less than 0.5 m because the wheels take time to speed up.
    EXPECT_NEAR(model.pose().x, start.x, 1e-9);
    EXPECT_GT(model.pose().y - start.y, 0.35);
    EXPECT_LT(model.pose().y - start.y, 0.5);
    EXPECT_NEAR(model.pose().heading, start.heading, 1e-9);

    // Left wheel back, right wheel forward: turns on the spot counter-clockwise (to the left).
    RobotModel turning(5);
    turning.setDrive(50, 150);
    turning.step(0.5);
    EXPECT_GT(turning.pose().heading, start.heading + 0.5);
    EXPECT_NEAR(turning.pose().x, start.x, 1e-9);
    EXPECT_NEAR(turning.pose().y, start.y, 1e-9);

    // Backwards.
    RobotModel back(5);
    back.setDrive(0, 0);
    back.step(1.0);
    EXPECT_LT(back.pose().y, start.y - 0.35);
}

TEST(Motion, AccelerometerFeelsSpeedingUpBrakingAndCurving) {
    RobotModel model(2);
    SensorReadings rest = model.sense();
    EXPECT_NEAR(rest.accelX, AccelMid, 1);
    EXPECT_NEAR(rest.accelY, AccelMid, 1);
    EXPECT_NEAR(rest.accelZ, AccelMid + AccelPerG, 1); // 1 g

    model.setDrive(200, 200);
    model.step(0.1);
    EXPECT_GT(model.sense().accelX, AccelMid + 8); // speeding up
    model.step(1.0);
    EXPECT_NEAR(model.sense().accelX, AccelMid, 2); // steady speed
    model.setDrive(100, 100);
    model.step(0.1);
    EXPECT_LT(model.sense().accelX, AccelMid - 8); // braking

    // A steady curve: the centripetal acceleration points into the curve, to the left (positive
    // Y) in a left curve. Wheels at 0 and 0.5 m/s: 0.25 m/s on a radius of 8 cm, 0.78 m/s^2.
    const double centripetal = 0.25 * 0.25 / 0.08 / Gravity * AccelPerG;
    RobotModel left(2);
    left.setPose(Pose{2.0, 1.0, 0.0});
    left.setDrive(100, 200);
    left.step(1.5);
    const SensorReadings l = left.sense();
    EXPECT_NEAR(l.accelY, AccelMid + centripetal, 1.5);
    EXPECT_GT(l.accelY, AccelMid + 3);
    EXPECT_NEAR(l.accelX, AccelMid, 1.5);
    RobotModel right(2);
    right.setPose(Pose{2.0, 1.0, 0.0});
    right.setDrive(200, 100);
    right.step(1.5);
    EXPECT_LT(right.sense().accelY, AccelMid - 3);
}

TEST(Motion, EngineCurrentsFollowTheDriveValues) {
    EXPECT_EQ(engineCurrent(100, false), CurrentIdle);
    EXPECT_EQ(engineCurrent(200, false), engineCurrent(0, false));
    EXPECT_GT(engineCurrent(150, false), engineCurrent(120, false));
    EXPECT_GT(engineCurrent(200, true), engineCurrent(200, false));
    EXPECT_EQ(engineCurrent(100, true), CurrentIdle); // a still wheel draws no stall current

    RobotModel model(4);
    model.setDrive(100, 190);
    model.step(0.2);
    const SensorReadings s = model.sense();
    EXPECT_NEAR(s.currentLeft, CurrentIdle, 2);
    EXPECT_NEAR(s.currentRight, engineCurrent(190, false), 2);
}

TEST(LineSensors, SeeTheFigureOfEightUnderThem) {
    const ModelConfig config;
    // On the crossing, along the line: all four.
    EXPECT_EQ(lineSensorBits(RobotModel::startPose(config), config), 0x0F);
    // On the crossing, across the line: none (the sensors lie 7 cm off it).
    EXPECT_EQ(lineSensorBits(Pose{2.0, 1.5, 0.0}, config), 0x00);
    // Over the right loop's outer edge, 1.2 cm off to the outside: the left sensors only.
    EXPECT_EQ(lineSensorBits(Pose{3.212, 1.5, Pi / 2}, config), 0x05);
    // Mirrored: the right sensors only.
    EXPECT_EQ(lineSensorBits(Pose{3.188, 1.5, Pi / 2}, config), 0x0A);
    // Away from the line.
    EXPECT_EQ(lineSensorBits(Pose{0.5, 0.5, 1.0}, config), 0x00);

    // Driving off the line straight ahead leaves it behind.
    RobotModel model(1);
    EXPECT_EQ(model.sense().lineSensors, 0x0F);
    model.setDrive(150, 150);
    model.step(2.0);
    EXPECT_EQ(model.sense().lineSensors, 0x00);
}

TEST(Model, SameSeedAndInputsGiveTheSameReadingsOtherSeedsOtherNoise) {
    const auto run = [](uint32_t seed) {
        RobotModel model(seed);
        std::vector<uint8_t> all;
        for (int i = 0; i < 50; ++i) {
            model.setDrive(100 + (i % 7) * 10, 100 - (i % 5) * 10);
            model.step(0.1);
            const SensorReadings s = model.sense();
            all.insert(all.end(), {s.battery, s.lineSensors, s.currentLeft, s.currentRight,
                                   s.sonarLeft, s.sonarRight, s.accelX, s.accelY, s.accelZ});
        }
        return all;
    };
    EXPECT_EQ(run(17), run(17));
    EXPECT_NE(run(17), run(18));
}

} // namespace
