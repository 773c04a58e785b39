#pragma once
// The dashboard's arithmetic: values in, values out, no widgets.

#include "protocol/link_health.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct RobotState;

namespace dashboard {

// Fore colour of the battery gauge for a percentage (0..100), advancing the blink phase in the
// two low bands, where the colour alternates from frame to frame.
int batteryColor(float percentage, bool& blinkPhase);

// "<whole part of value * 100 / 255> %": an engine current as a share of the byte's full scale.
std::string currentText(int value);
// "<value> %": a sonar reading as it stands.
std::string sonarText(int value);
// "X<x>,Y<y>,Z<z>".
std::string accelerationText(int x, int y, int z);

// Position of the accelerometer dot over its square: X moves it vertically, Y horizontally; a
// zero reading centres it and the far edges limit it, the near edges do not.
struct DotPosition {
    int left;
    int top;
};
DotPosition accelerationDot(int accelX, int accelY, int squareLeft, int squareTop, int squareWidth,
                            int squareHeight, int dotWidth, int dotHeight);

// The identity list's value rows that telemetry fills, as (row, value text), in row order: battery
// volts and percentage, sonars, engine currents, the four line sensors (1 = line seen), the four
// LEDs as reported, the acceleration. Each value follows its row's caption as the unit's rows do.
std::vector<std::pair<int, std::string>> identityValues(const RobotState& state);

// The link readout: "LINK <rate> fr/s  <refused> bad" over "last frame <age> s ago" while the
// port is open (age one decimal, "< 0.5 s" below half a second; "no frame yet" before the
// first), "LINK no port open" when it is closed. Rate and age are the chosen unit's; while
// another unit's telemetry comes, the second line names it instead: "id=<n> sends <rate> fr/s".
std::string linkReadoutText(bool open, double framesPerSecond, int refused,
                            std::optional<int64_t> ageMs,
                            std::optional<LinkHealth::OtherUnit> otherUnit = std::nullopt);
// A duration for the log: "<seconds, one decimal> s".
std::string secondsText(int64_t ms);
// What a connection received, said on the console's standard error when it ends:
// "link <port>: <n> telemetry frames and <m> other replies accepted, <refused> bad, in <t> s".
std::string linkSummaryText(const std::string& port, int telemetry, int otherReplies, int refused,
                            int64_t openMs);

} // namespace dashboard
