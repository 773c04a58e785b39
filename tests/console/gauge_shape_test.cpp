// Colours, bar gauges and circle shapes.

#include "console/widgets/bar_gauge.h"
#include "console/widgets/circle_shape.h"
#include "tests/support/qt_wait.h"
#include "widget_test_support.h"

#include <climits>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

TEST(Colors, CodesHoldRedInTheLowByte) {
    EXPECT_EQ(colorFromCode(clRed), QColor(255, 0, 0));
    EXPECT_EQ(colorFromCode(clAqua), QColor(0, 255, 255));
    EXPECT_EQ(colorFromCode(16382208), QColor(0, 249, 249));
    EXPECT_EQ(colorFromCode(clDarkRed), QColor(96, 0, 0));
    EXPECT_EQ(colorFromCode(clOrange), QColor(255, 128, 0));
    EXPECT_EQ(colorToCode(QColor(1, 197, 254)), 16696577);
    EXPECT_EQ(colorToCode(QColor(39, 39, 79, 10)), 5187367) << "alpha is no part of the code";
}

TEST(BarGauge, HoldsItsValueClampedToTheRangeAndShowsItsPercentage) {
    BarGauge gauge;
    gauge.setProgress(180); // a sonar reading of 180 shows a full bar
    EXPECT_EQ(gauge.progress(), 100);
    gauge.setProgress(-20); // a negative acceleration an empty one
    EXPECT_EQ(gauge.progress(), 0);

    gauge.setRange(255, 0); // either order
    EXPECT_EQ(gauge.maxValue(), 255);
    gauge.setProgress(128);
    EXPECT_EQ(gauge.progress(), 128);
    EXPECT_EQ(gauge.percentText(), "50%") << "whole part of 50.2";
    gauge.setRange(0, 100);
    EXPECT_EQ(gauge.progress(), 100) << "a narrowed range clamps the held value";

    gauge.setRange(10, 20);
    gauge.setProgress(19);
    EXPECT_EQ(gauge.percentText(), "90%");
    EXPECT_EQ(gaugePercent(5, 5, 5), 0) << "a range of no width";
    EXPECT_EQ(gaugePercent(INT_MAX, INT_MIN, INT_MAX), 100) << "no overflow at the extremes";
}

TEST(BarGauge, VerticalBarsFillFromTheBottomHorizontalFromTheLeft) {
    // CGauge3, a lower drive gauge: 31 x 90, dark red bar on red, with its black border. Set to
    // 100 + v for v = -30 it shows red over its top 30 % and dark red below: of the 88 rows
    // inside the border the bar takes 61, rows 28..88.
    BarGauge gauge;
    gauge.resize(31, 90);
    gauge.setForeColor(clDarkRed);
    gauge.setBackColor(clRed);
    gauge.setProgress(70);
    QImage image = grabImage(&gauge);
    EXPECT_EQ(pixelCode(image, 0, 45), clBlack) << "border";
    EXPECT_EQ(pixelCode(image, 15, 1), clRed);
    EXPECT_EQ(pixelCode(image, 15, 27), clRed);
    EXPECT_EQ(pixelCode(image, 15, 28), clDarkRed);
    EXPECT_EQ(pixelCode(image, 15, 88), clDarkRed);

    // Without a border (the sonar bars) the bar reaches the edges: 2 % of 90 rows is one row.
    gauge.setBorder(false);
    gauge.setProgress(2);
    image = grabImage(&gauge);
    EXPECT_EQ(pixelCode(image, 0, 89), clDarkRed);
    EXPECT_EQ(pixelCode(image, 0, 88), clRed);

    // The panel's scan gauge: 99 x 16, white on blue, 0..255; 50 % is 48 of 97 inner columns.
    gauge.resize(99, 16);
    gauge.setBorder(true);
    gauge.setOrientation(Qt::Horizontal);
    gauge.setRange(0, 255);
    gauge.setForeColor(clWhite);
    gauge.setBackColor(16696577);
    gauge.setProgress(128);
    image = grabImage(&gauge);
    EXPECT_EQ(pixelCode(image, 1, 8), clWhite);
    EXPECT_EQ(pixelCode(image, 48, 8), clWhite);
    EXPECT_EQ(pixelCode(image, 49, 8), 16696577);
}

