#pragma once
// Who drives: the one place where the on-screen knob, the driving keys, the game controller, the
// drive's enable ("engines manual override"), the stop key and everything that takes the pointer
// or the keyboard away meet. The main window passes each event in and carries the answer out:
// the frame to send, where the knob is drawn, the six gauges, the values the command cycle
// repeats, whether a key event was the drive's, and what to do with the controller and the
// settle wait of released keys.
//
// The rules are one table, kDriveRules in drive_control.cpp: for an event, the first row whose
// condition holds decides. The arithmetic stays in knob_drive, key_drive and controller_drive.
//
// Keys. A key is up, driving (held and moving the robot) or spent (held, moving nothing until it
// is released and pressed anew). Every stop spends the keys that are down, and so does a press
// refused (drive off, another source driving, a shortcut modifier). A release counts only after
// the settle wait (KeysSettled): under X11 a held key's auto-repeat can reach the console as a
// release and a press, and the press that comes within the wait keeps the key as it was, driving
// or spent. A press of a key that is down is its repeat, and the drive's wherever the focus is
// (a box too): it never reaches another control, and a spent key stays spent through it.
//
// Where the window system tells which keys the keyboard holds down (X11), a spent key stays spent
// until it is really up: a release whose press went to another window (the repeat of a key held
// while the focus moves) does not free it, and a key released while another window had the
// keyboard is free again when the console has it back.

#include "console/drive/key_drive.h"
#include "console/drive/knob_drive.h"

#include <cstdint>
#include <optional>

enum class DriveEvent : uint8_t {
    KnobPress,      // a button went down on the pad or the knob
    KnobMove,       // the pointer moved over them (or anywhere, during a drag)
    KnobRelease,    // the button came up
    KeyPress,       // a driving key (arrows, W A S D) went down or repeated
    KeyRelease,     // a driving key came up (or seems to: see the settle wait)
    KeysSettled,    // the settle wait after key releases ran out: they count now
    ShiftChange,    // Shift went down or up
    ControllerTick, // the game controller's poll, with what it asks for
    EnableOff,      // "engines manual override" unchecked: no source drives
    EnableOn,       // checked again: nothing drives until a source moves anew
    StopKey,        // Esc
    LetGo,          // a box, the focus lost, hidden or minimised, the line closing
    UnitChanged,    // the chosen unit address changed; the window sends the stop to the old unit
    Fault,          // an exception escaped a handler
    KeyboardBack,   // a window of the console has the keyboard again
};

// What the controller's tick asked for, computed with DriveControl::driveActive() as it was.
struct ControllerTick {
    DriveAction action;
    bool driveActive = false; // the shared flag after the tick's send rule
    bool deflected = false;   // the reading asked for a drive pair
};

struct DriveInput {
    DriveEvent event = DriveEvent::KnobMove;
    // The pad and the knob as they are now; the keys drive through the pad's geometry.
    KnobRect pad;
    KnobRect knob;
    // Knob events: the control under the pointer and the pointer relative to it.
    KnobSender sender = KnobSender::Pad;
    int x = 0;
    int y = 0;
    // Key events.
    DriveKey key = DriveKey::Up;
    bool shift = false;       // full travel (ShiftChange: Shift is down now)
    bool shortcut = false;    // Ctrl, Alt, AltGr or Super/Meta held with it
    bool autoRepeat = false;  // marked as an auto-repeat
    bool onDashboard = false; // the main window is active and no text control has the focus
    // The driving keys the keyboard holds down now (KeysSettled, KeyboardBack), where known.
    bool keysDownKnown = false;
    uint8_t keysDown = 0;
    ControllerTick tick;
};

struct DriveAnswer {
    DriveSend send = DriveSend::None;
    int leftValue = 100; // bytes of a drive pair
    int rightValue = 100;
    std::optional<KnobRect> knob;      // the knob moved (drawn there now)
    std::optional<DriveGauges> gauges; // the six gauges changed
    int driveLeft = 100;               // the values the command cycle repeats, after the event
    int driveRight = 100;
    bool taken = false;          // a key event that no control may see
    bool settleKeys = false;     // (re)start the settle wait; KeysSettled when it runs out
    bool holdController = false; // the controller drives nothing until it has been centred
};

class DriveControl {
public:
    DriveAnswer handle(const DriveInput& in);

    // Read by reference: the window shows them under their design names.
    const bool& knobDragging() const { return knobDragging_; }
    // The flag the knob and the controller share: a drive pair is out, a neutral reading owes
    // one stop. The controller's tick is computed with it.
    const bool& driveActive() const { return driveActive_; }
    bool locked() const { return locked_; }
    bool keysDriving() const { return keys_.active(); }
    // Keys down that drive nothing until released.
    uint8_t spentKeys() const { return spent_; }
    // The drive-and-poll frame's values: stand still while the drive is off.
    int cycleLeft() const { return locked_ ? 100 : driveLeft_; }
    int cycleRight() const { return locked_ ? 100 : driveRight_; }
    // Something moves the robot or may: a drag, keys, a drive pair out, stored values, a
    // deflected controller.
    bool anythingDrives() const;

    // Condition and action of a row of the rule table.
    enum class When : uint8_t;
    enum class Then : uint8_t;

private:
    bool holds(When when, const DriveInput& in) const;
    void apply(Then then, const DriveInput& in, DriveAnswer& out);

    void takeKnobOutcome(const KnobOutcome& outcome, DriveAnswer& out);
    void takeKeyOutcome(const KeyOutcome& outcome, DriveAnswer& out);
    void takeAction(const DriveAction& action, DriveAnswer& out);
    // Every source lets go: knob at rest, keys spent, controller held, neutral values and
    // gauges; the stop frame with sendStop.
    void letEverySourceGo(const DriveInput& in, bool sendStop, DriveAnswer& out);
    void spendKeys();

    bool knobDragging_ = false;
    bool driveActive_ = false;
    bool locked_ = false;
    bool controllerDeflected_ = false;
    int driveLeft_ = 100;
    int driveRight_ = 100;
    KeyDrive keys_;         // the keys that drive
    uint8_t spent_ = 0;     // keys down that drive nothing
    uint8_t releasing_ = 0; // keys released, waiting out the settle wait
    bool releaseFullTravel_ = false;
};
