#include "protocol/robot_state.h"

namespace {

// Signed 32-bit addition and subtraction that wrap like the hardware does, without the undefined
// behaviour of signed overflow (repeated calibrations can drive the zero values far out).
int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t wrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

struct UnitType {
    int code;
    const char* text;
};

constexpr UnitType unitTypes[] = {
    {1, "Unit type    :PIMLO"},      {2, "Unit type    :KORVAN"},
    {10, "Unit type    :ZELK12"},    {11, "Unit type    :ZELK12+G"},
    {12, "Unit type    :ZELK12+M"},  {20, "Unit type    :ZELK24"},
    {21, "Unit type    :ZELK24+G"},  {22, "Unit type    :ZELK24+M"},
    {23, "Unit type    :ZELK24+A"},  {30, "Unit type    :ZELK12T"},
    {31, "Unit type    :ZELK12T+G"}, {32, "Unit type    :ZELK12T+M"},
};

} // namespace

float batteryVoltsFromCode(uint8_t code) {
    const uint8_t steps = static_cast<uint8_t>(code - 1);
    return static_cast<float>(steps * 0.1);
}

float batteryPercentage(float volts) {
    const double exact = (static_cast<double>(volts) - 5.5) * 1.4285714285714282 * 100;
    float percentage = static_cast<float>(exact);
    if (percentage < 0.0f) {
        percentage = 0.0f;
    }
    if (percentage > 100.0f) {
        percentage = 100.0f;
    }
    return percentage;
}

const char* unitTypeText(int hardVersion) {
    for (const UnitType& type : unitTypes) {
        if (type.code == hardVersion) {
            return type.text;
        }
    }
    return "Unit type    :unknown";
}

int32_t accelValue(int32_t raw, int32_t zero) {
    return wrapSub(raw, zero);
}

void calibrateAccelerometer(RobotState& state) {
    state.accelZeroX = wrapAdd(state.accelZeroX, state.accelX);
    state.accelZeroY = wrapAdd(state.accelZeroY, state.accelY);
    state.accelZeroZ = wrapAdd(state.accelZeroZ, state.accelZ);
}
