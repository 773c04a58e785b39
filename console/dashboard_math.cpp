#include "console/dashboard_math.h"

#include "protocol/robot_state.h"

#include <cstdio>

namespace dashboard {

namespace {
constexpr int kBlack = 0;
constexpr int kMaroon = 128;
constexpr int kRed = 255;
constexpr int kGreen = 32768;
constexpr int kOrange = 33023;
constexpr int kLime = 65280;
constexpr int kYellow = 65535;
} // namespace

int batteryColor(float p, bool& blinkPhase) {
    if (p >= 80)
        return kLime;
    if (p >= 60)
        return kGreen;
    if (p >= 50)
        return kYellow;
    if (p >= 30)
        return kOrange;
    const int lit = p >= 15 ? kRed : kBlack;
    const int colour = blinkPhase ? lit : kMaroon;
    blinkPhase = !blinkPhase;
    return colour;
}

std::string currentText(int value) {
    return std::to_string(value * 100 / 255) + " %";
}

std::string sonarText(int value) {
    return std::to_string(value) + " %";
}

std::string accelerationText(int x, int y, int z) {
    return "X" + std::to_string(x) + ",Y" + std::to_string(y) + ",Z" + std::to_string(z);
}

DotPosition accelerationDot(int accelX, int accelY, int L, int T, int W, int H, int w, int h) {
    int top = int(accelX * (1.0 / 255) * H + T - h / 2 + H / 2);
    int left = int(accelY * (1.0 / 255) * W + L - w / 2 + W / 2);
    if (left > L + W)
        left = L + W;
    if (top > T + H)
        top = T + H;
    return {left, top};
}

namespace {

std::string oneDecimal(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

} // namespace

std::vector<std::pair<int, std::string>> identityValues(const RobotState& s) {
    const auto onOff = [](bool on) { return std::string(on ? "ON" : "OFF"); };
    const float percentage = batteryPercentage(s.batteryVolts);
    return {
        {6, oneDecimal(s.batteryVolts)},        {7, std::to_string(static_cast<int>(percentage))},
        {10, sonarText(s.sonarLeft)},           {11, sonarText(s.sonarRight)},
        {14, currentText(s.engineCurrentLeft)}, {15, currentText(s.engineCurrentRight)},
        {20, s.lineSensor[0] ? "1" : "0"},      {21, s.lineSensor[1] ? "1" : "0"},
        {22, s.lineSensor[2] ? "1" : "0"},      {23, s.lineSensor[3] ? "1" : "0"},
        {26, onOff(s.ledReported[0])},          {27, onOff(s.ledReported[1])},
        {28, onOff(s.ledReported[2])},          {29, onOff(s.ledReported[3])},
        {32, std::to_string(s.accelX)},         {33, std::to_string(s.accelY)},
        {34, std::to_string(s.accelZ)},
    };
}

std::string secondsText(int64_t ms) {
    return oneDecimal(double(ms) / 1000.0) + " s";
}

std::string linkSummaryText(const std::string& port, int telemetry, int otherReplies, int refused,
                            int64_t openMs) {
    return "link " + port + ": " + std::to_string(telemetry) + " telemetry frames and " +
           std::to_string(otherReplies) + " other replies accepted, " + std::to_string(refused) +
           " bad, in " + secondsText(openMs);
}

std::string linkReadoutText(bool open, double framesPerSecond, int refused,
                            std::optional<int64_t> ageMs,
                            std::optional<LinkHealth::OtherUnit> otherUnit) {
    if (!open)
        return "LINK no port open";
    std::string text =
        "LINK " + oneDecimal(framesPerSecond) + " fr/s  " + std::to_string(refused) + " bad\n";
    if (otherUnit)
        return text + "id=" + std::to_string(otherUnit->address) + " sends " +
               oneDecimal(otherUnit->framesPerSecond) + " fr/s";
    // Below half a second the age says only that frames flow: a text that holds still while
    // telemetry comes at its usual rates, and repaints nothing.
    if (!ageMs)
        text += "no frame yet";
    else if (*ageMs < 500)
        text += "last frame < 0.5 s ago";
    else
        text += "last frame " + secondsText(*ageMs) + " ago";
    return text;
}

} // namespace dashboard
