// Who drives, as the operator meets it: each case is a sequence of events (keys as the X server
// delivers them, auto-repeat included, the knob, the controller's ticks, the enable box, Esc,
// whatever takes the keyboard away, a change of unit) and what each one must send. One table, one
// loop; no display.
#include "console/drive/drive_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const KnobRect kPad{20, 270, 259, 261};
const KnobRect kKnobAtDesign{132, 384, 32, 32};

// What a step must answer: the frame (a drive pair's bytes), whether a key event is the drive's
// (-1: no matter), and the value the cycle repeats on both sides (-1: no matter).
struct Expect {
    DriveSend send = DriveSend::None;
    int left = 100, right = 100, taken = -1, cycle = -1;
};
const Expect kNothing{DriveSend::None, 100, 100, -1, -1};
const Expect kStop{DriveSend::Stop, 100, 100, -1, -1};
Expect pair(int left, int right) {
    return Expect{DriveSend::DrivePair, left, right, -1, -1};
}
Expect taken(Expect e, bool isTaken = true) {
    e.taken = isTaken;
    return e;
}
Expect cycle(int value, Expect e) {
    e.cycle = value;
    return e;
}
struct Step {
    DriveInput in;
    Expect expect;
};

DriveInput event(DriveEvent e) {
    DriveInput in;
    in.event = e;
    return in;
}
enum KeyHow : unsigned { Plain = 0, Repeat = 1, Shortcut = 2, Elsewhere = 4 };
// A driving key; Elsewhere: another window or a text control has the keyboard.
DriveInput key(DriveEvent e, DriveKey k, unsigned how = Plain) {
    DriveInput in = event(e);
    in.key = k;
    in.autoRepeat = how & Repeat;
    in.shortcut = how & Shortcut;
    in.onDashboard = !(how & Elsewhere);
    return in;
}
DriveInput press(DriveKey k, unsigned how = Plain) {
    return key(DriveEvent::KeyPress, k, how);
}
DriveInput release(DriveKey k, unsigned how = Plain) {
    return key(DriveEvent::KeyRelease, k, how);
}
DriveInput settle() {
    return event(DriveEvent::KeysSettled);
}
// The keyboard's own record of the keys down comes with it (X11).
DriveInput withDown(DriveInput in, uint8_t down) {
    in.keysDownKnown = true;
    in.keysDown = down;
    return in;
}
const uint8_t kUpBit = driveKeyBit(DriveKey::Up);
// The knob pressed or moved to (dx, dy) from the pad centre (positive: left of, above it).
DriveInput knob(DriveEvent e, int dx, int dy) {
    DriveInput in = event(e);
    in.x = kPad.width / 2 - dx;
    in.y = kPad.height / 2 - dy;
    return in;
}
DriveInput tick(DriveSend send, bool deflected, int value = 100) {
    DriveInput in = event(DriveEvent::ControllerTick);
    in.tick.action.send = send;
    in.tick.action.leftValue = in.tick.action.rightValue = value;
    in.tick.deflected = in.tick.driveActive = deflected;
    return in;
}

// A held key's auto-repeat as X delivers it on a busy machine: a release and a press, unmarked.
std::vector<Step> repeatPair(DriveKey k) {
    return {{release(k), taken(kNothing)}, {press(k), taken(kNothing)}};
}

struct Case {
    std::string name;
    std::vector<std::vector<Step>> steps;
};

const std::vector<Step> kUpDrives = {{press(DriveKey::Up), taken(cycle(150, pair(150, 150)))}};
// Up still held after a stop: marked repeats and unmarked pairs drive nothing, also once the
// settle wait has run out.
const std::vector<Step> kUpStaysSpent = {{press(DriveKey::Up, Repeat), taken(kNothing)},
                                         {release(DriveKey::Up), taken(kNothing)},
                                         {press(DriveKey::Up), taken(cycle(100, kNothing))},
                                         {settle(), cycle(100, kNothing)},
                                         {press(DriveKey::Up, Repeat), taken(kNothing)}};
// Released for real, then pressed anew: it drives again.
const std::vector<Step> kUpAnew = {{release(DriveKey::Up), taken(kNothing)},
                                   {settle(), kNothing},
                                   {press(DriveKey::Up), taken(cycle(150, pair(150, 150)))}};

