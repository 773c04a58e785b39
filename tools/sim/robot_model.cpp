#include "tools/sim/robot_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double SensorAhead = 0.07;  // m, line sensors ahead of / behind the centre
constexpr double SensorAside = 0.012; // m, line sensors left / right of the centre line
constexpr double SonarAhead = 0.09;   // m, sonars on the front edge
constexpr double SonarAside = 0.04;   // m
constexpr double SonarSplay = 8.0 * 3.14159265358979323846 / 180.0; // each ray turned outwards
constexpr double MaxStep = 0.005;                                   // s

uint8_t toByte(long value) {
    return static_cast<uint8_t>(std::clamp<long>(value, 0, 255));
}

} // namespace

double rayToWall(double x, double y, double angle, double width, double height) {
    if (x < 0 || y < 0 || x > width || y > height) {
        return 0;
    }
    const double dx = std::cos(angle);
    const double dy = std::sin(angle);
    double best = std::numeric_limits<double>::infinity();
    if (dx > 1e-12) {
        best = std::min(best, (width - x) / dx);
    } else if (dx < -1e-12) {
        best = std::min(best, -x / dx);
    }
    if (dy > 1e-12) {
        best = std::min(best, (height - y) / dy);
    } else if (dy < -1e-12) {
        best = std::min(best, -y / dy);
    }
    return best;
}

uint8_t sonarByte(double metres) {
    if (!(metres > 0)) {
        return 0;
    }
    return toByte(std::lround(std::min(metres * 100.0 / 2.0, 255.0)));
}

uint8_t batteryByte(double charge) {
    const int band = static_cast<int>(std::floor(std::clamp(charge, 0.0, 1.0) * 8.0));
    return static_cast<uint8_t>(BatteryEmpty + std::min(band, 7));
}

int engineCurrent(int drive, bool stalled) {
    const int effort = std::abs(std::clamp(drive, 0, 200) - 100);
    int current = CurrentIdle + static_cast<int>(std::lround(effort * CurrentPerDrive));
    if (stalled && effort > 0) {
        current += CurrentStall;
    }
    return std::clamp(current, 0, 255);
}

double distanceToLine(double x, double y, const ModelConfig& config) {
    const double cx = config.roomWidth / 2.0;
    const double cy = config.roomHeight / 2.0;
    const double r = config.lineRadius;
    const double left = std::abs(std::hypot(x - (cx - r), y - cy) - r);
    const double right = std::abs(std::hypot(x - (cx + r), y - cy) - r);
    return std::min(left, right);
}

uint8_t lineSensorBits(const Pose& pose, const ModelConfig& config) {
    const double fx = std::cos(pose.heading);
    const double fy = std::sin(pose.heading);
    const double lx = -fy;
    const double ly = fx;
    struct Point {
        double ahead;
        double aside; // positive to the left
    };
    const Point sensors[4] = {
        {SensorAhead, SensorAside},   // LU
        {SensorAhead, -SensorAside},  // RU
        {-SensorAhead, SensorAside},  // LD
        {-SensorAhead, -SensorAside}, // RD
    };
    uint8_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        const double x = pose.x + fx * sensors[k].ahead + lx * sensors[k].aside;
        const double y = pose.y + fy * sensors[k].ahead + ly * sensors[k].aside;
        if (distanceToLine(x, y, config) <= config.lineWidth / 2.0) {
            bits |= static_cast<uint8_t>(1u << k);
        }
    }
    return bits;
}

Pose RobotModel::startPose(const ModelConfig& config) {
    return Pose{config.roomWidth / 2.0, config.roomHeight / 2.0, 3.14159265358979323846 / 2.0};
}

RobotModel::RobotModel(uint32_t seed, ModelConfig config)
    : config_(config), random_(seed), pose_(startPose(config)) {}

void RobotModel::setDrive(int left, int right) {
    driveLeft_ = std::clamp(left, 0, 200);
    driveRight_ = std::clamp(right, 0, 200);
}

void RobotModel::setPose(const Pose& pose) {
    pose_ = pose;
    velocityX_ = 0;
    velocityY_ = 0;
    accelForward_ = 0;
    accelLateral_ = 0;
    blocked_ = false;
}

void RobotModel::step(double seconds) {
    while (seconds > 1e-9) {
        const double dt = std::min(seconds, MaxStep);
        substep(dt);
        seconds -= dt;
    }
}

