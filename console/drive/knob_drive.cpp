#include "console/drive/knob_drive.h"

#include <cmath>
#include <cstdint>

KnobGeometry knobGeometry(const KnobRect& pad, const KnobRect& knob) {
    KnobGeometry g;
    g.padCentreX = pad.left + pad.width / 2;
    g.padCentreY = pad.top + pad.height / 2;
    g.limitRadius = pad.width / 2 - knob.width / 2;
    g.rimRadius = pad.width / 2;
    g.scaleX = pad.width / 2;
    g.scaleY = pad.height / 2;
    g.restLeft = pad.left + pad.width / 2 - knob.width / 2 - 1;
    g.restTop = pad.top + pad.height / 2 - knob.height / 2 - 1;
    return g;
}

KnobRect placeKnobUnderPointer(const KnobRect& pad, const KnobRect& knob, KnobSender sender, int x,
                               int y) {
    const KnobRect& origin = sender == KnobSender::Pad ? pad : knob;
    KnobRect placed = knob;
    placed.left = origin.left + x - knob.width / 2;
    placed.top = origin.top + y - knob.height / 2;
    return placed;
}

KnobRect knobAtRest(const KnobRect& pad, const KnobRect& knob) {
    const KnobGeometry g = knobGeometry(pad, knob);
    KnobRect rest = knob;
    rest.left = g.restLeft;
    rest.top = g.restTop;
    return rest;
}

KnobDeflection knobDeflection(const KnobGeometry& g, int dx, int dy, bool& driveActive) {
    KnobDeflection out;
    // The quotient by the scale first, then the product with 100, truncated toward zero. A pad
    // too small to have a scale gives no deflection on that axis.
    if (g.scaleX != 0) {
        out.s = static_cast<int>(
            std::trunc(static_cast<double>(dx) / static_cast<double>(g.scaleX) * 100.0));
    }
    if (g.scaleY != 0) {
        out.f = static_cast<int>(
            std::trunc(static_cast<double>(dy) / static_cast<double>(g.scaleY) * 100.0));
    }
    out.mix = mixDrive(out.f, out.s);

    out.action.send = driveSendFor(out.mix, driveActive);
    if (out.action.send == DriveSend::DrivePair) {
        out.action.leftValue = out.mix.left + 100;
        out.action.rightValue = out.mix.right + 100;
        out.setDrive = true;
        out.driveLeft = out.action.leftValue;
        out.driveRight = out.action.rightValue;
    } else if (out.action.send == DriveSend::Stop) {
        out.setDrive = true;
        out.driveLeft = 100;
        out.driveRight = 100;
    }
    out.action.gauges = driveGauges(out.mix, dx, dy);
    return out;
}

namespace {

// Steps after the placement, common to press and move: offsets, rim, components, mix, frame,
// gauges.
KnobOutcome knobDrag(const KnobRect& pad, const KnobRect& placed, bool& driveActive) {
    const KnobGeometry g = knobGeometry(pad, placed);
    KnobOutcome out;
    out.knob = placed;
    out.dx = g.padCentreX - (placed.left + placed.width / 2);
    out.dy = g.padCentreY - (placed.top + placed.height / 2);

    const int64_t dx = out.dx;
    const int64_t dy = out.dy;
    const double distance = std::sqrt(static_cast<double>(dx * dx + dy * dy));
    if (distance > g.limitRadius) {
        // Direction from the pad centre to the knob centre, screen coordinates (y downward).
        const double theta = std::atan2(-static_cast<double>(out.dy), -static_cast<double>(out.dx));
        out.knob.left = pad.left + pad.width / 2 +
                        static_cast<int>(std::trunc(std::cos(theta) * g.rimRadius)) -
                        placed.width / 2;
        out.knob.top = pad.top + pad.height / 2 +
                       static_cast<int>(std::trunc(std::sin(theta) * g.rimRadius)) -
                       placed.height / 2;
    }

    const KnobDeflection d = knobDeflection(g, out.dx, out.dy, driveActive);
    out.f = d.f;
    out.s = d.s;
    out.mix = d.mix;
    out.action = d.action;
    out.setDrive = d.setDrive;
    out.driveLeft = d.driveLeft;
    out.driveRight = d.driveRight;
    return out;
}

} // namespace

KnobOutcome knobMove(const KnobRect& pad, const KnobRect& knob, KnobSender sender, int x, int y,
                     bool knobDragging, bool& driveActive) {
    if (!knobDragging) {
        KnobOutcome out;
        out.knob = knob;
        return out; // neutral gauges, nothing sent, driveActive untouched
    }
    return knobDrag(pad, placeKnobUnderPointer(pad, knob, sender, x, y), driveActive);
}

KnobOutcome knobPress(const KnobRect& pad, const KnobRect& knob, KnobSender sender, int x, int y,
                      bool& knobDragging, bool& driveActive) {
    knobDragging = true;
    return knobDrag(pad, placeKnobUnderPointer(pad, knob, sender, x, y), driveActive);
}

KnobOutcome knobRelease(const KnobRect& pad, const KnobRect& knob, bool& knobDragging) {
    knobDragging = false;
    KnobOutcome out;
    out.knob = knobAtRest(pad, knob);
    out.action.send = DriveSend::Stop;
    out.setDrive = true;
    out.driveLeft = 100;
    out.driveRight = 100;
    return out;
}
