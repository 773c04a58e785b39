#pragma once
// RobotState: what the console knows about the connected robot, and the plain arithmetic that
// turns telemetry bytes into those values. The main window holds one RobotState; it is read and
// written on the GUI thread only (the reply decoder runs there too), so the fields are plain.

#include <cstdint>

struct RobotState {
    int32_t softVersion = -1; // -1 = unknown; reset to -1 when the unit address changes
    int32_t hardVersion = -1; // also the unit-type code; -1 = unknown
    float batteryVolts = 0.0f;
    bool lineSensor[4] = {};   // 0 LU, 1 RU, 2 LD, 3 RD; true = bit set
    bool ledReported[4] = {};  // LED1..LED4 as the robot reports them
    bool ledRequested[4] = {}; // LED1..LED4 as the operator wants them
    int32_t driveLeft = 100;   // 0..200, 100 = stand still
    int32_t driveRight = 100;
    int32_t engineCurrentLeft = 0; // raw 0..255
    int32_t engineCurrentRight = 0;
    int32_t sonarLeft = 0; // raw 0..255
    int32_t sonarRight = 0;
    int32_t accelX = 0; // raw reading minus its zero; may be negative
    int32_t accelY = 0;
    int32_t accelZ = 0;
    int32_t accelZeroX = 0; // raw reading that counts as zero
    int32_t accelZeroY = 0;
    int32_t accelZeroZ = 0;
    int32_t aux13 = 0; // kept, not shown
    int32_t aux14 = 0;

    bool operator==(const RobotState&) const = default;
};

// Battery voltage of telemetry byte 3: ((code - 1) mod 256) * 0.1, computed in double and
// stored as float. Code 0 gives 25.5 V, code 1 gives 0 V.
float batteryVoltsFromCode(uint8_t code);

// Charge in percent: (volts - 5.5) * 1.4285714285714282 * 100, limited to 0..100. The float
// volts are promoted to double, so code 63 (6.2 V as a float, just below 6.2) gives 99.99997.
float batteryPercentage(float volts);

// Text of the unit-type line for a hard version code, "Unit type    :unknown" for any code not in
// the table. Static storage; never null.
const char* unitTypeText(int hardVersion);

// Displayed acceleration of one axis: raw minus zero in 32-bit two's-complement arithmetic
// (wraps instead of overflowing).
int32_t accelValue(int32_t raw, int32_t zero);

// Calibration (the calibrate button SpeedButton1Click, and the decoder's automatic calibration):
// each zero value grows by the displayed value of its axis, so the zero becomes the last raw
// reading. The displayed values stay as they are until the next telemetry frame. Additions wrap
// in 32-bit two's-complement arithmetic.
void calibrateAccelerometer(RobotState& state);
