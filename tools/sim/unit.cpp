#include "tools/sim/unit.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string format(const char* pattern, int a, int b = 0, int c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

ReplyBytes reply(uint8_t address, uint8_t code, uint8_t value) {
    return {StartByteCommand, address, code, value};
}

void setDrive(Unit& unit, int left, int right, FrameOutcome& out, const char* how) {
    left = clampDrive(left);
    right = clampDrive(right);
    if (unit.driveLeft == left && unit.driveRight == right) {
        return;
    }
    unit.driveLeft = left;
    unit.driveRight = right;
    char text[160];
    std::snprintf(text, sizeof text, "unit %d: %s, drive left %d right %d", unit.address, how, left,
                  right);
    out.notes.push_back({text, false});
}

void applyCommand(Unit& unit, const RobotFrame& frame, FrameOutcome& out) {
    const int a = unit.address;
    switch (frame.command) {
    case CmdSoftVersion:
        out.replies.push_back(reply(unit.address, CmdSoftVersion, unit.softVersion));
        out.notes.push_back(
            {format("unit %d: soft version query, answering %d", a, unit.softVersion), false});
        break;
    case CmdHardVersion:
        out.replies.push_back(reply(unit.address, CmdHardVersion, unit.hardVersion));
        out.notes.push_back(
            {format("unit %d: hard version query, answering %d", a, unit.hardVersion), false});
        break;
    case CmdAssignAddress:
        unit.address = frame.argument;
        out.notes.push_back({format("unit %d: takes the new address %d", a, frame.argument), true});
        break;
    case CmdSetLeds: {
        const uint8_t bits = frame.argument & 0x0F;
        if (bits != unit.leds) {
            out.notes.push_back({format("unit %d: LEDs 0x%X", a, bits), false});
        }
        unit.leds = bits;
        break;
    }
    case CmdDriveLeft:
        setDrive(unit, frame.argument, unit.driveRight, out, "left drive");
        break;
    case CmdDriveRight:
        setDrive(unit, unit.driveLeft, frame.argument, out, "right drive");
        break;
    case CmdStop:
        setDrive(unit, DriveStill, DriveStill, out, "stop");
        break;
    case CmdProgramActivate:
        unit.programActive = true;
        out.notes.push_back({format("unit %d: program activated", a), true});
        break;
    case CmdProgramDeactivate:
        unit.programActive = false;
        out.notes.push_back({format("unit %d: program deactivated", a), true});
        break;
    default:
        out.notes.push_back(
            {format("unit %d: unknown command 0x%02X ignored", a, frame.command), false});
        break;
    }
}

} // namespace

int clampDrive(int value) {
    return std::clamp(value, 0, DriveMax);
}

FrameOutcome handleFrame(std::vector<Unit>& units, const RobotFrame& frame) {
    FrameOutcome out;
    if (frame.start == StartByteCommand && frame.command == CmdProbe) {
        for (Unit& unit : units) {
            if (unit.address == frame.address && unit.address == frame.argument) {
                out.addressed = true;
                out.replies.push_back(reply(unit.address, RplUnitDetected, unit.address));
                out.notes.push_back({format("unit %d: probed, answering", unit.address), false});
            }
        }
        return out;
    }
    // Frames are matched against the addresses the units had when the frame arrived, so a unit
    // that takes a new address is not addressed a second time by the same frame.
    std::vector<bool> matches(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        matches[i] = units[i].address == frame.address;
    }
    for (size_t i = 0; i < units.size(); ++i) {
        if (!matches[i]) {
            continue;
        }
        Unit& unit = units[i];
        out.addressed = true;
        if (frame.start == StartByteTelemetry) {
            // Drive-and-poll: the right drive value comes first.
            setDrive(unit, frame.argument, frame.command, out, "drive-and-poll");
            out.polledUnits.push_back(i);
        } else if (frame.start == StartByteCommand) {
            applyCommand(unit, frame, out);
        }
    }
    return out;
}
