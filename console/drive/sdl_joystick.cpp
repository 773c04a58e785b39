#include "console/drive/sdl_joystick.h"

#include <SDL.h>

#include <string>

struct SdlJoystick::Impl {
    bool initialised = false;
    std::string initError;
    bool probed = false;              // the probe opened a controller
    SDL_Joystick* joystick = nullptr; // open controller, null while none is open
    int axes = 0;                     // axes of the controller the probe opened

    void close() {
        if (joystick != nullptr) {
            SDL_JoystickClose(joystick);
            joystick = nullptr;
        }
    }

    // Opens device index 0 if a controller is there.
    bool open() {
        if (SDL_NumJoysticks() < 1) {
            return false;
        }
        joystick = SDL_JoystickOpen(0);
        return joystick != nullptr;
    }
};

namespace {

// SDL axis -32768..32767 to 0..65535.
uint32_t axisPosition(Sint16 value) {
    return static_cast<uint32_t>(static_cast<int32_t>(value) + 32768);
}

} // namespace

SdlJoystick::SdlJoystick() : impl_(std::make_unique<Impl>()) {
    // The console is a Qt program: SDL must neither take over SIGINT/SIGTERM nor wait for a
    // focused SDL window (it has none) before it delivers joystick state.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        impl_->initError = SDL_GetError();
        if (impl_->initError.empty()) {
            impl_->initError = "SDL joystick subsystem failed to start";
        }
        return;
    }
    impl_->initialised = true;
    // The state is read by polling (SDL_JoystickUpdate); nobody drains SDL's event queue, so
    // joystick events must not pile up in it.
    SDL_JoystickEventState(SDL_IGNORE);
}

SdlJoystick::~SdlJoystick() {
    if (impl_->initialised) {
        impl_->close();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
}

const char* SdlJoystick::initError() const {
    return impl_->initError.c_str();
}

bool SdlJoystick::probe() {
    if (!impl_->initialised) {
        return false;
    }
    impl_->close();
    impl_->probed = false;
    impl_->axes = 0;
    SDL_JoystickUpdate();
    if (!impl_->open()) {
        return false;
    }
    impl_->axes = SDL_JoystickNumAxes(impl_->joystick);
    if (impl_->axes < 0) {
        impl_->axes = 0;
    }
    impl_->probed = true;
    return true;
}

JoystickCaps SdlJoystick::caps() {
    JoystickCaps caps;
    if (!impl_->probed) {
        return caps;
    }
    if (impl_->axes >= 1) {
        caps.xMax = 65535;
    }
    if (impl_->axes >= 2) {
        caps.yMax = 65535;
    }
    if (impl_->axes >= 3) {
        caps.zMax = 65535;
    }
    return caps;
}

bool SdlJoystick::poll(JoystickReading& reading) {
    if (!impl_->probed) {
        return false;
    }
    SDL_JoystickUpdate();
    if (impl_->joystick != nullptr && !SDL_JoystickGetAttached(impl_->joystick)) {
        // Gone: this poll fails, whatever SDL still holds for its axes.
        impl_->close();
        return false;
    }
    if (impl_->joystick == nullptr) {
        if (!impl_->open()) {
            return false;
        }
        SDL_JoystickUpdate(); // fetch the state of the controller just opened
        if (!SDL_JoystickGetAttached(impl_->joystick)) {
            impl_->close();
            return false;
        }
    }
    reading.x = axisPosition(SDL_JoystickGetAxis(impl_->joystick, 0));
    reading.y = axisPosition(SDL_JoystickGetAxis(impl_->joystick, 1));
    return true;
}
