#include "console/drive/drive_control.h"

enum class DriveControl::When : uint8_t {
    Always,
    Locked,            // "engines manual override" unchecked
    AnythingDrives,    // see anythingDrives()
    KnobIdle,          // no drag under way
    KnobDragging,      // a drag under way
    KeysDrive,         // driving keys are held
    KeyDown,           // the key is down, driving or spent: a press of it is its repeat
    AwayFromDashboard, // another window or a text control has the keyboard
    AutoRepeat,        // marked as an auto-repeat
    Shortcut,          // Ctrl, Alt, AltGr or Super/Meta held with the key
    OtherSourceDrives, // the knob drags, or the controller is deflected
    KeyNotDown,        // the key is neither driving nor spent
    KeysDriveControllerAtRest,
    KeysDriveControllerDeflected,
};

enum class DriveControl::Then : uint8_t {
    Nothing,             // no frame, nothing shown; a key event is not the drive's
    Swallow,             // a key event that is the drive's and changes nothing
    KnobTakesOver,       // the drag begins: keys spent without a frame, the knob's pair
    KnobFollows,         // the knob follows the pointer: its pair, or one stop at neutral
    NeutralGauges,       // the six gauges show neutral, nothing sent
    KnobRests,           // the knob at rest, one stop frame, values 100, neutral gauges
    KeyRepeats,          // the repeat of a key that is down: its pending release is void
    KeyLeftToControl,    // a new press elsewhere: the key is that control's, no longer the drive's
    ShortcutSpendsKey,   // the shortcut goes to the controls; the key drives nothing while held
    RefuseKey,           // the key drives nothing while held
    KeyDrives,           // the held keys' pair
    KeyReleasing,        // the release waits out the settle wait
    KeysUp,              // the releases count: the remaining keys' pair, or one stop; spent
                         // keys the keyboard still holds stay spent
    FreeReleasedKeys,    // spent keys the keyboard no longer holds may drive when pressed anew
    TravelChanges,       // Shift: the held keys' pair at the new travel
    ControllerHeld,      // the reading is ignored; the controller is held at neutral
    ControllerTakesOver, // keys spent, values 100, the controller's frame
    ControllerDrives,    // the controller's frame and gauges
    StopEverySource,     // every source lets go, one stop frame
    LetEverySourceGo,    // every source lets go, no frame
    KeysStop,            // driving keys spent, one stop frame, values 100, neutral gauges
    SpendKeys,           // keys down drive nothing until released
};

namespace {

using When = DriveControl::When;
using Then = DriveControl::Then;

struct DriveRule {
    DriveEvent on;
    When when;
    Then then;
};

// For an event, the first row whose condition holds decides.
// clang-format off
constexpr DriveRule kDriveRules[] = {
    // on                          when                                then
    {DriveEvent::KnobPress,        When::Locked,                       Then::Nothing},
    {DriveEvent::KnobPress,        When::Always,                       Then::KnobTakesOver},
    {DriveEvent::KnobMove,         When::KnobIdle,                     Then::NeutralGauges},
    {DriveEvent::KnobMove,         When::Always,                       Then::KnobFollows},
    {DriveEvent::KnobRelease,      When::Locked,                       Then::Nothing},
    {DriveEvent::KnobRelease,      When::Always,                       Then::KnobRests},

    {DriveEvent::KeyPress,         When::KeyDown,                      Then::KeyRepeats},
    {DriveEvent::KeyPress,         When::AwayFromDashboard,            Then::KeyLeftToControl},
    {DriveEvent::KeyPress,         When::AutoRepeat,                   Then::Swallow},
    {DriveEvent::KeyPress,         When::Shortcut,                     Then::ShortcutSpendsKey},
    {DriveEvent::KeyPress,         When::Locked,                       Then::RefuseKey},
    {DriveEvent::KeyPress,         When::OtherSourceDrives,            Then::RefuseKey},
    {DriveEvent::KeyPress,         When::Always,                       Then::KeyDrives},
    {DriveEvent::KeyRelease,       When::KeyNotDown,                   Then::Nothing},
    {DriveEvent::KeyRelease,       When::AutoRepeat,                   Then::Swallow},
    {DriveEvent::KeyRelease,       When::Always,                       Then::KeyReleasing},
    {DriveEvent::KeysSettled,      When::Always,                       Then::KeysUp},
    {DriveEvent::ShiftChange,      When::Always,                       Then::TravelChanges},

    {DriveEvent::ControllerTick,   When::Locked,                       Then::ControllerHeld},
    {DriveEvent::ControllerTick,   When::KeysDriveControllerAtRest,    Then::Nothing},
    {DriveEvent::ControllerTick,   When::KeysDriveControllerDeflected, Then::ControllerTakesOver},
    {DriveEvent::ControllerTick,   When::Always,                       Then::ControllerDrives},

    {DriveEvent::EnableOff,        When::AnythingDrives,               Then::StopEverySource},
    {DriveEvent::EnableOff,        When::Always,                       Then::LetEverySourceGo},
    {DriveEvent::EnableOn,         When::Always,                       Then::Nothing},
    {DriveEvent::StopKey,          When::Always,                       Then::StopEverySource},
    {DriveEvent::Fault,            When::Always,                       Then::StopEverySource},
    {DriveEvent::UnitChanged,      When::AnythingDrives,               Then::StopEverySource},
    {DriveEvent::UnitChanged,      When::Always,                       Then::Nothing},
    {DriveEvent::LetGo,            When::KnobDragging,                 Then::KnobRests},
    {DriveEvent::LetGo,            When::KeysDrive,                    Then::KeysStop},
    {DriveEvent::LetGo,            When::Always,                       Then::SpendKeys},
    {DriveEvent::KeyboardBack,     When::Always,                       Then::FreeReleasedKeys},
};
// clang-format on

} // namespace

