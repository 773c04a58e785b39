// The stop key and the drive's enable against a game controller: SDL's virtual joystick behind
// the console's own SDL backend, keys sent through the application as Qt delivers them, the
// bytes read at the robot's end of a real pseudo-terminal.

#include "console/drive/sdl_joystick.h"
#include "tests/form1/form1_fixture.h"
#include "tests/support/pty_peer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <SDL.h>

#include <memory>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kStop = {0xFE, 0xFD, 0xE9, 0xE9};
const Bytes kForward = {0xFE, 0xFD, 0xE7, 199, 0xFE, 0xFD, 0xE8, 199}; // Y axis at its minimum
const Bytes kPoll100 = {0xFC, 0xFD, 100, 100};

// SDL's joystick subsystem is held by the fixture, so that the virtual joystick, attached
// before the window probes for a controller, outlives the window's backend.
struct SdlHold {
    SdlHold() {
        setenv("SDL_JOYSTICK_DISABLE_UDEV", "1", 1);
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        ok = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
        SDL_JoystickUpdate();
        free = ok && SDL_NumJoysticks() == 0;
        if (free) {
            const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 0, 0);
            stick = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
        }
    }
    ~SdlHold() {
        if (stick)
            SDL_JoystickClose(stick);
        while (SDL_NumJoysticks() > 0 && SDL_JoystickIsVirtual(0))
            SDL_JoystickDetachVirtual(0);
        if (ok)
            SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    bool ok = false;
    bool free = false;
    SDL_Joystick* stick = nullptr;
};

class StopKey : public ::testing::Test {
protected:
    StopKey() : form1(link, boxes, &joystick), form2(form1, boxes) {
        form1.setPanel(&form2);
        form1.Timer2->stop();
        form1.Timer3->stop();
    }

    void SetUp() override {
        if (!sdl.free)
            GTEST_SKIP() << "a real controller is connected; these tests need index 0 free";
        ASSERT_NE(sdl.stick, nullptr) << SDL_GetError();
        ASSERT_TRUE(form1.joystickPresent);
        form1.show();
        form2.show();
        ASSERT_TRUE(peer.ok());
        form1.portName = QString::fromStdString(peer.path());
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); }));
        const uint8_t versions[] = {0xFE, 0xFD, 0xEB, 3, 0xFE, 0xFD, 0xEC, 20};
        form1.connection.decoder.handleChunk(versions, 4, true, form1.state, form1);
        form1.connection.decoder.handleChunk(versions + 4, 4, true, form1.state, form1);
    }

    void stickY(Sint16 value) { SDL_JoystickSetVirtualAxis(sdl.stick, 1, value); }
    Bytes controllerTick() {
        form1.Timer3Timer();
        return peer.read(60);
    }
    Bytes cycleTick() {
        form1.Timer2Timer();
        return peer.read(60);
    }
    // Esc as the keyboard delivers it, to whichever control has the focus.
    void pressEscape() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QWidget* target = form2.ComboBox1; // typing in the port box
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
    bool gaugesNeutral() const {
        return form1.CGauge2->progress() == 0 && form1.CGauge3->progress() == 100 &&
               form1.CGauge11->progress() == 0 && form1.CGauge12->progress() == 0;
    }

    SdlHold sdl;
    SdlJoystick joystick;
    Tserial_event link;
    RecordingMessageBoxService boxes;
    TForm1 form1;
    TForm2 form2;
    PtyPeer peer;
};

} // namespace

TEST_F(StopKey, HoldsADeflectedControllerAtNeutralUntilItIsCentred) {
    stickY(-32768);
    ASSERT_EQ(controllerTick(), kForward);

    pressEscape();
    EXPECT_EQ(peer.read(60), kStop);
    EXPECT_TRUE(form1.Memo1->toPlainText().endsWith("drive stopped")) << "no line in the log";
    EXPECT_FALSE(form1.driveActive);
    // The stick is still deflected: nothing drives, and no second stop.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(controllerTick(), Bytes{}) << "tick " << i;
        EXPECT_TRUE(gaugesNeutral()) << "tick " << i;
    }
    EXPECT_EQ(cycleTick(), kPoll100);

    // Back in the dead zone, then deflected again: it drives as before.
    stickY(0);
    EXPECT_EQ(controllerTick(), Bytes{});
    stickY(-32768);
    EXPECT_EQ(controllerTick(), kForward);
}

TEST_F(StopKey, DriveEnableOffStopsOnceAndLocksEverySource) {
    stickY(-32768);
    ASSERT_EQ(controllerTick(), kForward);

    form1.CheckBox2->click(); // "engines manual override" off
    ASSERT_FALSE(form1.CheckBox2->isChecked());
    EXPECT_EQ(peer.read(60), kStop);
    EXPECT_EQ(controllerTick(), Bytes{});
    EXPECT_EQ(cycleTick(), kPoll100);

    // The knob does nothing while the drive is off, nor does its release.
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(129, 65), QPointF(149, 335),
                      QPointF(form1.Image3->mapToGlobal(QPoint(129, 65))), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form1.Image3, &press);
    QMouseEvent up(QEvent::MouseButtonRelease, QPointF(129, 65), QPointF(149, 335),
                   QPointF(form1.Image3->mapToGlobal(QPoint(129, 65))), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form1.Image3, &up);
    EXPECT_FALSE(form1.knobDragging);
    EXPECT_EQ(peer.read(60), Bytes{});

    // Unchecked again while nothing drives: no frame. On again, the stick still deflected drives
    // nothing until it has been centred.
    form1.CheckBox2->click(); // on
    form1.CheckBox2->click(); // off while nothing drives
    form1.CheckBox2->click(); // on
    EXPECT_EQ(peer.read(60), Bytes{});
    ASSERT_TRUE(form1.CheckBox2->isChecked());
    EXPECT_EQ(controllerTick(), Bytes{});
    stickY(0);
    EXPECT_EQ(controllerTick(), Bytes{});
    stickY(-32768);
    EXPECT_EQ(controllerTick(), kForward);
}
