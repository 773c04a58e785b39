#pragma once
// The simulated robot's body: a two-wheeled robot in a walled room with a figure of eight drawn
// on the floor. The drive values set the wheel speeds, the pose integrates from them, and the
// sensors read the result: accelerometer, engine currents, two forward sonars, four line sensors
// and the battery.
//
// Coordinates: metres, the room spans x 0..width and y 0..height; the heading is in radians,
// 0 along +x, counter-clockwise positive. "Forward" is the heading direction, "left" is 90
// degrees counter-clockwise from it.
//
// Everything here depends only on the seed, the drive values and the time steps given, so a run
// with the same seed and the same inputs gives the same readings.

#include <cstdint>
#include <random>

struct Pose {
    double x = 0;
    double y = 0;
    double heading = 0;
};

struct ModelConfig {
    double roomWidth = 4.0;      // m
    double roomHeight = 3.0;     // m
    double maxSpeed = 0.5;       // m/s of a wheel at drive value 0 or 200
    double wheelBase = 0.16;     // m between the wheels
    double bodyRadius = 0.10;    // m; the body never comes closer to a wall
    double motorLag = 0.15;      // s, time constant of the wheel speeds
    double accelLag = 0.05;      // s, time constant of the accelerometer's filter
    double lineRadius = 0.6;     // m, radius of each loop of the figure of eight
    double lineWidth = 0.03;     // m
    double batterySeconds = 240; // s from full to empty standing still; driving drains faster
};

// Raw sensor bytes as the telemetry frame carries them.
struct SensorReadings {
    uint8_t battery = 63;
    uint8_t lineSensors = 0; // bit 0 LU, bit 1 RU, bit 2 LD, bit 3 RD
    uint8_t currentLeft = 0;
    uint8_t currentRight = 0;
    uint8_t sonarLeft = 0;
    uint8_t sonarRight = 0;
    uint8_t accelX = 128;
    uint8_t accelY = 128;
    uint8_t accelZ = 192;
};

// Scales of the raw bytes.
constexpr int AccelMid = 128;           // raw reading at 0 g
constexpr double AccelPerG = 64.0;      // raw counts per g
constexpr double Gravity = 9.81;        // m/s^2
constexpr int CurrentIdle = 6;          // raw current of a standing engine
constexpr double CurrentPerDrive = 1.1; // raw current per step of |drive - 100|
constexpr int CurrentStall = 60;        // extra current of a wheel pushing against a wall
constexpr int BatteryFull = 63;         // 6.2 V
constexpr int BatteryEmpty = 56;        // 5.5 V

// Distance from (x, y) along the direction angle to the nearest wall of a width x height room;
// 0 when the point lies outside the room.
double rayToWall(double x, double y, double angle, double width, double height);
// A sonar distance as its raw byte: centimetres / 2, at most 255.
uint8_t sonarByte(double metres);
// Battery byte for a charge 0..1: 63 (6.2 V) over the top eighth down to 56 (5.5 V) over the
// lowest eighth.
uint8_t batteryByte(double charge);
// Raw engine current for a drive value 0..200; stalled adds the current of a blocked wheel.
int engineCurrent(int drive, bool stalled);
// Distance from (x, y) to the centre line of the figure of eight drawn around the room's centre.
double distanceToLine(double x, double y, const ModelConfig& config);
// Line-sensor bits for a pose: a sensor sees the line when its point lies within the line's
// width. The sensors sit 7 cm ahead (LU, RU) and behind (LD, RD) the centre, 1.2 cm to each side.
uint8_t lineSensorBits(const Pose& pose, const ModelConfig& config);

class RobotModel {
public:
    explicit RobotModel(uint32_t seed, ModelConfig config = {});

    // Drive values 0..200, 100 = stand still; values outside are clamped.
    void setDrive(int left, int right);
    // Advances the model by seconds, in steps of at most 5 ms.
    void step(double seconds);
    // The sensors as they read now, with a little noise from the seeded generator.
    SensorReadings sense();

    const Pose& pose() const { return pose_; }
    void setPose(const Pose& pose);
    double charge() const { return charge_; }
    void setCharge(double charge) { charge_ = charge; }
    // Filtered acceleration in the robot's frame, m/s^2.
    double forwardAccel() const { return accelForward_; }
    double lateralAccel() const { return accelLateral_; }
    // True while the body presses against a wall.
    bool blocked() const { return blocked_; }
    const ModelConfig& config() const { return config_; }

    // Where the robot starts: on the crossing of the figure of eight, heading along +y.
    static Pose startPose(const ModelConfig& config);

private:
    void substep(double dt);
    int noise(int amplitude);

    ModelConfig config_;
    std::mt19937 random_;
    Pose pose_;
    int driveLeft_ = 100;
    int driveRight_ = 100;
    double wheelLeft_ = 0; // m/s
    double wheelRight_ = 0;
    double velocityX_ = 0; // m/s, world frame, as the body actually moved
    double velocityY_ = 0;
    double accelForward_ = 0;
    double accelLateral_ = 0;
    double charge_ = 1.0;
    bool blocked_ = false;
};
