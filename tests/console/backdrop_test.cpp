// Widgets that draw the still picture beneath them themselves (readout labels, line-sensor
// pictures, LED circles): each must look exactly like its transparent self over the same
// picture, wherever it stands, and a change must not repaint the picture beneath.

#include "console/widgets/circle_shape.h"
#include "console/widgets/readout_label.h"
#include "console/widgets/transparent_picture.h"
#include "tests/support/qt_wait.h"
#include "widget_test_support.h"

#include <QPainter>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

// 40 x 30 with stripes of several colours and black that the picture leaves transparent.
QImage stripes() {
    QImage image(40, 30, QImage::Format_RGB32);
    const int codes[4] = {clRed, clLime, clAqua, clBlack};
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 30; ++y)
            image.setPixelColor(x, y, colorFromCode(codes[(x / 3 + y / 5) % 4]));
    return image;
}

// A small picture with a transparent corner, as the line-sensor pictures have.
QImage sensorPicture(int code) {
    QImage image(12, 12, QImage::Format_ARGB32);
    image.fill(colorFromCode(code));
    QPainter(&image).fillRect(0, 0, 5, 5, Qt::transparent);
    return image;
}

struct Overlay {
    QWidget* widget;
    std::function<void(int step)> change; // a new text, picture or colour
};

// Makes the widget under test over beneath, with or without its own copy of it.
using OverlayMaker = std::function<Overlay(QWidget* ground, QWidget* beneath, bool backdrop)>;

Overlay makeReadout(QWidget* ground, QWidget* beneath, bool backdrop) {
    QLabel* label = nullptr;
    if (backdrop) {
        auto* readout = new ReadoutLabel(QStringLiteral("X0 ,Y0"), ground);
        readout->setBeneath(beneath);
        label = readout;
    } else {
        label = new QLabel(QStringLiteral("X0 ,Y0"), ground);
    }
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colorFromCode(clYellow));
    label->setPalette(palette);
    QFont font({"Liberation Mono", "DejaVu Sans Mono", "monospace"});
    font.setPixelSize(16);
    label->setFont(font);
    return {label, [label](int step) { label->setText(QString::number(step * 37) + " %"); }};
}

Overlay makeSensor(QWidget* ground, QWidget* beneath, bool backdrop) {
    auto* picture = new TransparentPicture(ground);
    if (backdrop)
        picture->setBeneath(beneath);
    picture->setStretch(true, true);
    picture->setPicture(sensorPicture(clWhite));
    return {picture, [picture](int step) {
                picture->setPicture(sensorPicture(step % 2 ? clPurple : clWhite));
            }};
}

Overlay makeCircle(QWidget* ground, QWidget* beneath, bool backdrop) {
    auto* circle = new CircleShape(ground);
    if (backdrop)
        circle->setBeneath(beneath);
    circle->setFillColor(clGreen);
    circle->setPenColor(clGray);
    return {circle, [circle](int step) { circle->setFillColor(step % 2 ? clLime : clGreen); }};
}

struct Scene {
    std::unique_ptr<QWidget> ground;
    TransparentPicture* picture;
    Overlay overlay;
};

// The picture at (5, 5) and the widget reaching past its right edge.
Scene makeScene(const OverlayMaker& make, bool backdrop) {
    Scene s;
    s.ground.reset(makeGround(clTeal, QSize(70, 45)));
    s.picture = new TransparentPicture(s.ground.get());
    s.picture->setGeometry(5, 5, 40, 30);
    s.picture->setPicture(stripes());
    s.picture->setTransparentColor(clBlack);
    s.overlay = make(s.ground.get(), s.picture, backdrop);
    s.overlay.widget->setGeometry(12, 9, 50, 16);
    return s;
}

class OwnBackdrop : public ::testing::TestWithParam<OverlayMaker> {};

} // namespace

TEST_P(OwnBackdrop, LooksLikeTheTransparentWidgetOverThePicture) {
    Scene own = makeScene(GetParam(), true);
    Scene plain = makeScene(GetParam(), false);
    EXPECT_EQ(grabImage(own.ground.get()), grabImage(plain.ground.get()));

    for (Scene* s : {&own, &plain}) {
        s->overlay.change(3);
        s->overlay.widget->setGeometry(2, 14, 30, 20); // now starting left of the picture
    }
    const QImage moved = grabImage(own.ground.get());
    EXPECT_EQ(moved, grabImage(plain.ground.get()));
    EXPECT_EQ(pixelCode(moved, 3, 14), clTeal);
    EXPECT_NE(pixelCode(moved, 5, 14), clTeal) << "the picture's left edge stays where it is";
}

