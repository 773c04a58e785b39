// Who drives, as the operator meets it: each case is a sequence of events (keys as the X server
// delivers them, auto-repeat included, the knob, the controller's ticks, the enable box, Esc,
// whatever takes the keyboard away, a change of unit) and what each one must send. One table, one
// loop; no display.
#include "console/drive/drive_control.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const KnobRect kPad{20, 270, 259, 261};
const KnobRect kKnobAtDesign{132, 384, 32, 32};

// What a step must answer.
struct Expect {
    DriveSend send = DriveSend::None;
    int left = 100; // a drive pair's bytes
    int right = 100;
    std::optional<bool> taken; // a key event: the drive's, or the focused control's
    std::optional<int> cycle;  // both values the command cycle repeats afterwards
    std::optional<bool> hold;  // the controller held at neutral
};

struct Step {
    DriveInput in;
    Expect expect;
};

Expect nothing() {
    return Expect{};
}
Expect pair(int left, int right) {
    Expect e;
    e.send = DriveSend::DrivePair;
    e.left = left;
    e.right = right;
    return e;
}
Expect stop() {
    Expect e;
    e.send = DriveSend::Stop;
    return e;
}
Expect taken(Expect e) {
    e.taken = true;
    return e;
}
Expect passed(Expect e) {
    e.taken = false;
    return e;
}
Expect cycle(int value, Expect e) {
    e.cycle = value;
    return e;
}
Expect held(Expect e) {
    e.hold = true;
    return e;
}

DriveInput event(DriveEvent e) {
    DriveInput in;
    in.event = e;
    return in;
}
// A driving key on the dashboard.
DriveInput key(DriveEvent e, DriveKey k, bool autoRepeat = false) {
    DriveInput in = event(e);
    in.key = k;
    in.autoRepeat = autoRepeat;
    in.onDashboard = true;
    return in;
}
DriveInput press(DriveKey k) {
    return key(DriveEvent::KeyPress, k);
}
DriveInput repeatPress(DriveKey k) { // marked as auto-repeat
    return key(DriveEvent::KeyPress, k, true);
}
DriveInput release(DriveKey k) {
    return key(DriveEvent::KeyRelease, k);
}
DriveInput shortcutPress(DriveKey k) { // Ctrl, Alt, AltGr or Super held
    DriveInput in = press(k);
    in.shortcut = true;
    return in;
}
DriveInput elsewhere(DriveInput in) { // another window or a text control has the keyboard
    in.onDashboard = false;
    return in;
}
DriveInput settle() {
    return event(DriveEvent::KeysSettled);
}
// The knob pressed or moved to (dx, dy) from the pad centre (positive: left of, above it).
DriveInput knob(DriveEvent e, int dx, int dy) {
    DriveInput in = event(e);
    in.sender = KnobSender::Pad;
    in.x = kPad.width / 2 - dx;
    in.y = kPad.height / 2 - dy;
    return in;
}
DriveInput tick(DriveSend send, bool deflected, int left = 100, int right = 100) {
    DriveInput in = event(DriveEvent::ControllerTick);
    in.tick.action.send = send;
    in.tick.action.leftValue = left;
    in.tick.action.rightValue = right;
    in.tick.deflected = deflected;
    in.tick.driveActive = deflected;
    return in;
}

// Up held with an X server's auto-repeat on a busy machine: a release and a press, unmarked.
std::vector<Step> repeatPair(DriveKey k, Expect eachPress = taken(nothing())) {
    return {{release(k), taken(nothing())}, {press(k), eachPress}};
}

struct Case {
    std::string name;
    std::vector<std::vector<Step>> steps;
};

