// Pictures with a transparent colour and flat buttons.

#include "console/widgets/flat_button.h"
#include "console/widgets/transparent_picture.h"
#include "widget_test_support.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// 20 x 10: the left half black, the right half red.
QImage blackAndRed() {
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(colorFromCode(clBlack));
    QPainter(&image).fillRect(10, 0, 10, 10, colorFromCode(clRed));
    return image;
}

} // namespace

TEST(TransparentPicture, PixelsOfExactlyTheTransparentColourShowTheParent) {
    std::unique_ptr<QWidget> ground(makeGround(clTeal, QSize(30, 20)));
    auto* picture = new TransparentPicture(ground.get());
    picture->setGeometry(5, 5, 20, 10);
    QImage source = blackAndRed();
    source.setPixelColor(0, 0, QColor(1, 0, 0)); // nearly black is no black
    picture->setPicture(source);
    EXPECT_EQ(pixelCode(grabImage(ground.get()), 8, 10), clBlack) << "no transparent colour yet";

    picture->setTransparentColor(clBlack);
    QImage image = grabImage(ground.get());
    EXPECT_EQ(pixelCode(image, 8, 10), clTeal);
    EXPECT_EQ(pixelCode(image, 20, 10), clRed);
    EXPECT_EQ(pixelCode(image, 5, 5), 1);

    picture->setTransparentColor(clRed);
    image = grabImage(ground.get());
    EXPECT_EQ(pixelCode(image, 8, 10), clBlack);
    EXPECT_EQ(pixelCode(image, 20, 10), clTeal);

    // Copied to another control the picture comes without the first one's transparency.
    std::unique_ptr<QWidget> other(makeGround(clTeal, QSize(20, 10)));
    auto* copy = new TransparentPicture(other.get());
    copy->resize(20, 10);
    copy->setPicture(picture->picture());
    EXPECT_EQ(pixelCode(grabImage(other.get()), 15, 5), clRed);
}

TEST(TransparentPicture, StretchKeepsProportionsAndCentres) {
    std::unique_ptr<QWidget> ground(makeGround(clTeal, QSize(40, 40)));
    auto* picture = new TransparentPicture(ground.get());
    picture->resize(40, 40);
    picture->setPicture(blackAndRed());
    EXPECT_EQ(picture->pictureRect(), QRect(0, 0, 20, 10)) << "unstretched: own size, top left";

    picture->setStretch(true);
    EXPECT_EQ(picture->pictureRect(), QRect(0, 10, 40, 20));
    const QImage image = grabImage(ground.get());
    EXPECT_EQ(pixelCode(image, 30, 5), clTeal) << "above the picture";
    EXPECT_EQ(pixelCode(image, 5, 20), clBlack);
    EXPECT_EQ(pixelCode(image, 35, 20), clRed);
    EXPECT_EQ(pixelCode(image, 30, 35), clTeal) << "below the picture";
}

TEST(TransparentPicture, LoadsSvgAtTheAskedSize) {
    QTemporaryDir dir;
    const QString path = dir.filePath("pic.svg");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="4">)"
               R"(<rect width="8" height="4" fill="#000"/><rect x="4" width="4" height="4")"
               R"( fill="#f00"/></svg>)");
    file.close();

    EXPECT_EQ(loadPicture(path).size(), QSize(8, 4));
    TransparentPicture picture;
    ASSERT_TRUE(picture.loadPicture(path, QSize(20, 10)));
    ASSERT_EQ(picture.picture().size(), QSize(20, 10));
    EXPECT_EQ(colorToCode(picture.picture().pixelColor(2, 5)), clBlack);
    EXPECT_EQ(colorToCode(picture.picture().pixelColor(17, 5)), clRed);

    EXPECT_FALSE(picture.loadPicture(dir.filePath("missing.svg")));
    EXPECT_TRUE(picture.picture().isNull());
}

TEST(TransparentPicture, PassesOnMouseEventsWithTheirPositions) {
    TransparentPicture pad;
    pad.resize(259, 261);
    std::vector<QString> seen;
    auto text = [](QPoint p) { return QString("%1,%2").arg(p.x()).arg(p.y()); };
    QObject::connect(&pad, &TransparentPicture::mousePressed,
                     [&](QPoint p) { seen.push_back("press " + text(p)); });
    QObject::connect(&pad, &TransparentPicture::mouseMoved, [&](QPoint p, Qt::MouseButtons b) {
        seen.push_back("move " + text(p) + (b & Qt::LeftButton ? " left" : ""));
    });
    QObject::connect(&pad, &TransparentPicture::mouseReleased,
                     [&](QPoint p) { seen.push_back("release " + text(p)); });

    // A drag goes on beyond the pad's edges, with positions outside it.
    sendMouse(&pad, QEvent::MouseButtonPress, QPoint(129, 130), Qt::LeftButton, Qt::LeftButton);
    sendMouse(&pad, QEvent::MouseMove, QPoint(-40, 300), Qt::NoButton, Qt::LeftButton);
    sendMouse(&pad, QEvent::MouseButtonRelease, QPoint(-41, 301), Qt::LeftButton, Qt::NoButton);
    // Moves without a button come only with mouse tracking on.
    sendMouse(&pad, QEvent::MouseMove, QPoint(10, 11), Qt::NoButton, Qt::NoButton);
    pad.setMouseTracking(true);
    sendMouse(&pad, QEvent::MouseMove, QPoint(12, 13), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(seen, (std::vector<QString>{"press 129,130", "move -40,300 left", "release -41,301",
                                          "move 12,13"}));
}

TEST(FlatButton, IsTransparentWithoutPictureAndClicksWithTheLeftButton) {
    std::unique_ptr<QWidget> ground(makeGround(16696577, QSize(120, 40)));
    auto* button = new FlatButton(ground.get());
    button->setGeometry(10, 10, 99, 23);
    const QImage image = grabImage(ground.get());
    EXPECT_EQ(pixelCode(image, 50, 20), 16696577) << "the label painted underneath shows";
    EXPECT_EQ(pixelCode(image, 10, 10), 16696577);

    int clicks = 0;
    QObject::connect(button, &FlatButton::clicked, [&clicks] { ++clicks; });
    click(button, QPoint(50, 11));
    click(button, QPoint(50, 11), Qt::RightButton);
    EXPECT_EQ(clicks, 1);
}
