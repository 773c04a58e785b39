#pragma once
// The 16-byte telemetry frame as the robot sends it:
// FC, address, E5, battery, line sensors, LEDs, current L, current R, sonar L, sonar R,
// accel X, accel Y, accel Z, aux13, aux14, sum of bytes 3..14 modulo 256.

#include "tools/sim/robot_model.h"

#include <array>
#include <cstdint>

using TelemetryBytes = std::array<uint8_t, 16>;

// Sum of the twelve data bytes 3..14, modulo 256.
uint8_t telemetrySum(const TelemetryBytes& frame);

// aux13 carries 1 while the unit's program is active, aux14 a frame counter; the console keeps
// both without showing them.
TelemetryBytes buildTelemetry(uint8_t address, const SensorReadings& sensors, uint8_t leds,
                              uint8_t aux13, uint8_t aux14);

// Makes the frame's sum wrong (for exercising the console's sum check).
void spoilSum(TelemetryBytes& frame);