const std::vector<Step> kUpDrives = {{press(DriveKey::Up), taken(cycle(150, pair(150, 150)))}};
// Up still held after a stop: marked repeats and unmarked pairs drive nothing, the settle wait
// runs out while it is held, and the cycle stays at rest.
const std::vector<Step> kUpStaysSpent = {
    {repeatPress(DriveKey::Up), taken(nothing())},       {release(DriveKey::Up), taken(nothing())},
    {press(DriveKey::Up), taken(cycle(100, nothing()))}, {settle(), cycle(100, nothing())},
    {repeatPress(DriveKey::Up), taken(nothing())},
};
// Released for real, then pressed anew: it drives again.
const std::vector<Step> kUpAnew = {
    {release(DriveKey::Up), taken(nothing())},
    {settle(), nothing()},
    {press(DriveKey::Up), taken(cycle(150, pair(150, 150)))},
};

const std::vector<Case> kCases = {
    {"held key drives once, repeats and repeat pairs change nothing, the last release stops once",
     {kUpDrives,
      {{repeatPress(DriveKey::Up), taken(nothing())}},
      repeatPair(DriveKey::Up),
      {{settle(), cycle(150, nothing())}},
      {{press(DriveKey::A), taken(pair(199, 101))}},
      {{release(DriveKey::A), taken(nothing())}, {release(DriveKey::Up), taken(nothing())}},
      {{settle(), cycle(100, stop())}}}},

    {"a key with a shortcut modifier drives nothing and stays spent while held",
     {{{shortcutPress(DriveKey::A), passed(nothing())}},
      {{shortcutPress(DriveKey::Up), passed(nothing())}},
      repeatPair(DriveKey::Up),
      {{settle(), cycle(100, nothing())}},
      kUpAnew}},

    {"a shortcut ends no driving",
     {kUpDrives,
      {{shortcutPress(DriveKey::W), passed(nothing())}},
      {{repeatPress(DriveKey::Up), taken(nothing())}},
      {{settle(), cycle(150, nothing())}}}},

    {"Esc: one stop, the held key stays spent until pressed anew",
     {kUpDrives, {{event(DriveEvent::StopKey), held(cycle(100, stop()))}}, kUpStaysSpent, kUpAnew}},

    {"knob takes over from a held key; after its release the key drives nothing",
     {kUpDrives,
      {{knob(DriveEvent::KnobPress, 0, 65), cycle(150, pair(150, 150))}},
      {{knob(DriveEvent::KnobMove, 129, 0), pair(200, 0)}},
      repeatPair(DriveKey::Up),
      {{event(DriveEvent::KnobRelease), cycle(100, stop())}},
      kUpStaysSpent,
      kUpAnew}},

    {"a key pressed while the knob drags drives nothing, then or after",
     {{{knob(DriveEvent::KnobPress, 0, 65), pair(150, 150)}},
      {{press(DriveKey::Down), taken(cycle(150, nothing()))}},
      {{event(DriveEvent::KnobRelease), stop()}},
      repeatPair(DriveKey::Down),
      {{settle(), cycle(100, nothing())}}}},

    {"the lock stops once, refuses every source, and on again drives nothing by itself",
     {kUpDrives,
      {{event(DriveEvent::EnableOff), held(cycle(100, stop()))}},
      {{knob(DriveEvent::KnobPress, 0, 65), nothing()}},
      {{event(DriveEvent::KnobRelease), nothing()}},
      {{tick(DriveSend::DrivePair, true, 199, 199), held(nothing())}},
      {{event(DriveEvent::EnableOn), nothing()}},
      kUpStaysSpent,
      {{event(DriveEvent::EnableOff), nothing()}}, // nothing drove: no frame
      {{release(DriveKey::Up), taken(nothing())}, {settle(), nothing()}},
      {{press(DriveKey::Up), taken(nothing())}}, // pressed anew while off: refused
      {{event(DriveEvent::EnableOn), nothing()}},
      kUpStaysSpent}},

    {"focus lost: one stop; the key's repeats are the drive's wherever the focus went",
     {kUpDrives,
      {{event(DriveEvent::LetGo), cycle(100, stop())}},
      {{elsewhere(repeatPress(DriveKey::Up)), taken(nothing())}},
      {{elsewhere(release(DriveKey::Up)), taken(nothing())},
       {elsewhere(press(DriveKey::Up)), taken(nothing())}},
      {{event(DriveEvent::LetGo), nothing()}}, // nothing drives: no second stop
      kUpAnew}},

    {"a new press in a text control is that control's",
     {{{elsewhere(press(DriveKey::W)), passed(nothing())}},
      {{elsewhere(release(DriveKey::W)), passed(nothing())}}}},

    {"unit changed while driving: one stop, every source lets go, the key stays spent",
     {kUpDrives,
      {{event(DriveEvent::UnitChanged), held(cycle(100, stop()))}},
      kUpStaysSpent,
      {{event(DriveEvent::UnitChanged), nothing()}}, // nothing drives: the unit gets nothing
      kUpAnew}},

    {"unit changed after a drag whose pair is still out: the stop goes",
     {{{knob(DriveEvent::KnobPress, 0, 65), pair(150, 150)}},
      {{event(DriveEvent::KnobRelease), stop()}},
      {{event(DriveEvent::UnitChanged), stop()}}}},

    {"a fault stops every source",
     {kUpDrives, {{event(DriveEvent::Fault), held(cycle(100, stop()))}}, kUpStaysSpent}},

    {"a deflected controller takes over from the keys, one at rest stays out of it",
     {kUpDrives,
      {{tick(DriveSend::None, false), cycle(150, nothing())}},
      {{tick(DriveSend::DrivePair, true, 199, 199), cycle(100, pair(199, 199))}},
      repeatPair(DriveKey::Up, taken(nothing())),
      {{settle(), nothing()}},
      {{tick(DriveSend::Stop, false), stop()}}}},

    {"a deflected controller refuses keys",
     {{{tick(DriveSend::DrivePair, true, 199, 199), pair(199, 199)}},
      {{press(DriveKey::Up), taken(cycle(100, nothing()))}}}},
};