void RobotModel::substep(double dt) {
    // Wheels follow their set speeds with a first-order lag.
    const double follow = 1.0 - std::exp(-dt / config_.motorLag);
    const double targetLeft = (driveLeft_ - 100) / 100.0 * config_.maxSpeed;
    const double targetRight = (driveRight_ - 100) / 100.0 * config_.maxSpeed;
    wheelLeft_ += (targetLeft - wheelLeft_) * follow;
    wheelRight_ += (targetRight - wheelRight_) * follow;

    const double speed = (wheelLeft_ + wheelRight_) / 2.0;
    const double turn = (wheelRight_ - wheelLeft_) / config_.wheelBase;
    const double midHeading = pose_.heading + turn * dt / 2.0;
    double x = pose_.x + speed * std::cos(midHeading) * dt;
    double y = pose_.y + speed * std::sin(midHeading) * dt;
    double heading = std::remainder(pose_.heading + turn * dt, 2.0 * 3.14159265358979323846);

    // Walls: the body stops at them, the wheels slip.
    const double r = config_.bodyRadius;
    const double cx = std::clamp(x, r, config_.roomWidth - r);
    const double cy = std::clamp(y, r, config_.roomHeight - r);
    blocked_ = cx != x || cy != y;
    x = cx;
    y = cy;

    const double vx = (x - pose_.x) / dt;
    const double vy = (y - pose_.y) / dt;
    const double ax = (vx - velocityX_) / dt;
    const double ay = (vy - velocityY_) / dt;
    velocityX_ = vx;
    velocityY_ = vy;
    pose_ = Pose{x, y, heading};

    // The accelerometer sits on the body: forward and lateral components, low-pass filtered.
    const double fx = std::cos(heading);
    const double fy = std::sin(heading);
    const double forward = ax * fx + ay * fy;
    const double lateral = -ax * fy + ay * fx;
    const double smooth = 1.0 - std::exp(-dt / config_.accelLag);
    accelForward_ += (forward - accelForward_) * smooth;
    accelLateral_ += (lateral - accelLateral_) * smooth;

    // Battery: drains at its standing rate, up to three times faster at full drive on both
    // wheels; when empty it is recharged at once.
    const double effort = (std::abs(driveLeft_ - 100) + std::abs(driveRight_ - 100)) / 200.0;
    charge_ -= dt * (1.0 + 2.0 * effort) / config_.batterySeconds;
    if (charge_ < 0) {
        charge_ += 1.0;
    }
}

int RobotModel::noise(int amplitude) {
    return static_cast<int>(random_() % static_cast<uint32_t>(2 * amplitude + 1)) - amplitude;
}

SensorReadings RobotModel::sense() {
    SensorReadings s;
    s.battery = batteryByte(charge_);
    s.lineSensors = lineSensorBits(pose_, config_);
    s.currentLeft = toByte(engineCurrent(driveLeft_, blocked_) + noise(2));
    s.currentRight = toByte(engineCurrent(driveRight_, blocked_) + noise(2));

    const double fx = std::cos(pose_.heading);
    const double fy = std::sin(pose_.heading);
    const double lx = -fy;
    const double ly = fx;
    const double leftX = pose_.x + fx * SonarAhead + lx * SonarAside;
    const double leftY = pose_.y + fy * SonarAhead + ly * SonarAside;
    const double rightX = pose_.x + fx * SonarAhead - lx * SonarAside;
    const double rightY = pose_.y + fy * SonarAhead - ly * SonarAside;
    const auto sonar = [&](double x, double y, double angle) {
        const uint8_t raw =
            sonarByte(rayToWall(x, y, angle, config_.roomWidth, config_.roomHeight));
        return raw == 255 ? raw : toByte(raw + noise(1));
    };
    s.sonarLeft = sonar(leftX, leftY, pose_.heading + SonarSplay);
    s.sonarRight = sonar(rightX, rightY, pose_.heading - SonarSplay);

    s.accelX = toByte(AccelMid + std::lround(accelForward_ / Gravity * AccelPerG) + noise(1));
    s.accelY = toByte(AccelMid + std::lround(accelLateral_ / Gravity * AccelPerG) + noise(1));
    s.accelZ = toByte(AccelMid + std::lround(AccelPerG) + noise(1));
    return s;
}
