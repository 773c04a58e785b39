#include "console/form1.h"

#include "console/chart/telemetry_chart.h"
#include "console/dashboard_layout.h"
#include "console/recording_control.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/circle_shape.h"
#include "console/widgets/colors.h"
#include "console/widgets/flat_button.h"
#include "console/widgets/readout_label.h"
#include "console/widgets/transparent_picture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

namespace {

QFont fontOf(const QStringList& families, int pixels, bool bold = false) {
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

const QStringList kCourierNew = {"Courier New", "Liberation Mono", "DejaVu Sans Mono", "monospace"};
const QStringList kCourier = {"Courier", "Courier New", "Liberation Mono", "DejaVu Sans Mono"};
const QStringList kTahoma = {"Tahoma", "DejaVu Sans", "Liberation Sans", "sans-serif"};

void setTextColor(QWidget* w, int code) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colorFromCode(code));
    pal.setColor(QPalette::Text, colorFromCode(code));
    pal.setColor(QPalette::ButtonText, colorFromCode(code));
    w->setPalette(pal);
}

QLabel* styledLabel(QLabel* l, const dashboard::Rect& r, int colour) {
    l->setFont(fontOf(kCourierNew, 16));
    setTextColor(l, colour);
    l->setGeometry(r.left, r.top, r.width, r.height);
    return l;
}

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// Lines of the identity list at start; other code replaces lines by index.
const char* const kListLines[] = {
    "Unit ID      :",
    "Unit type    :",
    "Soft ver.    :",
    "Hard ver.    :",
    "",
    "--[ BATTERY ]--------------------",
    "Bat level [V]:",
    "Bat level [%]:",
    "",
    "--[ SONAR SENS ]--------------",
    "Sonar L      :",
    "Sonar R      :",
    "",
    "--[ ENGINE ]-------------------",
    "Eng. L       :",
    "Eng. R       :",
    "U Eng. L     :",
    "U Eng. R     :",
    "",
    "--[ LINE SENS ]--------------",
    "Line Sens LU :",
    "Line Sens RU :",
    "Line Sens LD :",
    "Line Sens RD :",
    "",
    "--[ LED ]-------------------",
    "LED1         :",
    "LED2         :",
    "LED3         :",
    "LED4         :",
    "",
    "--[ ACCELERATION ]------",
    "G_meter X    :",
    "G_meter Y    :",
    "G_meter Z    :",
};

} // namespace

QString TForm1::identityCaption(int row) {
    constexpr int rows = int(sizeof kListLines / sizeof kListLines[0]);
    return row >= 0 && row < rows ? QString::fromLatin1(kListLines[row]) : QString();
}