TEST_P(OwnBackdrop, WithoutAPictureStandsOnTheGroundColour) {
    std::unique_ptr<QWidget> ground(makeGround(clPurple, QSize(40, 20)));
    Overlay overlay = GetParam()(ground.get(), nullptr, true);
    overlay.widget->setGeometry(0, 0, 40, 20);
    EXPECT_EQ(pixelCode(grabImage(ground.get()), 0, 0), clPurple);
}

TEST_P(OwnBackdrop, AChangeRepaintsOnlyTheWidget) {
    Scene s = makeScene(GetParam(), true);
    s.ground->show();
    ASSERT_TRUE(waitUntil([&] { return s.ground->windowHandle() != nullptr; }));
    pumpFor(50);
    PaintCounter picturePaints, overlayPaints;
    s.picture->installEventFilter(&picturePaints);
    s.overlay.widget->installEventFilter(&overlayPaints);
    for (int i = 1; i <= 5; ++i) {
        s.overlay.change(i);
        QCoreApplication::processEvents();
    }
    pumpFor(50);
    EXPECT_GE(overlayPaints.paints, 1);
    EXPECT_EQ(picturePaints.paints, 0);
}

std::string overlayName(const ::testing::TestParamInfo<OverlayMaker>& info) {
    static const char* const names[] = {"ReadoutLabel", "LineSensorPicture", "LedCircle"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Widgets, OwnBackdrop,
                         ::testing::Values(OverlayMaker(makeReadout), OverlayMaker(makeSensor),
                                           OverlayMaker(makeCircle)),
                         overlayName);

namespace {

// A striped target at (5, 5) over the ground and a small dot over the target, both with black
// left transparent; the target stands on the ground's colour itself when opaque is set.
struct DotScene {
    std::unique_ptr<QWidget> ground;
    TransparentPicture* target;
    TransparentPicture* dot;
};

DotScene makeDotScene(bool opaque) {
    DotScene s;
    s.ground.reset(makeGround(clTeal, QSize(70, 45)));
    s.target = new TransparentPicture(s.ground.get());
    s.target->setGeometry(5, 5, 40, 30);
    s.target->setPicture(stripes());
    s.target->setTransparentColor(clBlack);
    if (opaque)
        s.target->setOnParentColour();
    s.dot = new TransparentPicture(s.ground.get());
    s.dot->setPicture(sensorPicture(clYellow));
    s.dot->setTransparentColor(clBlack);
    s.dot->setGeometry(10, 10, 12, 12);
    return s;
}

} // namespace

TEST(PictureOnParentColour, LooksLikeTheTransparentPictureAndTakesTheRepaintsOfADotMovingOverIt) {
    DotScene own = makeDotScene(true);
    DotScene plain = makeDotScene(false);
    EXPECT_EQ(grabImage(own.ground.get()), grabImage(plain.ground.get()));

    own.ground->show();
    ASSERT_TRUE(waitUntil([&] { return own.ground->windowHandle() != nullptr; }));
    pumpFor(50);
    PaintCounter groundPaints, targetPaints;
    own.ground->installEventFilter(&groundPaints);
    own.target->installEventFilter(&targetPaints);
    for (int i = 1; i <= 6; ++i) {
        for (DotScene* s : {&own, &plain})
            s->dot->move(8 + 3 * i, 8 + 2 * i);
        QCoreApplication::processEvents();
    }
    pumpFor(50);
    EXPECT_GE(targetPaints.paints, 1);
    EXPECT_EQ(groundPaints.paints, 0) << "the window beneath the target was repainted";

    // What the window shows after the moves is what a fresh paint gives, and what the
    // transparent target gives.
    const QImage shown = own.ground->screen()
                             ->grabWindow(own.ground->winId())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = grabImage(own.ground.get()).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown, fresh) << "the dot's old places were not repainted";
    EXPECT_EQ(fresh, grabImage(plain.ground.get()).convertToFormat(QImage::Format_RGB32));
}
