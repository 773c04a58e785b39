#pragma once
// The dashboard's arithmetic: values in, values out, no widgets.

#include <cstdint>
#include <string>

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

} // namespace dashboard