TForm1::TForm1(Tserial_event& link, MessageBoxService& boxes, JoystickDevice* joystick,
               QWidget* parent)
    : QWidget(parent),
      // Registers the link-event callback with the engine.
      connection(link, boxes, state, *this), portOpen(connection.portOpen),
      portName(connection.portName), portRate(connection.portRate),
      noticeText(connection.noticeText), driveActive(drive.driveActive()),
      knobDragging(drive.knobDragging()), link_(link), boxes_(boxes), joystick_(joystick) {
    setObjectName("Form1");
    setWindowTitle("ZELK controll");
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(ClientWidth, ClientHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setFont(fontOf(kTahoma, 11));
    setMouseTracking(true);
    clock_.start();

    createControls();
    wireEvents();
    showLinkReadout();
    // First placement: centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // 1. Only the dots show over the round targets.
    Image5->setTransparentColor(clBlack);
    Image6->setTransparentColor(clBlack);
    // 2.-3. The link settings; the callback was registered when the connection was built.
    portRate = 57600;
    // 4. The game-controller presence probe.
    probeJoystick();
    // 5. Start values.
    scanAddress = 0;
    state.softVersion = -1;
    state.hardVersion = -1;
    state.driveLeft = 100;
    state.driveRight = 100;
    state.accelZeroX = 0;
    state.accelZeroY = 0;
    state.accelZeroZ = 0;
    // 6.
    portName = QStringLiteral("COM7");

    Timer2->start();
    Timer3->start();
    // Both beats run from here; a tick that could only find nothing to do does not wake the
    // process. The cycle wakes with each connection and rests once the port is closed again.
    if (!controller_ || !controller_->pollable())
        Timer3->rest();
}

TForm1::~TForm1() {
    boxes_.setBeforeShow(nullptr);
}

void TForm1::createControls() {
    using namespace dashboard;
    // The robot picture and everything over it form one layer. The accelerometer dot moves with
    // every frame, and after a move Qt gathers again which of the window's children are opaque;
    // the readouts, bars and pictures of the centre then count as one child, not forty.
    auto* centre = named(new QWidget(this), "Centre");
    centre->setGeometry(0, 0, kImage1.left + kImage1.width, kImage1.top + kImage1.height);
    QWidget* layer = this;
    auto picture = [&layer](const char* name, const Rect& r, const char* resource) {
        auto* p = named(new TransparentPicture(layer), name);
        p->setGeometry(r.left, r.top, r.width, r.height);
        if (resource)
            p->loadPicture(QString::fromLatin1(resource), QSize(r.width, r.height));
        return p;
    };
    auto label = [&layer](const char* name, const char* text, const Rect& r, int colour = clRed) {
        return styledLabel(named(new QLabel(QString::fromUtf8(text), layer), name), r, colour);
    };
    // Readouts change with every frame; they draw the robot picture beneath them themselves, so
    // a new value repaints only the readout.
    auto readout = [this, &layer](const char* name, const char* text, const Rect& r) {
        auto* l = new ReadoutLabel(QString::fromUtf8(text), layer);
        l->setBeneath(Image1);
        QLabel* shown = styledLabel(named(l, name), r, clRed);
        // A readout keeps its rectangle whatever its text. Held fixed, a new value no longer
        // asks the window to lay out its children again, which it has no layout to do.
        shown->setFixedSize(r.width, r.height);
        return shown;
    };
    auto gauge = [&layer](const char* name, const Rect& r, int fore, int back, int value,
                          int max = 100) {
        auto* g = named(new BarGauge(layer), name);
        g->setGeometry(r.left, r.top, r.width, r.height);
        g->setOrientation(Qt::Vertical);
        g->setRange(0, max);
        g->setForeColor(fore);
        g->setBackColor(back);
        g->setProgress(value);
        return g;
    };

    // Centre first: the robot picture lies under everything placed over it.
    layer = centre;
    Image1 = picture("Image1", kImage1, ":/assets/robot_top.svg");
    layer = this;

    // Left column.
    Image2 = picture("Image2", kImage2, ":/assets/target_red.svg");
    Image3 = picture("Image3", kImage3, ":/assets/target_teal.svg");
    // The dots move over the targets with every frame and every drag. Opaque targets take those
    // repaints themselves, and the window beneath is left alone. The pad overlaps the upper
    // target by a row, so it draws the target beneath it, not the bare window colour.
    Image2->setOnParentColour();
    Image3->setBeneath(Image2);
    Label26 = label("Label26", "ACCELEROMETER", kLabel26);
    Label23 = label("Label23", "X Y Z", kLabel23);
    CGauge8 = gauge("CGauge8", kCGauge8, clRed, clDarkRed, 25, 255);
    CGauge9 = gauge("CGauge9", kCGauge9, clRed, clDarkRed, 25, 255);
    CGauge10 = gauge("CGauge10", kCGauge10, clRed, clDarkRed, 25, 255);
    Label25 = label("Label25", "DRIVE", kLabel25, clAqua);
    Label24 = label("Label24", "X Y", kLabel24, clAqua);
    StopKeyCaption = label("StopKeyCaption", "Esc:\nSTOP", kStopKeyCaption, clAqua);
    // It covers a corner of the pad's square: presses there still reach the pad.
    StopKeyCaption->setAttribute(Qt::WA_TransparentForMouseEvents);
    CGauge11 = gauge("CGauge11", kCGauge11, kCyanBar, kDarkCyanBar, 50);
    CGauge12 = gauge("CGauge12", kCGauge12, kCyanBar, kDarkCyanBar, 50);
    Image6 = picture("Image6", kImage6, ":/assets/dot_red.svg");
    Image5 = picture("Image5", kImage5, ":/assets/dot_cyan.svg");
    SpeedButton1 = named(new FlatButton(this), "SpeedButton1");
    SpeedButton1->setGeometry(kSpeedButton1.left, kSpeedButton1.top, kSpeedButton1.width,
                              kSpeedButton1.height);
    SpeedButton1->setPicture(
        loadPicture(":/assets/kalib_button.svg", QSize(kSpeedButton1.width, kSpeedButton1.height)));
    Chart1 = named(new TelemetryChart(this), "Chart1");
    Chart1->setGeometry(kChart1.left, kChart1.top, kChart1.width, kChart1.height);

    // Centre readouts.
    layer = centre;
    Label1 = label("Label1", "SONAR L.", kLabel1);
    Label13 = readout("Label13", "0%", kLabel13);
    Label2 = label("Label2", "SONAR R.", kLabel2);
    Label14 = readout("Label14", "0%", kLabel14);
    CGauge6 = gauge("CGauge6", kCGauge6, clRed, clDarkRed, 0);
    CGauge7 = gauge("CGauge7", kCGauge7, clRed, clDarkRed, 0);
    CGauge6->setBorder(false);
    CGauge7->setBorder(false);

    Image11 = picture("Image11", kImage11, ":/assets/line_sensor_on.svg");
    Image12 = picture("Image12", kImage12, ":/assets/line_sensor_off.svg");
    Image11->hide();
    Image12->hide();
    Image7 = picture("Image7", kImage7, nullptr);
    Image8 = picture("Image8", kImage8, nullptr);
    Image9 = picture("Image9", kImage9, nullptr);
    Image10 = picture("Image10", kImage10, nullptr);
    for (TransparentPicture* sensor : {Image7, Image8, Image9, Image10}) {
        sensor->setStretch(true, true);
        sensor->setBeneath(Image1); // a sensor that changes repaints only itself
        sensor->setPicture(Image12->picture());
    }
    Label7 = label("Label7", "LIN SENS.", kLabel7);
    Label8 = label("Label8", "LIN SENS.", kLabel8);
    Label9 = label("Label9", "LIN SENS.", kLabel9);
    Label10 = label("Label10", "LIN SENS.", kLabel10);

    auto shape = [this, &layer](const char* name, const Rect& r) {
        auto* s = named(new CircleShape(layer), name);
        s->setGeometry(r.left, r.top, r.width, r.height);
        s->setFillColor(clGreen);
        s->setPenColor(clGray);
        s->setPenWidth(2);
        s->setBeneath(Image1); // an LED that changes repaints only its circle
        return s;
    };
    Shape1 = shape("Shape1", kShape1);
    Shape2 = shape("Shape2", kShape2);
    Shape3 = shape("Shape3", kShape3);
    Shape4 = shape("Shape4", kShape4);
    Label3 = label("Label3", "LED1:", kLabel3);
    Label4 = label("Label4", "LED2:", kLabel4);
    Label5 = label("Label5", "LED3:", kLabel5);
    Label6 = label("Label6", "LED4:", kLabel6);
    Label15 = readout("Label15", "OFF", kLabel15);
    Label16 = readout("Label16", "OFF", kLabel16);
    Label17 = readout("Label17", "OFF", kLabel17);
    Label18 = readout("Label18", "OFF", kLabel18);

    CGauge2 = gauge("CGauge2", kCGauge2, clRed, clDarkRed, 0);
    CGauge3 = gauge("CGauge3", kCGauge3, clDarkRed, clRed, 100);
    CGauge5 = gauge("CGauge5", kCGauge5, clRed, clDarkRed, 0);
    CGauge4 = gauge("CGauge4", kCGauge4, clDarkRed, clRed, 100);
    CGauge13 = gauge("CGauge13", kCGauge13, kCyanBar, kDarkCyanBar, 0);
    CGauge14 = gauge("CGauge14", kCGauge14, kCyanBar, kDarkCyanBar, 0);
    Label11 = label("Label11", "LEFT ENG. CURRENT", kLabel11);
    Label11->setWordWrap(true);
    Label19 = readout("Label19", "0%", kLabel19);
    Label12 = label("Label12", "RIGHT ENG. CURRENT", kLabel12);
    Label12->setWordWrap(true);
    Label20 = readout("Label20", "0%", kLabel20);

    Image4 = picture("Image4", kImage4, ":/assets/battery.svg");
    CGauge1 = gauge("CGauge1", kCGauge1, clRed, clBlack, 0);
    CGauge1->setShowText(true);
    CGauge1->setTextColor(clRed);
    CGauge1->setFont(fontOf(kTahoma, 13, true));
    Label21 = label("Label21", "ACCELERATION", kLabel21);
    Label22 = readout("Label22", "X0 ,Y0  ,Z0  ", kLabel22);

    layer = this;
    Button1 = named(new QPushButton(QString::fromUtf8("połącz"), this), "Button1");
    Button2 = named(new QPushButton(QString::fromUtf8("rozłącz"), this), "Button2");
    Button1->hide();
    Button2->hide();

    // Right column.
    auto checkBox = [this](const char* name, const char* text, const Rect& r) {
        auto* c = named(new QCheckBox(QString::fromLatin1(text), this), name);
        c->setGeometry(r.left, r.top, r.width, r.height);
        c->setLayoutDirection(Qt::RightToLeft); // caption left of the box
        c->setFont(fontOf(kTahoma, 11));
        setTextColor(c, clRed);
        c->setChecked(true);
        return c;
    };
    CheckBox1 = checkBox("CheckBox1", "LED manual override", kCheckBox1);
    CheckBox2 = checkBox("CheckBox2", "engines manual override", kCheckBox2);

    Memo1 = named(new QPlainTextEdit(this), "Memo1");
    Memo1->setGeometry(kMemo1.left, kMemo1.top, kMemo1.width, kMemo1.height);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(fontOf(kCourier, 11));
    Memo1->setStyleSheet(
        QStringLiteral("QPlainTextEdit { background: black; color: %1; border: 1px solid #004848; }"
                       "QScrollBar:vertical { background: #001818; width: 12px; }"
                       "QScrollBar::handle:vertical { background: %1; min-height: 20px; }"
                       "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical "
                       "{ background: #003030; height: 12px; }")
            .arg(colorFromCode(clTeal).name()));
    // The log has a vertical scroll bar only: a line longer than the memo is wide (a port's
    // by-id path, a reason it would not open) goes on in the next row, at a word or anywhere.
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A cycle that repeats a command with its line every 50 ms must not grow the log for ever.
    Memo1->setMaximumBlockCount(logLines);
    for (const char* line : {"Initialising...", "system status: ready", "all systems go..."})
        appendLog(QString::fromLatin1(line));

    LinkReadout = styledLabel(named(new QLabel(this), "LinkReadout"), kLinkReadout, clTeal);
    LinkReadout->setFont(fontOf(kCourierNew, 13));
    LinkReadout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LinkReadout->setFixedSize(kLinkReadout.width, kLinkReadout.height);
    Recording = named(new RecordingControl(recorder, boxes_, this), "Recording");
    Recording->setGeometry(kRecording.left, kRecording.top, kRecording.width, kRecording.height);

    ListBox1 = named(new QListWidget(this), "ListBox1");
    ListBox1->setGeometry(kListBox1.left, kListBox1.top, kListBox1.width, kListBox1.height);
    ListBox1->setFrameShape(QFrame::NoFrame);
    ListBox1->setFont(fontOf(kCourier, 11));
    ListBox1->setStyleSheet(QStringLiteral("QListWidget { background: black; color: %1; } "
                                           "QListWidget::item { height: 13px; padding: 0px; }")
                                .arg(colorFromCode(clLime).name()));
    ListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListBox1->setTextElideMode(Qt::ElideNone);
    // Every row is one line of one height: a changed value lays out its own row, not the list.
    ListBox1->setUniformItemSizes(true);
    for (const char* line : kListLines)
        ListBox1->addItem(QString::fromLatin1(line));

    // Timers: the scan (off until asked for), the command cycle and the controller poll.
    Timer1 = named(new QTimer(this), "Timer1");
    Timer1->setInterval(100);
    Timer2 = named(new BeatTimer(this), "Timer2");
    Timer2->setInterval(50);
    Timer3 = named(new BeatTimer(this), "Timer3");
    Timer3->setInterval(50);
}

void TForm1::wireEvents() {
    connect(Image1, &TransparentPicture::mouseMoved, this, [this] { FormMouseMove(); });
    Image1->setMouseTracking(true);

    for (TransparentPicture* pad : {Image3, Image5}) {
        pad->setMouseTracking(true);
        connect(pad, &TransparentPicture::mousePressed, this,
                [this, pad](QPoint p, Qt::MouseButton b) { knobPressed(pad, p.x(), p.y(), b); });
        connect(pad, &TransparentPicture::mouseMoved, this,
                [this, pad](QPoint p, Qt::MouseButtons b) { knobMoved(pad, p.x(), p.y(), b); });
        connect(pad, &TransparentPicture::mouseReleased, this,
                [this, pad](QPoint p) { Image5MouseUp(pad, p.x(), p.y()); });
    }
    for (CircleShape* led : {Shape1, Shape2, Shape3, Shape4})
        connect(led, &CircleShape::released, this, [this, led] { Shape1MouseUp(led); });

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(&connection, &PortConnection::logLine, this, &TForm1::appendLog);
    connect(Recording, &RecordingControl::logLine, this, &TForm1::appendLog);
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(SpeedButton1, &FlatButton::clicked, this, [this] { SpeedButton1Click(); });
    connect(Chart1, &TelemetryChart::doubleClicked, this, [this] { Chart1DblClick(); });
    connect(Chart1, &TelemetryChart::menuRequested, this,
            [this](const QPoint& at) { Chart1ContextMenu(at); });
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo1, &QPlainTextEdit::customContextMenuRequested, this,
            [this](const QPoint& at) { Memo1ContextMenu(Memo1->mapToGlobal(at)); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(Timer2, &BeatTimer::timeout, this, [this] { Timer2Timer(); });
    connect(Timer3, &BeatTimer::timeout, this, [this] { Timer3Timer(); });
    connect(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
    // The stop key and keyboard driving see every key before the focused control does.
    if (qApp)
        qApp->installEventFilter(this);

    // Whatever takes the pointer away ends a knob drag as a release would (see event()): a
    // modal box, before it is even shown; the link closing under the drag; the application no
    // longer active.
    boxes_.setBeforeShow([this] { endManualDrive(); });
    connection.setOnLinkClosed([this] {
        endManualDrive();
        linkClosed();
        Recording->linkClosed();
    });
    connection.setOnLinkOpened([this] { linkOpened(); });
    connection.setOnReply([this](ReplyKind kind, int address) { linkReply(kind, address); });
    connection.setOnConnected([this] {
        Timer2->wake();
        Recording->portOpened(portName);
        takeKeyboardAfterConnect();
    });
    // A recording keeps every chunk as the worker delivers it, every frame sent, and a row of
    // every telemetry frame accepted, stamped with the time of its chunk.
    connection.setRecorder(&recorder);
    Recording->setPortName([this] { return portName; });
    connection.decoder.setOnTelemetry([this](const TelemetryFrame& frame, const RobotState& s) {
        recorder.telemetry(telemetryRow(frame, s), connection.chunkTimeUs());
    });
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* window) {
        if (window)
            keyboardBack();
    });
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive)
                    endManualDrive();
            });
    // Stop before letting go of the line: the disconnect and the closing of the window put the
    // stop frame of the chosen unit on the line first.
    connection.setLastFrame([this] { sendFrame(buildStop(frameBuffer, unitAddress())); });
}

