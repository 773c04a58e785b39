#include "protocol/robot_frame.h"

namespace {

uint8_t low8(int value) {
    return static_cast<uint8_t>(value);
}

} // namespace

uint8_t frameSum(const uint8_t* frame16) {
    uint8_t sum = 0;
    for (int i = 3; i <= 14; ++i) {
        sum = static_cast<uint8_t>(sum + frame16[i]);
    }
    return sum;
}

uint8_t ledBits(bool led1, bool led2, bool led3, bool led4) {
    return static_cast<uint8_t>((led1 ? 1 : 0) | (led2 ? 2 : 0) | (led3 ? 4 : 0) | (led4 ? 8 : 0));
}

uint8_t ledBits(const bool (&leds)[4]) {
    return ledBits(leds[0], leds[1], leds[2], leds[3]);
}

int buildFrame(FrameBuffer& buffer, uint8_t start, int address, uint8_t command, int argument) {
    buffer[0] = start;
    buffer[1] = low8(address);
    buffer[2] = command;
    buffer[3] = low8(argument);
    return RobotFrameSize;
}

int buildProbe(FrameBuffer& buffer, int address) {
    return buildFrame(buffer, StartByteCommand, address, CmdProbe, address);
}

int buildAssignAddress(FrameBuffer& buffer, int address, int newAddress) {
    return buildFrame(buffer, StartByteCommand, address, CmdAssignAddress, newAddress);
}

int buildProgramActivate(FrameBuffer& buffer, int address) {
    return buildFrame(buffer, StartByteCommand, address, CmdProgramActivate, 0);
}

int buildProgramDeactivate(FrameBuffer& buffer, int address) {
    return buildFrame(buffer, StartByteCommand, address, CmdProgramDeactivate, 0);
}

int buildSoftVersionQuery(FrameBuffer& buffer, int address) {
    return buildFrame(buffer, StartByteCommand, address, CmdSoftVersion, 0);
}

int buildHardVersionQuery(FrameBuffer& buffer, int address) {
    return buildFrame(buffer, StartByteCommand, address, CmdHardVersion, 0);
}

int buildSetLeds(FrameBuffer& buffer, int address, uint8_t bits) {
    return buildFrame(buffer, StartByteCommand, address, CmdSetLeds, bits & 0x0F);
}

int buildStop(FrameBuffer& buffer, int address) {
    return buildFrame(buffer, StartByteCommand, address, CmdStop, CmdStop);
}

int buildDrivePair(FrameBuffer& buffer, int address, int left, int right) {
    buffer[0] = StartByteCommand;
    buffer[1] = low8(address);
    buffer[2] = CmdDriveLeft;
    buffer[3] = low8(left);
    buffer[4] = StartByteCommand;
    buffer[5] = low8(address);
    buffer[6] = CmdDriveRight;
    buffer[7] = low8(right);
    return 2 * RobotFrameSize;
}

int buildDriveAndPoll(FrameBuffer& buffer, int address, int left, int right) {
    buffer[0] = StartByteTelemetry;
    buffer[1] = low8(address);
    buffer[2] = low8(right);
    buffer[3] = low8(left);
    return RobotFrameSize;
}

ReplyKind recognizeChunk(const uint8_t* data, int count) {
    if (data == nullptr || count <= 0) {
        return ReplyKind::None;
    }
    if (data[0] == StartByteCommand && count >= RobotFrameSize) {
        switch (data[2]) {
        case RplUnitDetected:
            return ReplyKind::UnitDetected;
        case CmdSoftVersion:
            return ReplyKind::SoftVersion;
        case CmdHardVersion:
            return ReplyKind::HardVersion;
        default:
            return ReplyKind::None;
        }
    }
    if (data[0] == StartByteTelemetry && count >= TelemetryFrameSize && data[2] == RplTelemetry &&
        frameSum(data) == data[15]) {
        return ReplyKind::Telemetry;
    }
    return ReplyKind::None;
}
