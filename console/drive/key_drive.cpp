#include "console/drive/key_drive.h"

namespace {

bool held(uint8_t mask, DriveKey arrow, DriveKey letter) {
    return (mask & (driveKeyBit(arrow) | driveKeyBit(letter))) != 0;
}

// +1, -1 or 0 along one axis from the two opposite directions.
int axis(bool positive, bool negative) {
    return (positive ? 1 : 0) - (negative ? 1 : 0);
}

} // namespace

KeyOffsets keyDriveOffsets(uint8_t heldMask, bool fullTravel, const KnobGeometry& g) {
    const int travelX = fullTravel ? g.scaleX : g.scaleX / 2;
    const int travelY = fullTravel ? g.scaleY : g.scaleY / 2;
    KeyOffsets o;
    o.dy = travelY * axis(held(heldMask, DriveKey::Up, DriveKey::W),
                          held(heldMask, DriveKey::Down, DriveKey::S));
    o.dx = travelX * axis(held(heldMask, DriveKey::Left, DriveKey::A),
                          held(heldMask, DriveKey::Right, DriveKey::D));
    return o;
}

KeyOutcome KeyDrive::outcome(const KnobGeometry& g, bool& driveActive) const {
    KeyOutcome out;
    if (held_ == 0) {
        // The release of the last key: one stop frame whatever was sent before, neutral gauges.
        // The stop ends this drive, so a controller at rest does not stop it a second time.
        out.action.send = DriveSend::Stop;
        driveActive = false;
        return out;
    }
    const KeyOffsets o = keyDriveOffsets(held_, fullTravel_, g);
    const KnobDeflection d = knobDeflection(g, o.dx, o.dy, driveActive);
    out.action = d.action;
    if (d.action.send == DriveSend::DrivePair) {
        out.driveLeft = d.driveLeft;
        out.driveRight = d.driveRight;
    }
    return out;
}

bool KeyDrive::press(DriveKey key, bool fullTravel, const KnobGeometry& g, bool& driveActive,
                     KeyOutcome& out) {
    const uint8_t before = held_;
    const bool travelBefore = fullTravel_;
    held_ |= driveKeyBit(key);
    fullTravel_ = fullTravel;
    if (held_ == before && fullTravel_ == travelBefore)
        return false;
    out = outcome(g, driveActive);
    return true;
}

bool KeyDrive::release(DriveKey key, bool fullTravel, const KnobGeometry& g, bool& driveActive,
                       KeyOutcome& out) {
    if ((held_ & driveKeyBit(key)) == 0)
        return false; // not pressed while driving was allowed: its release is nobody's
    held_ &= static_cast<uint8_t>(~driveKeyBit(key));
    fullTravel_ = fullTravel;
    out = outcome(g, driveActive);
    return true;
}

bool KeyDrive::setFullTravel(bool fullTravel, const KnobGeometry& g, bool& driveActive,
                             KeyOutcome& out) {
    if (held_ == 0 || fullTravel == fullTravel_) {
        fullTravel_ = fullTravel;
        return false;
    }
    fullTravel_ = fullTravel;
    out = outcome(g, driveActive);
    return true;
}