bool DriveControl::anythingDrives() const {
    return knobDragging_ || keys_.active() || driveActive_ || driveLeft_ != 100 ||
           driveRight_ != 100 || controllerDeflected_;
}

DriveAnswer DriveControl::handle(const DriveInput& in) {
    switch (in.event) {
    case DriveEvent::EnableOff:
        locked_ = true;
        break;
    case DriveEvent::EnableOn:
        locked_ = false;
        break;
    case DriveEvent::ControllerTick:
        controllerDeflected_ = in.tick.deflected;
        break;
    default:
        break;
    }
    DriveAnswer out;
    for (const DriveRule& rule : kDriveRules) {
        if (rule.on == in.event && holds(rule.when, in)) {
            apply(rule.then, in, out);
            break;
        }
    }
    out.driveLeft = driveLeft_;
    out.driveRight = driveRight_;
    return out;
}

bool DriveControl::holds(When when, const DriveInput& in) const {
    const uint8_t key = driveKeyBit(in.key);
    const bool down = ((keys_.heldMask() | spent_) & key) != 0;
    switch (when) {
    case When::Always:
        return true;
    case When::Locked:
        return locked_;
    case When::AnythingDrives:
        return anythingDrives();
    case When::KnobIdle:
        return !knobDragging_;
    case When::KnobDragging:
        return knobDragging_;
    case When::KeysDrive:
        return keys_.active();
    case When::KeyDown:
        return down;
    case When::AwayFromDashboard:
        return !in.onDashboard;
    case When::AutoRepeat:
        return in.autoRepeat;
    case When::Shortcut:
        return in.shortcut;
    case When::OtherSourceDrives:
        return knobDragging_ || controllerDeflected_;
    case When::KeyNotDown:
        return !down;
    case When::KeysDriveControllerAtRest:
        return keys_.active() && !in.tick.deflected;
    case When::KeysDriveControllerDeflected:
        return keys_.active() && in.tick.deflected;
    }
    return false;
}

