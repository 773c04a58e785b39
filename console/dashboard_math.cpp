#include "console/dashboard_math.h"

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

} // namespace dashboard