TEST(BarGauge, BorderIsAOnePixelFrameRoundTheWholeGauge) {
    // CGauge8, an accelerometer gauge: 13 x 70 with a border of its own colour, empty.
    BarGauge gauge;
    gauge.resize(13, 70);
    gauge.setBorderColor(clYellow);
    gauge.setForeColor(clRed);
    gauge.setBackColor(clDarkRed);
    gauge.setProgress(0);
    const QImage image = grabImage(&gauge);
    int offFrame = 0, intoInside = 0;
    for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 13; ++x) {
            const bool frame = x == 0 || x == 12 || y == 0 || y == 69;
            const int code = pixelCode(image, x, y);
            offFrame += frame && code != clYellow;
            intoInside += !frame && code != clDarkRed;
        }
    }
    EXPECT_EQ(offFrame, 0) << "frame pixels not in the border colour";
    EXPECT_EQ(intoInside, 0) << "inside pixels not in the back colour";
}

TEST(BarGauge, DrawsItsPercentageTextOnlyWhenShown) {
    // The battery gauge: red text on black; nothing else is red while the bar is empty.
    BarGauge gauge;
    gauge.resize(45, 101);
    gauge.setForeColor(clRed);
    gauge.setBackColor(clBlack);
    gauge.setTextColor(clRed);
    QFont font("Tahoma");
    font.setPixelSize(13);
    font.setBold(true);
    gauge.setFont(font);
    auto redPixels = [&gauge] {
        const QImage image = grabImage(&gauge);
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 128 && c.green() < 64 && c.blue() < 64;
            }
        }
        return count;
    };
    EXPECT_EQ(redPixels(), 0);
    gauge.setShowText(true);
    EXPECT_GT(redPixels(), 10);
}

namespace {

// Paints of the shown gauge while set() changes it.
int paintsDuring(BarGauge& gauge, const std::function<void()>& set) {
    PaintCounter counter;
    gauge.installEventFilter(&counter);
    set();
    pumpFor(30);
    gauge.removeEventFilter(&counter);
    return counter.paints;
}

} // namespace

TEST(BarGauge, RepaintsOnlyWhenTheBarOrItsTextChanges) {
    // An accelerometer bar: 0..255 on 68 pixels inside its frame.
    BarGauge gauge;
    gauge.setRange(0, 255);
    gauge.resize(13, 70);
    gauge.setProgress(100);
    gauge.show();
    pumpFor(30);
    const QImage before = grabImage(&gauge);
    EXPECT_EQ(paintsDuring(gauge, [&] { gauge.setProgress(101); }), 0) << "39 % either way";
    EXPECT_EQ(gauge.progress(), 101);
    EXPECT_EQ(grabImage(&gauge), before);
    EXPECT_EQ(paintsDuring(gauge, [&] { gauge.setProgress(104); }), 1) << "40 %: a pixel more";
    EXPECT_NE(grabImage(&gauge), before);

    // With its text shown a new percentage repaints even where the bar keeps its length.
    BarGauge battery;
    battery.resize(45, 12);
    battery.setShowText(true);
    battery.setProgress(50);
    battery.show();
    pumpFor(30);
    EXPECT_EQ(paintsDuring(battery, [&] { battery.setProgress(51); }), 1);
    EXPECT_EQ(battery.percentText(), "51%");
}

TEST(CircleShape, FillsAndOutlinesTheCircleAndReportsReleases) {
    std::unique_ptr<QWidget> ground(makeGround(clBlack, QSize(40, 40)));
    auto* shape = new CircleShape(ground.get());
    shape->setGeometry(5, 5, 30, 30);
    shape->setFillColor(clGreen);
    shape->setPenColor(clGray);
    QImage image = grabImage(ground.get());
    EXPECT_EQ(pixelCode(image, 20, 20), clGreen) << "centre";
    EXPECT_EQ(pixelCode(image, 6, 20), clGray) << "outline, 2 px wide, on the left";
    EXPECT_EQ(pixelCode(image, 20, 33), clGray) << "outline at the bottom";
    EXPECT_EQ(pixelCode(image, 9, 20), clGreen) << "inside the outline";
    EXPECT_EQ(pixelCode(image, 5, 5), clBlack) << "the corner shows the ground";

    shape->setPenColor(clWhite);
    EXPECT_EQ(pixelCode(grabImage(ground.get()), 6, 20), clWhite);

    std::vector<Qt::MouseButton> released;
    QObject::connect(shape, &CircleShape::released,
                     [&released](Qt::MouseButton button) { released.push_back(button); });
    sendMouse(shape, QEvent::MouseButtonPress, QPoint(15, 15), Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(released.empty()) << "a press alone is no release";
    sendMouse(shape, QEvent::MouseButtonRelease, QPoint(15, 15), Qt::LeftButton, Qt::NoButton);
    click(shape, QPoint(3, 3), Qt::RightButton);
    EXPECT_EQ(released, (std::vector<Qt::MouseButton>{Qt::LeftButton, Qt::RightButton}));
}
