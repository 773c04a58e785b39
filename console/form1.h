#pragma once
// TForm1, the main window: the fixed black dashboard with the robot picture and its readouts,
// the accelerometer target, the joystick pad, the strip chart, the log and the identity list. It
// owns the console's run-time state (link settings, robot state, the frame buffer, the scan
// position) and the three timers that drive the console.

#include "console/beat_timer.h"
#include "console/drive/controller_drive.h"
#include "console/drive/drive_control.h"
#include "console/port_connection.h"
#include "protocol/link_health.h"
#include "protocol/reply_decoder.h"
#include "protocol/robot_frame.h"
#include "protocol/robot_state.h"
#include "recording/link_recorder.h"

#include <QElapsedTimer>
#include <QWidget>
#include <array>
#include <memory>

class BarGauge;
class CircleShape;
class FlatButton;
class JoystickDevice;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class RecordingControl;
class TForm2;
class TelemetryChart;
class TransparentPicture;

class TForm1 : public QWidget, public RobotDisplay {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 1303;
    static constexpr int ClientHeight = 791;

    // joystick may be null: no game controller layer at all.
    TForm1(Tserial_event& link, MessageBoxService& boxes, JoystickDevice* joystick,
           QWidget* parent = nullptr);
    ~TForm1() override;

    // The connection panel, set once it exists (it is created right after this window).
    void setPanel(TForm2* panel);
    TForm2* panel() const { return Form2; }

    // The recording of the link, started and stopped by the control under the readout. Made
    // before the connection, so that it outlives the serial worker that hands it every chunk.
    LinkRecorder recorder;

    // Link settings and flag (kept by the connection, named as the window's own values).
    PortConnection connection;
    std::atomic<bool>& portOpen;
    QString& portName;
    int32_t& portRate;
    QString& noticeText;

    RobotState state;
    FrameBuffer frameBuffer{};
    int32_t scanAddress = 0;

    // Drive control: who drives is decided in one place; the window carries its answers out.
    DriveControl drive;
    const bool& driveActive;
    const bool& knobDragging;
    bool joystickPresent = false;

    // Display state that lives for the whole run.
    bool batteryBlinkPhase = false;
    int chartFrameCount = 0;
    uint32_t chartSampleIndex = 0;

    // Handlers.
    void Button1Click();
    void Button2Click();
    void SpeedButton1Click();
    void Chart1DblClick();
    // The context menus of the chart (picture, data, pause) and of the log (save, copy).
    void Chart1ContextMenu(const QPoint& globalPos);
    void Memo1ContextMenu(const QPoint& globalPos);
    void FormMouseMove();
    // A connect has opened the port: once its opened notice is answered the dashboard has the
    // keyboard, so that the driving keys drive right away rather than reach the panel's controls.
    void takeKeyboardAfterConnect();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void Image5MouseDown(QWidget* sender, int x, int y);
    void Image3MouseMove(QWidget* sender, int x, int y);
    void Image5MouseUp(QWidget* sender, int x, int y);
    void Shape1MouseUp(CircleShape* sender);
    // The keyboard, wherever the console's focus is: Esc stops the robot; the arrows and W A S D
    // drive while the main window is active. True when the key was the console's to take.
    bool FormKeyDown(QKeyEvent* event);
    bool FormKeyUp(QKeyEvent* event);
    // "engines manual override": the drive's enable. Unchecked, no source drives.
    void CheckBox2Click();

    // The stop key: one stop frame at once (after the write under way, never dropped), the knob
    // at rest, neutral values and gauges, a knob drag and held keys ended (they drive again only
    // when released and pressed anew), a deflected controller held at neutral until it has been
    // centred; one line in the log. With the port closed, the same without the frame.
    void stopDriving();
    // The same for an exception that escaped a handler, before its box comes up; no log line.
    void stopForFault();
    // The unit at address is no longer the one driven (another unit chosen, or its address
    // reassigned): while anything drives, it gets the stop frame and every source lets go, as
    // for the stop key; nothing moves the robot then until the operator drives anew.
    void leaveUnit(int address);
    // CSpinEdit1's value changed from previousAddress: the unit left, and the stop frame a crash
    // puts on the line goes to the new unit from now on.
    void chosenUnitChanged(int previousAddress);
    // True while no source may drive ("engines manual override" unchecked).
    bool driveLocked() const;
    bool keysDriving() const { return drive.keysDriving(); }

    // Ends a knob drag that ends other than by a release over the knob, exactly as the release
    // does (knob at rest, one stop frame, driveLeft = driveRight = 100, neutral gauges). Nothing
    // when no drag is under way. Called when the window is blocked by a modal window, is
    // deactivated, hidden or minimised, when the application stops being active, before every
    // message box, when the link closes, and for a move that no longer holds the button that
    // began the drag.
    void endKnobDrag();
    // Whatever takes the pointer or the keyboard away: a knob drag ends as above, driving keys
    // stop as the release of the last key does (one stop frame, neutral values and gauges), and
    // keys held drive again only when released and pressed anew.
    void endManualDrive();
    // The pad's and the knob's mouse events as the widgets deliver them, buttons included.
    void knobPressed(QWidget* sender, int x, int y, Qt::MouseButton button);
    void knobMoved(QWidget* sender, int x, int y, Qt::MouseButtons buttons);

    // The chosen unit address: the panel's CSpinEdit1, read anew for every frame.
    int unitAddress() const;
    // Hands the first length bytes of the frame buffer to the engine.
    void sendFrame(int length);
    // Appends one line at the end of the log.
    void appendLog(const QString& line);

