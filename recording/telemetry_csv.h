#pragma once
// The telemetry of a recording as CSV (RFC 4180: a header row, records ended by CR LF, dot
// decimals): one row per accepted telemetry frame, with every value the dashboard shows.
//
//   time_s      seconds since the recording's start, to the microsecond: the time of the rx line
//               of the capture that completed the frame
//   address     the sending unit
//   battery_V, battery_pct, line_LU, line_RU, line_LD, line_RD (1 = set), led1..led4 (1 = on),
//   current_L, current_R, sonar_L, sonar_R (raw 0..255), accel_raw_X/Y/Z (the frame's bytes),
//   accel_X/Y/Z (raw minus the zero, as shown), aux13, aux14
//
// Numbers are plain decimals; the volts and the percentage are the shortest text that reads back
// as the same 32-bit value.

#include "protocol/robot_frame.h"
#include "protocol/robot_state.h"

#include <cstdint>
#include <string>

struct TelemetryRow {
    int address = 0;
    float batteryVolts = 0;
    float batteryPercent = 0;
    bool lineSensor[4] = {};
    bool led[4] = {};
    int32_t currentLeft = 0, currentRight = 0;
    int32_t sonarLeft = 0, sonarRight = 0;
    int32_t accelRaw[3] = {};
    int32_t accel[3] = {};
    int32_t aux13 = 0, aux14 = 0;
};

// The row of a frame just decoded into state (before the first frame's calibration moves the
// zero, so that accel holds what the dashboard showed).
TelemetryRow telemetryRow(const TelemetryFrame& frame, const RobotState& state);

// The header row, with its CR LF.
std::string telemetryCsvHeader();
void appendTelemetryCsvRow(std::string& out, int64_t timeUs, const TelemetryRow& row);

// One field as RFC 4180 has it: quoted (quotes doubled) when it holds a comma, a quote or a line
// break, as it is otherwise.
std::string csvField(const std::string& text);
