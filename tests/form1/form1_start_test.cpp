// The main window as it starts: what other parts of the console rely on.

#include "tests/form1/form1_fixture.h"

#include <QPushButton>

namespace {

using StartState = Form1Test;

TEST_F(StartState, WindowAndValues) {
    EXPECT_EQ(form1.windowTitle(), "ZELK controll");
    EXPECT_EQ(form1.size(), QSize(1303, 791));
    EXPECT_EQ(form1.minimumSize(), form1.maximumSize());
    EXPECT_EQ(form1.objectName(), "Form1");
    EXPECT_EQ(form1.portName, "COM7");
    EXPECT_EQ(form1.portRate, 57600);
    EXPECT_FALSE(form1.portOpen.load());
    EXPECT_EQ(form1.scanAddress, 0);
    EXPECT_EQ(form1.state.softVersion, -1);
    EXPECT_EQ(form1.state.hardVersion, -1);
    EXPECT_EQ(form1.state.driveLeft, 100);
    EXPECT_EQ(form1.state.driveRight, 100);
    EXPECT_EQ(form1.unitAddress(), 253);
}

TEST_F(StartState, IdentityListAndLog) {
    ASSERT_EQ(form1.ListBox1->count(), 35);
    EXPECT_EQ(form1.ListBox1->item(0)->text(), "Unit ID      :");
    EXPECT_EQ(form1.ListBox1->item(3)->text(), "Hard ver.    :");
    EXPECT_EQ(form1.ListBox1->item(4)->text(), "");
    EXPECT_EQ(form1.ListBox1->item(5)->text(), "--[ BATTERY ]--------------------");
    EXPECT_EQ(form1.ListBox1->item(23)->text(), "Line Sens RD :");
    EXPECT_EQ(form1.ListBox1->item(31)->text(), "--[ ACCELERATION ]------");
    EXPECT_EQ(form1.ListBox1->item(34)->text(), "G_meter Z    :");
    EXPECT_EQ(logLines(),
              QStringList({"Initialising...", "system status: ready", "all systems go..."}));
    EXPECT_TRUE(form1.Memo1->isReadOnly());
}

TEST_F(StartState, Timers) {
    EXPECT_EQ(form1.Timer1->interval(), 100);
    EXPECT_FALSE(form1.Timer1->isActive());
    EXPECT_EQ(form1.Timer2->interval(), 50);
    EXPECT_EQ(form1.Timer3->interval(), 50);
    TForm1 fresh(link, boxes, nullptr);
    EXPECT_TRUE(fresh.Timer2->isActive());
    EXPECT_TRUE(fresh.Timer3->isActive());
    EXPECT_FALSE(fresh.Timer1->isActive());
}

TEST_F(StartState, GaugesRangesValuesAndColours) {
    struct Expect {
        BarGauge* gauge;
        int max, value, fore, back;
    };
    const Expect expected[] = {
        {form1.CGauge1, 100, 0, 255, 0},
        {form1.CGauge2, 100, 0, 255, 96},
        {form1.CGauge3, 100, 100, 96, 255},
        {form1.CGauge5, 100, 0, 255, 96},
        {form1.CGauge4, 100, 100, 96, 255},
        {form1.CGauge6, 100, 0, 255, 96},
        {form1.CGauge7, 100, 0, 255, 96},
        {form1.CGauge8, 255, 25, 255, 96},
        {form1.CGauge9, 255, 25, 255, 96},
        {form1.CGauge10, 255, 25, 255, 96},
        {form1.CGauge11, 100, 50, 16382208, 5987072},
        {form1.CGauge12, 100, 50, 16382208, 5987072},
        {form1.CGauge13, 100, 0, 16382208, 5987072},
        {form1.CGauge14, 100, 0, 16382208, 5987072},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.gauge->objectName().toStdString());
        EXPECT_EQ(e.gauge->minValue(), 0);
        EXPECT_EQ(e.gauge->maxValue(), e.max);
        EXPECT_EQ(e.gauge->progress(), e.value);
        EXPECT_EQ(e.gauge->foreColor(), e.fore);
        EXPECT_EQ(e.gauge->backColor(), e.back);
        EXPECT_EQ(e.gauge->orientation(), Qt::Vertical);
    }
    EXPECT_TRUE(form1.CGauge1->showText());
    EXPECT_EQ(form1.CGauge6->size(), QSize(6, 259));
    EXPECT_EQ(form1.CGauge13->size(), QSize(13, 183));
}

