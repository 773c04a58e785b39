#pragma once
// Colours of the console. A colour code is a 24-bit integer with red in the low byte, green in
// the middle byte and blue in the high byte (255 is red, 65280 lime, 16711680 blue).

#include <QColor>

constexpr int clBlack = 0;
constexpr int clDarkRed = 96; // RGB 96, 0, 0: the dark background of the red bars
constexpr int clMaroon = 128;
constexpr int clRed = 255;
constexpr int clGreen = 32768;
constexpr int clOrange = 33023;
constexpr int clLime = 65280;
constexpr int clYellow = 65535;
constexpr int clPurple = 8388736;
constexpr int clTeal = 8421376;
constexpr int clGray = 8421504;
constexpr int clSilver = 12632256;
constexpr int clAqua = 16776960;
constexpr int clWhite = 16777215;

// Opaque colour of a code; bits above the low 24 are ignored.
QColor colorFromCode(int code);

// Code of a colour; its alpha is ignored.
int colorToCode(const QColor& color);
