#pragma once
// The game controller's part of drive control: Timer3Timer's arithmetic and its send rule.
//
// Every 50 ms the console polls controller 0 (when the presence probe found it and its X, Y and
// Z axes all have a range), turns the Y position into the forward value f and the X position
// into the sideways value s, applies the panel's options, mixes, sends a drive pair while the
// controller is deflected and one stop frame when it comes back to rest, and shows the values
// on the six drive gauges. The controller never writes driveLeft and driveRight; it shares only
// driveActive with the on-screen knob.
//
// A poll that fails (controller unplugged or unreadable) counts as a neutral reading, and so
// does every tick until a poll succeeds again: one stop frame if driveActive was set, then
// nothing. An unplugged controller never keeps the robot driving on its last position.

#include "console/drive/drive_mix.h"
#include "console/drive/joystick_device.h"

#include <cstdint>
#include <optional>

// The three options of the connection panel that bend the controller's axes, applied in this
// order: swap, then negate X, then negate Y.
struct ControllerOptions {
    bool swapXY = false;  // CheckBox4 "inverse x<-->y": swap f and s
    bool negateX = false; // CheckBox3 "negative X": s := -s
    bool negateY = false; // CheckBox2 "negative Y": f := -f
};

// Value of one axis. With d = position - range / 2 taken exactly (it may end in .5; the axis
// minimum is not added): 0 inside the dead zone |d / range| <= 0.1, otherwise trunc(-d * 200 /
// 65536). The dead zone follows the reported range, the scale is a fixed 65536 steps: an axis of
// 0..65535 gives 99 at position 0, 0 over 26214..39321, -20 at 39322 and -99 at 65535; an axis of
// 0..1023 never gives more than 1 in magnitude. A range of 0 gives 0.
int controllerAxisValue(uint32_t position, uint32_t range);

// True when the caps give each of the X, Y and Z axes a range. A controller without one of them
// is never polled, although its Z axis is not read.
bool controllerPollable(const JoystickCaps& caps);

// The forward and sideways values of a reading after the options.
struct ControllerValues {
    int f = 0; // forward, from the Y axis
    int s = 0; // to the left, from the X axis

    bool operator==(const ControllerValues&) const = default;
};
ControllerValues controllerValues(const JoystickReading& reading, const JoystickCaps& caps,
                                  const ControllerOptions& options);

// One tick after the poll: pollOk false (or a neutral reading) with driveActive set gives one
// stop frame; a deflection gives its drive pair. The gauges show the mix on the side gauges,
// |f| on CGauge11 and |s| on CGauge12, neutral after a failed poll. Updates driveActive.
DriveAction controllerAction(bool pollOk, const JoystickReading& reading, const JoystickCaps& caps,
                             const ControllerOptions& options, bool& driveActive);

// The controller of one console run: probed once, then ticked by Timer3Timer.
class ControllerDrive {
public:
    explicit ControllerDrive(JoystickDevice& device) : device_(device) {}

    // Presence probe, once when the main window is created: when controller 0 answers, reads its
    // caps and sets joystickPresent. A controller that is absent now stays unused for the whole
    // run. Calls after the first return the first answer and ask the device nothing.
    bool probe();

    bool joystickPresent() const { return joystickPresent_; }
    // A tick can do something only for a present controller with a range on X, Y and Z; the
    // answer does not change after the probe.
    bool pollable() const { return joystickPresent_ && controllerPollable(joystickCaps_); }
    const JoystickCaps& joystickCaps() const { return joystickCaps_; }

    // Timer3Timer: nothing (nullopt, no poll, gauges untouched) without a present controller or
    // without a range on X, Y or Z; otherwise polls and returns the frame to offer and the
    // gauges to show, updating driveActive.
    std::optional<DriveAction> tick(const ControllerOptions& options, bool& driveActive);

    // Holds the controller at neutral until its stick has been back inside the dead zone: after
    // a stop key, or while driving is switched off, a stick still deflected drives nothing and
    // never jumps back to its old position.
    void holdAtNeutral() { heldAtNeutral_ = true; }
    bool heldAtNeutral() const { return heldAtNeutral_; }
    // True when the last tick's reading asked for a drive pair.
    bool deflected() const { return deflected_; }

private:
    JoystickDevice& device_;
    bool probed_ = false;
    bool joystickPresent_ = false;
    JoystickCaps joystickCaps_;
    bool heldAtNeutral_ = false;
    bool deflected_ = false;
};
