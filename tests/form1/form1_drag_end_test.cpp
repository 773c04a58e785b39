// A knob drag ends however the pointer is taken away, exactly as a release: a modal window, a
// message box, the window deactivated, hidden or minimised, the application no longer active, a
// move that no longer holds the button, the link closing under the drag. And the robot gets the
// stop frame before the console lets go of the line: on the operator's disconnect and when the
// main window closes. Bytes read at the robot's end of a real pseudo-terminal; the mouse events
// go through the widgets as Qt delivers them.

#include "tests/form1/form1_fixture.h"
#include "tests/support/pty_peer.h"

#include <QDialog>
#include <QGuiApplication>
#include <QMouseEvent>

#include <memory>

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kStop = {0xFE, 0xFD, 0xE9, 0xE9};
const Bytes kPair150 = {0xFE, 0xFD, 0xE7, 150, 0xFE, 0xFD, 0xE8, 150};
const Bytes kPoll100 = {0xFC, 0xFD, 100, 100};
const Bytes kPoll150 = {0xFC, 0xFD, 150, 150};

// A mouse event as Qt delivers it to a widget, at pos relative to it.
void sendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapTo(w->window(), pos)),
                      QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

class DragEnd : public Form1Test {
protected:
    void SetUp() override {
        form1.show();
        form2.show();
        connectTo(*peer);
        // Versions known: every tick is the drive-and-poll frame.
        receive({0xFE, 0xFD, 0xEB, 3});
        receive({0xFE, 0xFD, 0xEC, 20});
    }

    void connectTo(PtyPeer& p) {
        ASSERT_TRUE(p.ok());
        form1.portName = QString::fromStdString(p.path());
        const size_t notices = boxes.calls().size();
        form1.Button1Click();
        ASSERT_TRUE(waitUntil([&] { return form1.portOpen.load(); }));
        ASSERT_TRUE(waitUntil([&] { return boxes.calls().size() > notices; })); // opened notice
    }

    Bytes tick() {
        form1.Timer2Timer();
        return peer->read(60);
    }

    // Presses the left button on the pad 65 px above its centre (149, 400), as the pointer does:
    // the drive pair 150/150 goes out and the cycle repeats it.
    void startDrag() {
        sendMouse(form1.Image3, QEvent::MouseButtonPress, QPoint(129, 130 - 65), Qt::LeftButton,
                  Qt::LeftButton);
        ASSERT_TRUE(form1.knobDragging);
        ASSERT_EQ(peer->read(60), kPair150);
        ASSERT_EQ(tick(), kPoll150);
        ASSERT_EQ(form1.Image5->pos(), QPoint(133, 319));
    }

    // The drag ended exactly as a release ends it.
    void expectEndedAsARelease(const char* what) {
        EXPECT_FALSE(form1.knobDragging) << what;
        EXPECT_EQ(form1.Image5->pos(), QPoint(132, 383)) << what;
        EXPECT_EQ(form1.state.driveLeft, 100) << what;
        EXPECT_EQ(form1.state.driveRight, 100) << what;
        EXPECT_EQ(form1.CGauge2->progress(), 0) << what;
        EXPECT_EQ(form1.CGauge3->progress(), 100) << what;
        EXPECT_EQ(form1.CGauge5->progress(), 0) << what;
        EXPECT_EQ(form1.CGauge4->progress(), 100) << what;
        EXPECT_EQ(form1.CGauge11->progress(), 0) << what;
        EXPECT_EQ(form1.CGauge12->progress(), 0) << what;
    }
    // ... with its one stop frame on the line, and the cycle back at 100/100.
    void expectStoppedOnTheLine(const char* what) {
        expectEndedAsARelease(what);
        EXPECT_EQ(peer->read(60), kStop) << what;
        EXPECT_EQ(tick(), kPoll100) << what;
    }

    std::unique_ptr<PtyPeer> peer = std::make_unique<PtyPeer>();
};

TEST_F(DragEnd, ReleaseOverTheKnobStillEndsIt) {
    startDrag();
    sendMouse(form1.Image3, QEvent::MouseButtonRelease, QPoint(129, 65), Qt::LeftButton,
              Qt::NoButton);
    expectStoppedOnTheLine("release");
}

