// The dashboard side of the reply decoder: each operation moves freshly decoded values into the
// controls, in the order the decoder calls them.

#include "console/chart/telemetry_chart.h"
#include "console/dashboard_math.h"
#include "console/form1.h"
#include "console/form2.h"
#include "console/widgets/bar_gauge.h"
#include "console/widgets/circle_shape.h"
#include "console/widgets/spin_edit.h"
#include "console/widgets/transparent_picture.h"

#include <QDateTime>
#include <QLabel>
#include <QListWidget>

namespace {

constexpr int kLedOn = 65280;  // lime
constexpr int kLedOff = 32768; // green

// Point colours of the six chart series, in series order.
constexpr int kChartPointColors[6] = {255, 65280, 16776960, 16777215, 65535, 8388736};

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

int TForm1::unitAddress() const {
    return Form2 ? Form2->CSpinEdit1->value() : 253;
}

void TForm1::showUnitDetected(int address, int argument) {
    if (address != 0 && address == argument && Form2)
        Form2->ListBox1->addItem(QString::number(address));
    appendLog(QStringLiteral("> unit detected, id=") + QString::number(address));
    ListBox1->item(0)->setText(QStringLiteral("Unit ID      :") + QString::number(argument));
}

void TForm1::showSoftVersion(int address, int version) {
    appendLog(QStringLiteral("  > unit soft ver=") + QString::number(version));
    ListBox1->item(2)->setText(QStringLiteral("Soft ver.    :") + QString::number(version));
    ListBox1->item(0)->setText(QStringLiteral("Unit ID      :") + QString::number(address));
}

void TForm1::showHardVersion(int address, int version, const char* unitTypeText) {
    appendLog(QStringLiteral("  > unit hard ver=") + QString::number(version));
    ListBox1->item(3)->setText(QStringLiteral("hard ver.    :") + QString::number(version));
    ListBox1->item(0)->setText(QStringLiteral("Unit ID      :") + QString::number(address));
    ListBox1->item(1)->setText(QString::fromLatin1(unitTypeText));
}

void TForm1::showBattery(float percentage) {
    CGauge1->setProgress(int(percentage));
    CGauge1->setForeColor(dashboard::batteryColor(percentage, batteryBlinkPhase));
}

void TForm1::showLineSensors(const RobotState& s) {
    TransparentPicture* const sensors[4] = {Image7, Image8, Image9, Image10};
    // A picture that changes repaints itself; one that stays needs no repaint.
    for (int k = 0; k < 4; ++k)
        sensors[k]->setPicture(s.lineSensor[k] ? Image11->picture() : Image12->picture());
}

void TForm1::showLeds(const RobotState& s) {
    ledReportAwaited_ = false; // the report the command cycle waits for
    CircleShape* const circles[4] = {Shape1, Shape2, Shape3, Shape4};
    QLabel* const texts[4] = {Label15, Label16, Label17, Label18};
    for (int k = 0; k < 4; ++k) {
        circles[k]->setFillColor(s.ledReported[k] ? kLedOn : kLedOff);
        texts[k]->setText(s.ledReported[k] ? QStringLiteral("ON") : QStringLiteral("OFF"));
    }
}

void TForm1::showEngineCurrentLeft(const RobotState& s) {
    CGauge13->setProgress(s.engineCurrentLeft);
    Label19->setText(text(dashboard::currentText(s.engineCurrentLeft)));
}

void TForm1::showEngineCurrentRight(const RobotState& s) {
    CGauge14->setProgress(s.engineCurrentRight);
    Label20->setText(text(dashboard::currentText(s.engineCurrentRight)));
}

void TForm1::showSonarLeft(const RobotState& s) {
    CGauge6->setProgress(s.sonarLeft);
    Label13->setText(text(dashboard::sonarText(s.sonarLeft)));
}

void TForm1::showSonarRight(const RobotState& s) {
    CGauge7->setProgress(s.sonarRight);
    Label14->setText(text(dashboard::sonarText(s.sonarRight)));
}

void TForm1::showAcceleration(const RobotState& s) {
    Label22->setText(text(dashboard::accelerationText(s.accelX, s.accelY, s.accelZ)));
    const QRect square = Image2->geometry();
    const dashboard::DotPosition dot =
        dashboard::accelerationDot(s.accelX, s.accelY, square.left(), square.top(), square.width(),
                                   square.height(), Image6->width(), Image6->height());
    // Moving the dot repaints the square where it was and where it goes.
    Image6->move(dot.left, dot.top);
    CGauge8->setProgress(s.accelX);
    CGauge9->setProgress(s.accelY);
    CGauge10->setProgress(s.accelZ);
}

void TForm1::chartSampleStep(const RobotState& s) {
    chartFrameCount += 1;
    if (chartFrameCount <= 5)
        return;
    chartFrameCount = 0;
    chartSampleIndex += 1;
    const double values[6] = {double(s.accelX),
                              double(s.accelY),
                              double(s.accelZ),
                              double(s.batteryVolts),
                              double(s.engineCurrentLeft),
                              double(s.engineCurrentRight)};
    for (int k = 0; k < 6; ++k)
        Chart1->addPoint(k, chartSampleIndex, values[k], kChartPointColors[k]);
    Chart1->noteSampleTime(QDateTime::currentMSecsSinceEpoch());
}
