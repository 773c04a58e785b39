#pragma once
// The units on the simulated line: what each one is (address, versions), the state the
// console's commands set (LEDs, drive values, program flag), and what one received frame does.
//
// Every unit listens to every frame and acts only on frames that carry its own address. The
// probe asks "is there a unit at a": only a unit whose address is a answers, and only when the
// probe's argument repeats that address (FE a D0 a).

#include "protocol/robot_frame.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int DriveStill = 100;
constexpr int DriveMax = 200;

struct Unit {
    uint8_t address = 253;
    uint8_t softVersion = 3;
    uint8_t hardVersion = 20; // also the unit-type code: 20 = ZELK24
    uint8_t leds = 0;         // bit 0 LED1 .. bit 3 LED4
    int driveLeft = DriveStill;
    int driveRight = DriveStill;
    bool programActive = false;
};

using ReplyBytes = std::array<uint8_t, 4>;

struct LogNote {
    std::string text;
    bool notable = false; // shown even when per-frame logging is off
};

// What one frame did on the line.
struct FrameOutcome {
    std::vector<ReplyBytes> replies; // in unit order, each a 4-byte FE reply
    std::vector<LogNote> notes;
    bool addressed = false;          // at least one unit acted on the frame
    std::vector<size_t> polledUnits; // indices of the units a drive-and-poll frame addressed
};

// A drive value as a unit keeps it: 0..200.
int clampDrive(int value);

// Applies one frame (a 4-byte command or drive-and-poll frame) to every unit it is addressed
// to and returns the replies those units send back.
FrameOutcome handleFrame(std::vector<Unit>& units, const RobotFrame& frame);
