#pragma once
// The on-screen joystick's part of drive control: the knob (Image5) dragged over the pad
// (Image3). All geometry is integer, taken from the two controls' current bounds at every
// event; halves are truncated integer halves. With the shipped pad (20, 270, 259 x 261) and knob
// (32 x 32): pad centre (149, 400), limit radius 113, rim radius 129, horizontal scale 129,
// vertical scale 130, rest position of the knob (132, 383).
//
// The handlers' outcomes say where to draw the knob, which frame to offer, what the six gauges
// show and whether driveLeft and driveRight change; the window only moves them into place.

#include "console/drive/drive_mix.h"

// Bounds of a control: left, top, width, height in pixels.
struct KnobRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const KnobRect&) const = default;
};

// The control that sent a mouse event; x and y are relative to it.
enum class KnobSender {
    Pad,  // Image3
    Knob, // Image5
};

// Geometry derived from the pad and the knob.
struct KnobGeometry {
    int padCentreX = 0;  // pad left + pad width / 2
    int padCentreY = 0;  // pad top + pad height / 2
    int limitRadius = 0; // pad width / 2 - knob width / 2: beyond it the knob is put on the rim
    int rimRadius = 0;   // pad width / 2, for both axes
    int scaleX = 0;      // pad width / 2: dx of a full sideways deflection
    int scaleY = 0;      // pad height / 2: dy of a full forward deflection
    int restLeft = 0;    // knob rest position, one pixel left of and above the exact centring
    int restTop = 0;
};
KnobGeometry knobGeometry(const KnobRect& pad, const KnobRect& knob);

// What a deflection of dx, dy pixels from the pad centre asks for (dx positive left of the
// centre, dy positive above it): the components, the mix, the frame under the shared send rule,
// the gauges (CGauge11 = dx, CGauge12 = dy) and the drive values to store.
struct KnobDeflection {
    int f = 0;
    int s = 0;
    DriveMix mix;
    DriveAction action;
    bool setDrive = false;
    int driveLeft = 100;
    int driveRight = 100;
};
KnobDeflection knobDeflection(const KnobGeometry& g, int dx, int dy, bool& driveActive);

// The knob moved so that its centre lies under the pointer (x, y relative to sender).
KnobRect placeKnobUnderPointer(const KnobRect& pad, const KnobRect& knob, KnobSender sender, int x,
                               int y);

// The knob at its rest position.
KnobRect knobAtRest(const KnobRect& pad, const KnobRect& knob);

// What one knob event does.
struct KnobOutcome {
    KnobRect knob;         // where the knob is drawn after the event
    int dx = 0;            // pad centre x - knob centre x (positive: knob left of the centre)
    int dy = 0;            // pad centre y - knob centre y (positive: knob above the centre)
    int f = 0;             // forward component before the mix
    int s = 0;             // leftward component before the mix
    DriveMix mix;          // left and right side values, -100..100
    DriveAction action;    // frame to offer and gauges to show (CGauge11 = dx, CGauge12 = dy)
    bool setDrive = false; // when true, driveLeft := driveLeft and driveRight := driveRight below
    int driveLeft = 100;
    int driveRight = 100;
};

// Image3MouseMove (both controls): without a drag only the gauges go neutral (knob unchanged,
// nothing sent). While dragging the knob follows the pointer, is put on the rim circle when its
// centre is farther than the limit radius from the pad centre, and the drive values follow the
// pointer (dx, dy before any clamping of the knob): a non-neutral mix sends its drive pair,
// stores it in driveLeft/driveRight and sets driveActive; a neutral one sends a stop frame and
// stores 100/100 only when driveActive was set, and clears driveActive.
KnobOutcome knobMove(const KnobRect& pad, const KnobRect& knob, KnobSender sender, int x, int y,
                     bool knobDragging, bool& driveActive);

// Image5MouseDown (both controls): starts the drag (knobDragging := true) and handles the knob
// position as a move would.
KnobOutcome knobPress(const KnobRect& pad, const KnobRect& knob, KnobSender sender, int x, int y,
                      bool& knobDragging, bool& driveActive);

// Image5MouseUp (both controls): ends the drag, puts the knob at rest, sends a stop frame
// whatever driveActive says (and leaves driveActive as it is), neutral gauges, driveLeft and
// driveRight 100.
KnobOutcome knobRelease(const KnobRect& pad, const KnobRect& knob, bool& knobDragging);
