#pragma once
// Controller 0 through SDL2's joystick subsystem (no SDL video, no display needed).
//
// Every axis is reported on 0..65535: SDL's -32768..32767 shifted by 32768. A controller with
// fewer than three axes reports a range of 0 for the missing ones (a two-axis stick has no Z
// range), and the console then leaves it alone.
//
// The object initialises SDL's joystick subsystem for its lifetime (SDL counts the
// initialisations, so other users of the subsystem are not disturbed). Use it on one thread.

#include "console/drive/joystick_device.h"

#include <memory>

class SdlJoystick final : public JoystickDevice {
public:
    // Sets SDL's hints (no signal handlers, joystick events also without a focused SDL window)
    // and initialises the joystick subsystem. A failure leaves an object whose probe answers
    // false; initError() tells why.
    SdlJoystick();
    ~SdlJoystick() override;
    SdlJoystick(const SdlJoystick&) = delete;
    SdlJoystick& operator=(const SdlJoystick&) = delete;

    // Opens the joystick at device index 0; true when it opens.
    bool probe() override;

    // 0..65535 for each of X, Y and Z the controller opened by the probe has; 0..0 for the
    // others, and for all three without a successful probe.
    JoystickCaps caps() override;

    // Updates SDL's joysticks and reads axes 0 (X) and 1 (Y). False without a successful probe,
    // and on the poll that finds the controller detached; the polls after that open device
    // index 0 again and read it as soon as a controller is there.
    bool poll(JoystickReading& reading) override;

    // Empty when SDL's joystick subsystem came up, else SDL's message.
    const char* initError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
