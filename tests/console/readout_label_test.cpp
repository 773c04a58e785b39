// Readout labels: they must look exactly like a transparent label over the same picture, and a new
// text must not repaint the picture beneath.

#include "console/widgets/readout_label.h"
#include "console/widgets/transparent_picture.h"
#include "tests/support/qt_wait.h"
#include "widget_test_support.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <memory>

namespace {

// 40 x 30 with stripes of several colours and a black band that the picture leaves transparent.
QImage stripes() {
    QImage image(40, 30, QImage::Format_RGB32);
    const int codes[4] = {clRed, clLime, clAqua, clBlack};
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 30; ++y)
            image.setPixelColor(x, y, colorFromCode(codes[(x / 3 + y / 5) % 4]));
    return image;
}

struct Scene {
    std::unique_ptr<QWidget> ground;
    TransparentPicture* picture;
    QLabel* label;
};

// The picture at (5, 5) and a label reaching past its right edge, as the dashboard has them.
Scene makeScene(bool readout) {
    Scene s;
    s.ground.reset(makeGround(clTeal, QSize(70, 45)));
    s.picture = new TransparentPicture(s.ground.get());
    s.picture->setGeometry(5, 5, 40, 30);
    s.picture->setPicture(stripes());
    s.picture->setTransparentColor(clBlack);
    if (readout) {
        auto* label = new ReadoutLabel(QStringLiteral("X0 ,Y0"), s.ground.get());
        label->setBeneath(s.picture);
        s.label = label;
    } else {
        s.label = new QLabel(QStringLiteral("X0 ,Y0"), s.ground.get());
    }
    QPalette palette = s.label->palette();
    palette.setColor(QPalette::WindowText, colorFromCode(clYellow));
    s.label->setPalette(palette);
    s.label->setGeometry(12, 9, 50, 16);
    return s;
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

TEST(ReadoutLabel, LooksLikeATransparentLabelOverThePicture) {
    Scene readout = makeScene(true);
    Scene plain = makeScene(false);
    EXPECT_EQ(grabImage(readout.ground.get()), grabImage(plain.ground.get()));

    for (Scene* s : {&readout, &plain}) {
        s->label->setText(QStringLiteral("X-120 ,Y7"));
        s->label->move(2, 14); // now starting left of the picture, over the ground
    }
    const QImage moved = grabImage(readout.ground.get());
    EXPECT_EQ(moved, grabImage(plain.ground.get()));
    EXPECT_EQ(pixelCode(moved, 3, 14), clTeal);
    EXPECT_NE(pixelCode(moved, 5, 14), clTeal) << "the picture's left edge stays where it is";
}

TEST(ReadoutLabel, WithoutAPictureStandsOnTheGroundColour) {
    std::unique_ptr<QWidget> ground(makeGround(clPurple, QSize(40, 20)));
    auto* label = new ReadoutLabel(QString(), ground.get());
    label->setGeometry(0, 0, 40, 20);
    EXPECT_EQ(pixelCode(grabImage(ground.get()), 20, 10), clPurple);
}

TEST(ReadoutLabel, NewTextRepaintsOnlyTheLabel) {
    Scene s = makeScene(true);
    s.ground->show();
    PaintCounter picturePaints, labelPaints;
    ASSERT_TRUE(waitUntil([&] { return s.ground->isVisible() && s.ground->windowHandle(); }));
    pumpFor(50);
    s.picture->installEventFilter(&picturePaints);
    s.label->installEventFilter(&labelPaints);
    for (int i = 0; i < 5; ++i) {
        s.label->setText(QString::number(i * 37));
        QCoreApplication::processEvents();
    }
    pumpFor(50);
    EXPECT_GE(labelPaints.paints, 1);
    EXPECT_EQ(picturePaints.paints, 0);
}