    Tserial_event& link() { return link_; }
    // The game-controller presence probe, run once by the constructor.
    void probeJoystick();

    // The link's health on the dashboard: the readout under the log, the lost and back lines.
    // It rides on the command cycle's beat and wakes nothing of its own.
    void linkOpened();
    void linkClosed();
    // One line on standard error of what the connection received, when it ends.
    void sayLinkSummary();
    void linkReply(ReplyKind kind, int address);
    void linkHealthTick(bool cycleExpectsReply);
    const LinkHealth& linkHealth() const { return linkHealth_; }
    // The identity list's caption of a row, as it reads at start.
    static QString identityCaption(int row);
    // Milliseconds on the console's monotonic clock.
    int64_t nowMs() const { return clock_.elapsed(); }
    // The log keeps this many lines, dropping the oldest.
    static constexpr int logLines = 3000;
    // The readout changes at most this often, the identity list's values half as often: the
    // gauges beside them show every frame, and repainting the list's rows costs the most.
    static constexpr int64_t healthShowMs = 500;
    static constexpr int64_t identityShowMs = 1000;

    // RobotDisplay: what the reply decoder has the dashboard show.
    void showUnitDetected(int address, int argument) override;
    void showSoftVersion(int address, int version) override;
    void showHardVersion(int address, int version, const char* unitTypeText) override;
    void showBattery(float percentage) override;
    void showLineSensors(const RobotState& state) override;
    void showLeds(const RobotState& state) override;
    void showEngineCurrentLeft(const RobotState& state) override;
    void showEngineCurrentRight(const RobotState& state) override;
    void showSonarLeft(const RobotState& state) override;
    void showSonarRight(const RobotState& state) override;
    void showAcceleration(const RobotState& state) override;
    void chartSampleStep(const RobotState& state) override;

    // Controls, by their design names (each also carries its name as objectName).
    TransparentPicture *Image1, *Image2, *Image3, *Image4, *Image5, *Image6, *Image7, *Image8,
        *Image9, *Image10, *Image11, *Image12;
    BarGauge *CGauge1, *CGauge2, *CGauge3, *CGauge4, *CGauge5, *CGauge6, *CGauge7, *CGauge8,
        *CGauge9, *CGauge10, *CGauge11, *CGauge12, *CGauge13, *CGauge14;
    CircleShape *Shape1, *Shape2, *Shape3, *Shape4;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9,
        *Label10, *Label11, *Label12, *Label13, *Label14, *Label15, *Label16, *Label17, *Label18,
        *Label19, *Label20, *Label21, *Label22, *Label23, *Label24, *Label25, *Label26;
    QLabel* StopKeyCaption; // tells the operator which key stops the robot
    QLabel* LinkReadout;    // telemetry rate, refused chunks, age of the last frame
    // Starts and stops a recording of the link, under the readout.
    RecordingControl* Recording;
    FlatButton* SpeedButton1;
    QPushButton *Button1, *Button2;
    QCheckBox *CheckBox1, *CheckBox2;
    QPlainTextEdit* Memo1;
    QListWidget* ListBox1;
    TelemetryChart* Chart1;
    QTimer* Timer1;
    BeatTimer *Timer2, *Timer3;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void wireEvents();
    // An event for the drive, with the pad's and the knob's bounds as they are now.
    DriveInput driveInput(DriveEvent event) const;
    // The drive's answer moved into place: the frame (a stop to stopAddress), the knob, the
    // gauges, the cycle's values, the controller's hold, the settle wait of released keys.
    void carryOut(const DriveAnswer& answer);
    void carryOut(const DriveAnswer& answer, int stopAddress);
    // A driving key's event, as the drive takes it; true when it was the drive's.
    bool passKey(DriveEvent event, QKeyEvent* key);
    // The event with the driving keys the keyboard holds down now, where the window system
    // tells (by the key codes their events carried).
    DriveInput withKeysDown(DriveInput in) const;
    // A window of the console has the keyboard again: keys released meanwhile are free.
    void keyboardBack();
    // The main window has the keyboard and no text control has the focus.
    bool onDashboard() const;
    // The stop frame after the write under way (bounded wait): never refused for being second.
    void sendStopFrameNow(int address);
    // The engine's last words (what a crash writes on the line): the chosen unit's stop frame.
    void keepLastWords();
    // A control's bounds as the knob's arithmetic takes them.
    static KnobRect boundsOf(const QWidget* w);
    // One frame of the command cycle; true when it is one the robot answers.
    bool sendCycleFrame();
    void showLinkReadout();
    void showIdentityValues();
    // A file the operator asked for (none: the dialog was cancelled); a failure is told.
    void saveFile(const QString& path, const QByteArray& bytes);
    KnobSender knobSender(QWidget* sender) const;

    Tserial_event& link_;
    MessageBoxService& boxes_;
    JoystickDevice* joystick_;
    std::unique_ptr<ControllerDrive> controller_;
    QTimer* releaseTimer_ = nullptr;                       // the settle wait of released keys
    std::array<uint32_t, kDriveKeyCount> driveKeyCodes_{}; // each driving key's native code
    QElapsedTimer clock_;
    LinkHealth linkHealth_;
    int64_t readoutShownAt_ = -healthShowMs;
    int64_t identityShownAt_ = -identityShowMs;
    bool identityDirty_ = false;
    // An LED command went out and no telemetry has reported the LEDs since: the command cycle
    // polls for that report before it sends the command again.
    bool ledReportAwaited_ = false;
    TForm2* Form2 = nullptr;
    // The button whose press began the knob drag; a move without it ends the drag.
    Qt::MouseButton knobButton_ = Qt::LeftButton;
};