void DriveControl::apply(Then then, const DriveInput& in, DriveAnswer& out) {
    const uint8_t key = driveKeyBit(in.key);
    const KnobGeometry geometry = knobGeometry(in.pad, in.knob);
    KeyOutcome keyOutcome;
    switch (then) {
    case Then::Nothing:
        break;
    case Then::Swallow:
        out.taken = true;
        break;
    case Then::KnobTakesOver:
        spendKeys(); // no stop between the keys and the knob
        takeKnobOutcome(
            knobPress(in.pad, in.knob, in.sender, in.x, in.y, knobDragging_, driveActive_), out);
        break;
    case Then::KnobFollows:
        takeKnobOutcome(
            knobMove(in.pad, in.knob, in.sender, in.x, in.y, knobDragging_, driveActive_), out);
        break;
    case Then::NeutralGauges:
        out.gauges = DriveGauges{};
        break;
    case Then::KnobRests:
        spendKeys();
        takeKnobOutcome(knobRelease(in.pad, in.knob, knobDragging_), out);
        break;
    case Then::KeyRepeats:
        releasing_ &= uint8_t(~key);
        out.taken = true;
        break;
    case Then::KeyLeftToControl:
        spent_ &= uint8_t(~key);
        releasing_ &= uint8_t(~key);
        break;
    case Then::ShortcutSpendsKey:
        spent_ |= key;
        break;
    case Then::RefuseKey:
        spent_ |= key;
        out.taken = true;
        break;
    case Then::KeyDrives:
        spent_ &= uint8_t(~key);
        if (keys_.press(in.key, in.shift, geometry, driveActive_, keyOutcome))
            takeKeyOutcome(keyOutcome, out);
        out.taken = true;
        break;
    case Then::KeyReleasing:
        releasing_ |= key;
        releaseFullTravel_ = in.shift;
        out.settleKeys = true;
        out.taken = true;
        break;
    case Then::KeysUp: {
        const uint8_t released = releasing_;
        releasing_ = 0;
        // Not known: the release counts as the key's.
        const uint8_t held = in.keysDownKnown ? in.keysDown : 0;
        spent_ &= uint8_t(~(released & ~held));
        // Keys released together: the last change is the one the robot needs.
        bool changed = false;
        for (int k = 0; k < kDriveKeyCount; ++k) {
            if ((released & driveKeyBit(DriveKey(k))) &&
                keys_.release(DriveKey(k), releaseFullTravel_, geometry, driveActive_, keyOutcome))
                changed = true;
        }
        if (changed)
            takeKeyOutcome(keyOutcome, out);
        break;
    }
    case Then::TravelChanges:
        if (keys_.setFullTravel(in.shift, geometry, driveActive_, keyOutcome))
            takeKeyOutcome(keyOutcome, out);
        break;
    case Then::ControllerHeld:
        controllerDeflected_ = false; // its reading drives nothing
        out.holdController = true;
        out.gauges = DriveGauges{};
        break;
    case Then::ControllerTakesOver:
        spendKeys();
        driveLeft_ = 100;
        driveRight_ = 100;
        driveActive_ = in.tick.driveActive;
        takeAction(in.tick.action, out);
        break;
    case Then::ControllerDrives:
        driveActive_ = in.tick.driveActive;
        takeAction(in.tick.action, out);
        break;
    case Then::StopEverySource:
        letEverySourceGo(in, true, out);
        break;
    case Then::LetEverySourceGo:
        letEverySourceGo(in, false, out);
        break;
    case Then::KeysStop:
        spendKeys();
        driveActive_ = false;
        driveLeft_ = 100;
        driveRight_ = 100;
        out.send = DriveSend::Stop;
        out.gauges = DriveGauges{};
        break;
    case Then::SpendKeys:
        spendKeys();
        break;
    case Then::FreeReleasedKeys:
        if (in.keysDownKnown)
            spent_ &= in.keysDown;
        break;
    }
}

void DriveControl::takeAction(const DriveAction& action, DriveAnswer& out) {
    out.send = action.send;
    out.leftValue = action.leftValue;
    out.rightValue = action.rightValue;
    out.gauges = action.gauges;
}

void DriveControl::takeKnobOutcome(const KnobOutcome& outcome, DriveAnswer& out) {
    out.knob = outcome.knob;
    if (outcome.setDrive) {
        driveLeft_ = outcome.driveLeft;
        driveRight_ = outcome.driveRight;
    }
    takeAction(outcome.action, out);
}

void DriveControl::takeKeyOutcome(const KeyOutcome& outcome, DriveAnswer& out) {
    driveLeft_ = outcome.driveLeft;
    driveRight_ = outcome.driveRight;
    takeAction(outcome.action, out);
}

void DriveControl::letEverySourceGo(const DriveInput& in, bool sendStop, DriveAnswer& out) {
    knobDragging_ = false;
    out.knob = knobAtRest(in.pad, in.knob);
    spendKeys();
    out.holdController = true;
    driveActive_ = false;
    driveLeft_ = 100;
    driveRight_ = 100;
    out.gauges = DriveGauges{};
    out.send = sendStop ? DriveSend::Stop : DriveSend::None;
}

void DriveControl::spendKeys() {
    spent_ |= keys_.heldMask();
    keys_.clear();
}