bool TForm1::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowBlocked:    // a modal window opened: it takes the pointer
    case QEvent::WindowDeactivate: // another window, of this program or another, has the focus
    case QEvent::Hide:
        endManualDrive();
        break;
    case QEvent::WindowStateChange:
        if (isMinimized())
            endManualDrive();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    FormMouseMove();
    QWidget::mouseMoveEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program; the panel cannot be closed on its own. The
    // robot gets the stop frame before the worker lets go of the line.
    connection.shutdown();
    sayLinkSummary();
    Recording->stop(); // its files end complete
    QWidget::closeEvent(event);
    QCoreApplication::quit();
}

void TForm1::Button1Click() {
    connection.Button1Click();
}

void TForm1::Button2Click() {
    connection.Button2Click();
}

void TForm1::SpeedButton1Click() {
    calibrateAccelerometer(state);
}

void TForm1::Chart1DblClick() {
    Chart1->undoZoom();
}

void TForm1::sendFrame(int length) {
    // The engine says nothing of a refusal: its count of taken sends does.
    const uint64_t taken = link_.accepted_sends();
    link_.send_bytes(frameBuffer.data(), length);
    recorder.sent(frameBuffer.data(), length, link_.accepted_sends() != taken,
                  LinkRecorder::nowUs());
}

void TForm1::appendLog(const QString& line) {
    Memo1->appendPlainText(line);
}