void expectStep(const DriveAnswer& got, const Expect& want) {
    EXPECT_EQ(got.send, want.send);
    if (want.send == DriveSend::DrivePair) {
        EXPECT_EQ(got.leftValue, want.left);
        EXPECT_EQ(got.rightValue, want.right);
    }
    if (want.taken) {
        EXPECT_EQ(got.taken, *want.taken);
    }
    if (want.cycle) {
        EXPECT_EQ(got.driveLeft, *want.cycle);
        EXPECT_EQ(got.driveRight, *want.cycle);
    }
    if (want.hold) {
        EXPECT_EQ(got.holdController, *want.hold);
    }
}

} // namespace

TEST(DriveControl, EveryCaseSendsWhatTheOperatorMeant) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        DriveControl drive;
        KnobRect knobAt = kKnobAtDesign;
        int n = 0;
        for (const std::vector<Step>& group : c.steps) {
            for (Step step : group) {
                SCOPED_TRACE("step " + std::to_string(++n));
                step.in.pad = kPad;
                step.in.knob = knobAt;
                const DriveAnswer got = drive.handle(step.in);
                if (got.knob)
                    knobAt = *got.knob;
                expectStep(got, step.expect);
            }
        }
    }
}

TEST(DriveControl, WhileLockedTheCycleSendsRestWhateverIsStored) {
    DriveControl drive;
    DriveInput in = knob(DriveEvent::KnobPress, 0, 65);
    in.pad = kPad;
    in.knob = kKnobAtDesign;
    drive.handle(in);
    ASSERT_EQ(drive.cycleLeft(), 150);
    DriveInput off = event(DriveEvent::EnableOff);
    off.pad = kPad;
    off.knob = kKnobAtDesign;
    const DriveAnswer answer = drive.handle(off);
    EXPECT_EQ(answer.knob, (KnobRect{132, 383, 32, 32})) << "knob at rest";
    EXPECT_EQ(answer.gauges, DriveGauges{});
    EXPECT_FALSE(drive.knobDragging());
    EXPECT_EQ(drive.cycleLeft(), 100);
    EXPECT_EQ(drive.cycleRight(), 100);
}
