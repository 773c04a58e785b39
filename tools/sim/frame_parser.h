#pragma once
// Cuts the byte stream that the console writes into 4-byte frames.
//
// The console writes each frame (or an 8-byte drive pair) in one go, but the line may hand
// several frames over in one read, or, rarely, a frame in two pieces. The parser therefore keeps
// an incomplete frame until its remaining bytes arrive. A frame starts with 0xFE (command) or
// 0xFC (drive-and-poll). A candidate that cannot be a frame (an FE frame whose byte 2 is no
// command the robot takes, an FC frame with a drive value above 200) is not taken: the parser
// drops its first byte and looks for the next start byte, as it does with any byte outside a
// frame. Dropped bytes are counted.

#include "protocol/robot_frame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// True for the command codes that the console sends to the robot (byte 2 of an FE frame).
bool isCommandToRobot(uint8_t code);

// True when the 4 bytes at frame can be a frame to the robot.
bool isFrameToRobot(const uint8_t* frame);

class FrameParser {
public:
    // Appends count bytes and returns every frame completed by them, in order.
    std::vector<RobotFrame> feed(const uint8_t* data, size_t count);

    // Bytes held back as the start of an incomplete frame.
    size_t pending() const { return buffer_.size(); }
    // Bytes dropped so far because they belonged to no frame.
    size_t discarded() const { return discarded_; }
    // Gives up an incomplete frame (its bytes count as dropped), e.g. after a quiet line.
    void clear();

private:
    std::vector<uint8_t> buffer_;
    size_t discarded_ = 0;
};
