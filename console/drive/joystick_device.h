#pragma once
// The game controller as the console sees it: controller 0 with a presence probe, the minimum
// and maximum of its X, Y and Z axes, and its current X and Y positions. The console reads
// nothing else from a controller (no buttons, no Z position).
//
// SdlJoystick (sdl_joystick.h) is the backend on the machine; tests may stand in a fake.

#include <cstdint>

// joystickCaps: the axis minima and maxima of controller 0, unsigned 32-bit, read once after
// the presence probe. An axis the controller lacks has minimum = maximum = 0.
struct JoystickCaps {
    uint32_t xMin = 0;
    uint32_t xMax = 0;
    uint32_t yMin = 0;
    uint32_t yMax = 0;
    uint32_t zMin = 0;
    uint32_t zMax = 0;
};

// The range of an axis: maximum - minimum in unsigned 32-bit arithmetic (wraps when a device
// reports a maximum below its minimum).
constexpr uint32_t axisRange(uint32_t minimum, uint32_t maximum) {
    return maximum - minimum;
}

// joystickReading: the X and Y positions of controller 0 on the scale its caps report.
struct JoystickReading {
    uint32_t x = 0;
    uint32_t y = 0;
};

class JoystickDevice {
public:
    virtual ~JoystickDevice() = default;

    // Presence: true when controller 0 answers. Run once, when the main window is created.
    virtual bool probe() = 0;

    // The axis minima and maxima of controller 0. Meaningful after a successful probe.
    virtual JoystickCaps caps() = 0;

    // Reads the current X and Y positions of controller 0 into reading. Returns false when the
    // controller cannot be read (unplugged, device error); reading is then left as it was and
    // must not be used. A controller that comes back is read again by a later poll.
    virtual bool poll(JoystickReading& reading) = 0;
};
