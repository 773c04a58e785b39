#pragma once
// Keyboard driving: the arrow keys and W A S D move the robot as the knob would at half its
// travel in the held directions (Shift: full travel), through the knob's own arithmetic. A
// change of the held set sends its drive pair; the release of the last key sends one stop frame.
// Auto-repeated key events are the caller's to leave out.

#include "console/drive/knob_drive.h"

#include <cstdint>

// The eight driving keys; each arrow and its letter stand for one direction.
enum class DriveKey : uint8_t { Up, W, Down, S, Left, A, Right, D };
constexpr int kDriveKeyCount = 8;
// The key's bit in a mask of held keys.
constexpr uint8_t driveKeyBit(DriveKey key) {
    return static_cast<uint8_t>(1u << static_cast<unsigned>(key));
}

// Offsets from the pad centre that the held keys stand for, in the knob's convention (dx
// positive to the left, dy positive forward): half the pad's scale on each held axis, the whole
// scale with fullTravel. Opposite directions held together cancel on their axis.
struct KeyOffsets {
    int dx = 0;
    int dy = 0;
};
KeyOffsets keyDriveOffsets(uint8_t heldMask, bool fullTravel, const KnobGeometry& g);

// What one key event does to the line and the dashboard.
struct KeyOutcome {
    DriveAction action; // frame to offer, gauges to show
    int driveLeft = 100;
    int driveRight = 100;
};

class KeyDrive {
public:
    // True while any driving key is held.
    bool active() const { return held_ != 0; }
    uint8_t heldMask() const { return held_; }

    // A driving key went down, or came up; fullTravel is the Shift state of the event. Returns
    // false (and does nothing) when the event changes neither the held set nor the travel.
    bool press(DriveKey key, bool fullTravel, const KnobGeometry& g, bool& driveActive,
               KeyOutcome& out);
    bool release(DriveKey key, bool fullTravel, const KnobGeometry& g, bool& driveActive,
                 KeyOutcome& out);
    // Shift went down or up while keys are held.
    bool setFullTravel(bool fullTravel, const KnobGeometry& g, bool& driveActive, KeyOutcome& out);

    // Forgets the held keys without a frame: another source takes over, or the caller stops the
    // robot itself.
    void clear() { held_ = 0; }

private:
    KeyOutcome outcome(const KnobGeometry& g, bool& driveActive) const;

    uint8_t held_ = 0;
    bool fullTravel_ = false;
};