const std::vector<Case> kCases = {
    {"held key drives once, repeats and repeat pairs change nothing, the last release stops once",
     {kUpDrives,
      {{press(DriveKey::Up, Repeat), taken(kNothing)}},
      repeatPair(DriveKey::Up),
      {{settle(), cycle(150, kNothing)}},
      {{press(DriveKey::A), taken(pair(199, 101))}},
      {{release(DriveKey::A), taken(kNothing)}, {release(DriveKey::Up), taken(kNothing)}},
      {{settle(), cycle(100, kStop)}}}},

    {"a key with a shortcut modifier drives nothing and stays spent while held",
     {{{press(DriveKey::A, Shortcut), taken(kNothing, false)}},
      {{press(DriveKey::Up, Shortcut), taken(kNothing, false)}},
      repeatPair(DriveKey::Up),
      {{settle(), cycle(100, kNothing)}},
      kUpAnew,
      {{press(DriveKey::W, Shortcut), taken(kNothing, false)}}, // ends no driving
      {{press(DriveKey::Up, Repeat), taken(kNothing)}, {settle(), cycle(150, kNothing)}}}},

    {"Esc: one stop, the held key stays spent until pressed anew",
     {kUpDrives, {{event(DriveEvent::StopKey), cycle(100, kStop)}}, kUpStaysSpent, kUpAnew}},

    {"knob takes over from a held key; after its release the key drives nothing",
     {kUpDrives,
      {{knob(DriveEvent::KnobPress, 0, 65), cycle(150, pair(150, 150))}},
      {{knob(DriveEvent::KnobMove, 129, 0), pair(200, 0)}},
      repeatPair(DriveKey::Up),
      {{event(DriveEvent::KnobRelease), cycle(100, kStop)}},
      kUpStaysSpent,
      kUpAnew}},

    {"a key pressed while the knob drags drives nothing, then or after",
     {{{knob(DriveEvent::KnobPress, 0, 65), pair(150, 150)}},
      {{press(DriveKey::Down), taken(cycle(150, kNothing))}},
      {{event(DriveEvent::KnobRelease), kStop}},
      repeatPair(DriveKey::Down),
      {{settle(), cycle(100, kNothing)}}}},

    {"the lock stops once, refuses every source, and on again drives nothing by itself",
     {kUpDrives,
      {{event(DriveEvent::EnableOff), cycle(100, kStop)}},
      {{knob(DriveEvent::KnobPress, 0, 65), kNothing}},
      {{event(DriveEvent::KnobRelease), kNothing}},
      {{tick(DriveSend::DrivePair, true, 199), (kNothing)}},
      {{event(DriveEvent::EnableOn), kNothing}},
      kUpStaysSpent,
      {{event(DriveEvent::EnableOff), kNothing}}, // nothing drove: no frame
      {{release(DriveKey::Up), taken(kNothing)}, {settle(), kNothing}},
      {{press(DriveKey::Up), taken(kNothing)}}, // pressed anew while off: refused
      {{event(DriveEvent::EnableOn), kNothing}},
      kUpStaysSpent}},

    {"focus lost: one stop; the key's repeats are the drive's wherever the focus went",
     {kUpDrives,
      {{event(DriveEvent::LetGo), cycle(100, kStop)}},
      {{press(DriveKey::Up, Repeat | Elsewhere), taken(kNothing)}},
      {{release(DriveKey::Up, Elsewhere), taken(kNothing)},
       {press(DriveKey::Up, Elsewhere), taken(kNothing)}},
      {{event(DriveEvent::LetGo), kNothing}}, // nothing drives: no second stop
      kUpAnew}},

    {"a box: the held key's presses there are its repeats, and a release it made meanwhile frees "
     "nothing while the keyboard still holds the key",
     {kUpDrives,
      {{event(DriveEvent::LetGo), cycle(100, kStop)}},
      {{press(DriveKey::Up, Elsewhere), taken(kNothing)}}, // unmarked, no release seen before
      {{release(DriveKey::Up, Elsewhere), taken(kNothing)},
       {withDown(settle(), kUpBit), kNothing}}, // its press went to another window
      {{withDown(event(DriveEvent::KeyboardBack), kUpBit), kNothing}},
      {{press(DriveKey::Up), taken(cycle(100, kNothing))}},
      {{release(DriveKey::Up), taken(kNothing)}, {withDown(settle(), 0), kNothing}},
      {{press(DriveKey::Up), taken(cycle(150, pair(150, 150)))}}}},

    {"a spent key released while another window had the keyboard drives when pressed anew",
     {kUpDrives,
      {{event(DriveEvent::LetGo), cycle(100, kStop)}},
      {{event(DriveEvent::KeyboardBack), kNothing}}, // not known: still spent
      {{press(DriveKey::Up), taken(cycle(100, kNothing))}},
      {{withDown(event(DriveEvent::KeyboardBack), 0), kNothing}},
      {{press(DriveKey::Up), taken(cycle(150, pair(150, 150)))}}}},

    {"unit changed while driving: one stop, every source lets go, the key stays spent",
     {kUpDrives,
      {{event(DriveEvent::UnitChanged), cycle(100, kStop)}},
      kUpStaysSpent,
      {{event(DriveEvent::UnitChanged), kNothing}}, // nothing drives: the unit gets nothing
      kUpAnew}},

    {"a deflected controller takes over from the keys, one at rest stays out of it",
     {kUpDrives,
      {{tick(DriveSend::None, false), cycle(150, kNothing)}},
      {{tick(DriveSend::DrivePair, true, 199), cycle(100, pair(199, 199))}},
      repeatPair(DriveKey::Up),
      {{settle(), kNothing}},
      {{tick(DriveSend::Stop, false), kStop}}}},
};

void expectStep(const DriveAnswer& got, const Expect& want) {
    EXPECT_EQ(got.send, want.send);
    if (want.send == DriveSend::DrivePair) {
        EXPECT_EQ(got.leftValue, want.left);
        EXPECT_EQ(got.rightValue, want.right);
    }
    if (want.taken >= 0) {
        EXPECT_EQ(got.taken, want.taken == 1);
    }
    if (want.cycle >= 0) {
        EXPECT_EQ(got.driveLeft, want.cycle);
        EXPECT_EQ(got.driveRight, want.cycle);
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