TEST_F(DragEnd, ModalWindowOpening) {
    startDrag();
    QDialog modal;
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show(); // Qt sends WindowBlocked to the other windows; the release would go nowhere
    expectStoppedOnTheLine("modal window");
    modal.hide();
}

TEST_F(DragEnd, EveryMessageBoxEndsItBeforeTheBoxIsShown) {
    startDrag();
    bool draggingWhileShown = true;
    QPoint knobWhileShown;
    boxes.setOnShow([&](const RecordingMessageBoxService::Call&) {
        draggingWhileShown = form1.knobDragging;
        knobWhileShown = form1.Image5->pos();
    });
    form1.Button1Click(); // already connected: "Jeden z portow juz zostal otwarty."
    ASSERT_EQ(boxes.calls().back().text, "Jeden z portow juz zostal otwarty.");
    EXPECT_FALSE(draggingWhileShown);
    EXPECT_EQ(knobWhileShown, QPoint(132, 383));
    expectStoppedOnTheLine("message box");
}

TEST_F(DragEnd, WindowDeactivated) {
    form1.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return form1.isActiveWindow(); }));
    startDrag();
    QWidget other;
    other.setGeometry(10, 10, 50, 50);
    other.show();
    other.activateWindow(); // another window has the focus now
    ASSERT_TRUE(waitUntil([&] { return !form1.isActiveWindow(); }));
    expectStoppedOnTheLine("deactivated");
}

TEST_F(DragEnd, WindowHidden) {
    startDrag();
    form1.hide();
    expectStoppedOnTheLine("hidden");
}

// Sees the main window's events before the window does.
class EventWatch : public QObject {
public:
    explicit EventWatch(std::function<void(QEvent::Type)> seen) : seen_(std::move(seen)) {}
    bool eventFilter(QObject*, QEvent* event) override {
        seen_(event->type());
        return false;
    }

private:
    std::function<void(QEvent::Type)> seen_;
};

TEST_F(DragEnd, WindowMinimised) {
    startDrag();
    // Minimising hides the window too; the state change comes first and ends the drag itself.
    bool draggingAtHide = true;
    EventWatch watch([&](QEvent::Type type) {
        if (type == QEvent::Hide)
            draggingAtHide = form1.knobDragging;
    });
    form1.installEventFilter(&watch);
    form1.showMinimized();
    form1.removeEventFilter(&watch);
    ASSERT_TRUE(form1.isMinimized());
    EXPECT_FALSE(draggingAtHide);
    expectStoppedOnTheLine("minimised");
}

TEST_F(DragEnd, ApplicationNoLongerActive) {
    startDrag();
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    expectStoppedOnTheLine("application inactive");
}

TEST_F(DragEnd, MoveWithoutTheButtonEndsItAndHoverNeverDrives) {
    startDrag();
    // The release went elsewhere: the next move over the knob holds no button.
    sendMouse(form1.Image5, QEvent::MouseMove, QPoint(4, 4), Qt::NoButton, Qt::NoButton);
    expectStoppedOnTheLine("move without the button");
    // Hovering over the pad and the knob: gauges neutral, nothing sent, knob at rest.
    for (int i = 0; i < 10; ++i) {
        sendMouse(form1.Image3, QEvent::MouseMove, QPoint(40 + 10 * i, 30 + 5 * i), Qt::NoButton,
                  Qt::NoButton);
        sendMouse(form1.Image5, QEvent::MouseMove, QPoint(i, i), Qt::NoButton, Qt::NoButton);
    }
    EXPECT_TRUE(peer->read(60).empty());
    expectEndedAsARelease("hover");
    EXPECT_EQ(tick(), kPoll100);
}

TEST_F(DragEnd, MoveHoldingAnotherButtonOnlyEndsIt) {
    startDrag();
    sendMouse(form1.Image3, QEvent::MouseMove, QPoint(100, 100), Qt::NoButton, Qt::RightButton);
    expectStoppedOnTheLine("move with another button");
}