TEST_F(StartState, PicturesLedsAndButtons) {
    EXPECT_EQ(form1.Image2->geometry(), QRect(20, 10, 259, 261));
    EXPECT_EQ(form1.Image3->geometry(), QRect(20, 270, 259, 261));
    EXPECT_EQ(form1.Image5->geometry(), QRect(132, 384, 32, 32));
    EXPECT_EQ(form1.Image6->geometry(), QRect(132, 124, 32, 32));
    EXPECT_EQ(form1.Image1->geometry(), QRect(280, 10, 797, 769));
    EXPECT_EQ(form1.Image5->transparentColor(), std::optional<int>(0));
    EXPECT_EQ(form1.Image6->transparentColor(), std::optional<int>(0));
    EXPECT_FALSE(form1.Image1->picture().isNull()) << "artwork resources missing";
    EXPECT_FALSE(form1.Image11->isVisible());
    for (CircleShape* led : {form1.Shape1, form1.Shape2, form1.Shape3, form1.Shape4}) {
        EXPECT_EQ(led->fillColor(), 32768);
        EXPECT_EQ(led->penColor(), 8421504);
        EXPECT_EQ(led->penWidth(), 2);
        EXPECT_EQ(led->size(), QSize(30, 30));
    }
    for (QLabel* text : {form1.Label15, form1.Label16, form1.Label17, form1.Label18})
        EXPECT_EQ(text->text(), "OFF");
    EXPECT_EQ(form1.Label22->text(), "X0 ,Y0  ,Z0  ");
    EXPECT_EQ(form1.Button1->text(), QString::fromUtf8("połącz"));
    EXPECT_EQ(form1.Button2->text(), QString::fromUtf8("rozłącz"));
    EXPECT_FALSE(form1.Button1->isVisibleTo(&form1));
    EXPECT_TRUE(form1.CheckBox1->isChecked());
    EXPECT_TRUE(form1.CheckBox2->isChecked());
    EXPECT_EQ(form1.CheckBox1->text(), "LED manual override");
    for (const char* name : {"Label1", "CGauge13", "Memo1", "ListBox1", "Chart1", "Timer2"})
        EXPECT_NE(form1.findChild<QObject*>(name), nullptr) << name;
}

// The pointer reaches the control drawn on top at each place: the stacking the operator sees.
TEST_F(StartState, PointerReachesTheTopmostControl) {
    struct Spot {
        QPoint at;
        QWidget* expected;
    };
    const Spot spots[] = {
        {{148, 400}, form1.Image5},   // the knob over the drive pad
        {{60, 330}, form1.Image3},    // the drive pad beside the knob
        {{148, 140}, form1.Image6},   // the dot over the accelerometer square
        {{30, 230}, form1.CGauge9},   // a bar over the square
        {{284, 600}, form1.Chart1},   // the chart where it overlaps the robot picture
        {{553, 363}, form1.Shape1},   // an LED circle over the robot picture
        {{440, 80}, form1.Label13},   // a readout over the robot picture
        {{460, 250}, form1.Image7},   // a line sensor over the robot picture
        {{600, 160}, form1.Image1},   // the robot picture itself
        {{1100, 20}, form1.CheckBox1} // the right column
    };
    for (const Spot& spot : spots) {
        QWidget* found = form1.childAt(spot.at);
        // Parts inside a control (the chart's view, a check box's parts) count as the control.
        const bool reached = found == spot.expected || spot.expected->isAncestorOf(found);
        EXPECT_TRUE(reached) << spot.at.x() << "," << spot.at.y() << ": "
                             << (found ? found->objectName().toStdString()
                                       : std::string("nothing"));
    }
}

TEST_F(StartState, ChartSeries) {
    const char* titles[] = {"accel_X", "accel_Y",       "accel_Z",
                            "Batt",    "engine curr L", "engine curr R"};
    const int colours[] = {255, 65280, 16776960, 16777215, 65535, 16744576};
    const bool active[] = {true, true, true, false, false, false};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(form1.Chart1->seriesTitle(k), titles[k]);
        EXPECT_EQ(form1.Chart1->seriesColor(k), colours[k]);
        EXPECT_EQ(form1.Chart1->seriesActive(k), active[k]);
        EXPECT_EQ(form1.Chart1->pointCount(k), 0u);
    }
    EXPECT_EQ(form1.Chart1->pageText(), "Page 1 of 1");
    EXPECT_EQ(form1.Chart1->size(), QSize(283, 261));
}

TEST_F(StartState, CalibrationBeforeAnyFrameKeepsZeros) {
    form1.SpeedButton1Click();
    EXPECT_EQ(form1.state.accelZeroX, 0);
    EXPECT_EQ(form1.state.accelZeroY, 0);
    EXPECT_EQ(form1.state.accelZeroZ, 0);
}

} // namespace
