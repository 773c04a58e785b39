// The link's health in front of the operator: the readout under the log (telemetry rate,
// refused chunks, age of the last frame), one log line when the robot stops answering and one
// when it answers again, and the identity list's values from the accepted telemetry.

#include "console/dashboard_math.h"
#include "console/form1.h"
#include "console/widgets/colors.h"

#include <QLabel>
#include <QListWidget>

#include <cstdio>

namespace {

constexpr int kReadoutColour = clTeal;
constexpr int kLostColour = clYellow;

void setColour(QLabel* label, int code) {
    QPalette pal = label->palette();
    if (pal.color(QPalette::WindowText) == colorFromCode(code))
        return;
    pal.setColor(QPalette::WindowText, colorFromCode(code));
    label->setPalette(pal);
}

} // namespace

void TForm1::linkOpened() {
    linkHealth_.portOpened(nowMs());
    showLinkReadout();
}

void TForm1::linkClosed() {
    sayLinkSummary();
    linkHealth_.portClosed();
    if (identityDirty_)
        showIdentityValues();
    showLinkReadout();
}

void TForm1::sayLinkSummary() {
    if (!linkHealth_.open())
        return;
    const std::string line = dashboard::linkSummaryText(
        connection.portName.toStdString(), linkHealth_.telemetryAccepted(),
        linkHealth_.repliesAccepted(), linkHealth_.refused(), nowMs() - linkHealth_.openedAt());
    std::fprintf(stderr, "%s\n", line.c_str());
}

void TForm1::linkReply(ReplyKind kind, int address) {
    const int64_t now = nowMs();
    if (kind == ReplyKind::Telemetry)
        identityDirty_ = true;
    if (const auto change = linkHealth_.chunk(kind, address == unitAddress(), now, address)) {
        appendLog(QStringLiteral("> telemetry back after %1")
                      .arg(QString::fromStdString(dashboard::secondsText(change->missingMs))));
        showLinkReadout();
    }
}

void TForm1::linkHealthTick(bool cycleExpectsReply) {
    const int64_t now = nowMs();
    linkHealth_.cycleSent(cycleExpectsReply, now);
    if (linkHealth_.check(now)) {
        appendLog(QStringLiteral("> telemetry lost, id=%1").arg(unitAddress()));
        showLinkReadout();
    }
    if (now - readoutShownAt_ >= healthShowMs)
        showLinkReadout();
    if (identityDirty_ && now - identityShownAt_ >= identityShowMs)
        showIdentityValues();
}

void TForm1::showLinkReadout() {
    const int64_t now = nowMs();
    readoutShownAt_ = now;
    const QString text = QString::fromStdString(dashboard::linkReadoutText(
        linkHealth_.open(), linkHealth_.telemetryRate(now), linkHealth_.refused(),
        linkHealth_.telemetryAgeMs(now), linkHealth_.otherUnitTelemetry(now)));
    if (LinkReadout->text() != text)
        LinkReadout->setText(text);
    setColour(LinkReadout, linkHealth_.lost() ? kLostColour : kReadoutColour);
}

void TForm1::showIdentityValues() {
    identityShownAt_ = nowMs();
    identityDirty_ = false;
    for (const auto& [row, value] : dashboard::identityValues(state)) {
        QListWidgetItem* item = ListBox1->item(row);
        const QString text = identityCaption(row) + QString::fromStdString(value);
        if (item && item->text() != text)
            item->setText(text);
    }
}