TEST_F(DragEnd, DragWithTheRightButtonGoesOnWhileItIsHeld) {
    // The handlers do not look at the button: a right-button drag drives as a left one does.
    sendMouse(form1.Image3, QEvent::MouseButtonPress, QPoint(129, 65), Qt::RightButton,
              Qt::RightButton);
    ASSERT_EQ(peer->read(60), kPair150);
    sendMouse(form1.Image3, QEvent::MouseMove, QPoint(0, 130), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(peer->read(60), Bytes({0xFE, 0xFD, 0xE7, 200, 0xFE, 0xFD, 0xE8, 0}));
    EXPECT_TRUE(form1.knobDragging);
    sendMouse(form1.Image3, QEvent::MouseMove, QPoint(0, 130), Qt::NoButton, Qt::NoButton);
    expectStoppedOnTheLine("right button let go elsewhere");
}

TEST_F(DragEnd, LinkClosingUnderTheDragThenReconnectLeavesTheRobotStill) {
    startDrag();
    bool draggingWhileShown = true;
    int driveLeftWhileShown = 0;
    boxes.setOnShow([&](const RecordingMessageBoxService::Call& call) {
        if (call.text.startsWith("Zamknieto port")) {
            draggingWhileShown = form1.knobDragging;
            driveLeftWhileShown = form1.state.driveLeft;
        }
    });
    peer->hangUp(); // the adapter is unplugged while the button is held
    ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }, 5000));
    EXPECT_FALSE(draggingWhileShown);
    EXPECT_EQ(driveLeftWhileShown, 100);
    expectEndedAsARelease("link closed");
    boxes.setOnShow(nullptr);

    // Connected again: from the first tick the robot is told to stand still, no drive pair.
    peer = std::make_unique<PtyPeer>();
    connectTo(*peer);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tick(), kPoll100) << "tick " << i;
    // A hover over the pad drives nothing.
    sendMouse(form1.Image3, QEvent::MouseMove, QPoint(129, 65), Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(peer->read(60).empty());
}

TEST_F(DragEnd, LinkClosingEndsItAlsoWithoutTheBoxHook) {
    // The link's own hook, before the closed notice, whatever the box service does.
    boxes.setBeforeShow(nullptr);
    startDrag();
    bool draggingWhileShown = true;
    boxes.setOnShow(
        [&](const RecordingMessageBoxService::Call&) { draggingWhileShown = form1.knobDragging; });
    peer->hangUp();
    ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }, 5000));
    EXPECT_FALSE(draggingWhileShown);
    expectEndedAsARelease("link closed");
}

TEST_F(DragEnd, DisconnectWhileDrivingPutsOneStopFrameLast) {
    startDrag();
    // A cycle frame just offered and maybe still being written: the stop must not overtake it
    // nor be refused because of it.
    form1.Timer2Timer();
    form1.Button2Click();
    EXPECT_FALSE(form1.link().worker_running());
    Bytes got = peer->read(100);
    if (got.size() == 8) { // the cycle frame went out first
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), kPoll150);
    }
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(Bytes(got.end() - 4, got.end()), kStop);
    EXPECT_LE(got.size(), 8u);
    // The closed notice ends the drag; its release finds no line any more.
    ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }));
    expectEndedAsARelease("disconnect");
    EXPECT_TRUE(peer->read(100).empty());
}

TEST_F(DragEnd, DisconnectAtRestPutsOneStopFrame) {
    form1.Button2Click();
    EXPECT_EQ(peer->read(100), kStop);
    ASSERT_TRUE(waitUntil([&] { return !form1.portOpen.load(); }));
    EXPECT_TRUE(peer->read(100).empty());
}

TEST_F(DragEnd, ClosingTheWindowWhileDrivingStopsTheRobotFirst) {
    startDrag();
    form1.Timer2Timer();
    form1.close();
    EXPECT_FALSE(form1.link().worker_running());
    Bytes got = peer->read(100);
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(Bytes(got.end() - 4, got.end()), kStop);
    EXPECT_LE(got.size(), 8u);
    expectEndedAsARelease("window closed"); // hidden with the window
    pumpFor(100);
    EXPECT_TRUE(peer->read(60).empty());
    for (const auto& call : boxes.calls())
        EXPECT_FALSE(call.text.startsWith("Zamknieto port")) << "a notice while closing";
}

TEST_F(DragEnd, LineAlreadyGoneGetsNothingAndIsNotWaitedFor) {
    peer->hangUp();
    // The worker has ended; the closed notice is still to be handled.
    ASSERT_TRUE(waitUntil([&] { return !form1.link().worker_running(); }));
    QElapsedTimer timer;
    timer.start();
    form1.Button2Click();
    EXPECT_LT(timer.elapsed(), 50);
}

} // namespace
