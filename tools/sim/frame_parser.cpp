#include "tools/sim/frame_parser.h"

#include <cstring>

bool isCommandToRobot(uint8_t code) {
    switch (code) {
    case CmdAssignAddress:
    case CmdProbe:
    case CmdProgramActivate:
    case CmdProgramDeactivate:
    case CmdDriveLeft:
    case CmdDriveRight:
    case CmdStop:
    case CmdSetLeds:
    case CmdSoftVersion:
    case CmdHardVersion:
        return true;
    default:
        return false;
    }
}

bool isFrameToRobot(const uint8_t* frame) {
    if (frame[0] == StartByteCommand) {
        return isCommandToRobot(frame[2]);
    }
    if (frame[0] == StartByteTelemetry) {
        return frame[2] <= 200 && frame[3] <= 200;
    }
    return false;
}

std::vector<RobotFrame> FrameParser::feed(const uint8_t* data, size_t count) {
    std::vector<RobotFrame> frames;
    if (data != nullptr && count > 0) {
        buffer_.insert(buffer_.end(), data, data + count);
    }
    size_t pos = 0;
    while (pos < buffer_.size()) {
        const uint8_t first = buffer_[pos];
        if (first != StartByteCommand && first != StartByteTelemetry) {
            ++pos;
            ++discarded_;
            continue;
        }
        if (buffer_.size() - pos < RobotFrameSize) {
            break; // wait for the rest of this frame
        }
        if (!isFrameToRobot(&buffer_[pos])) {
            ++pos;
            ++discarded_;
            continue;
        }
        RobotFrame frame;
        std::memcpy(&frame, &buffer_[pos], RobotFrameSize);
        frames.push_back(frame);
        pos += RobotFrameSize;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
    return frames;
}

void FrameParser::clear() {
    discarded_ += buffer_.size();
    buffer_.clear();
}
