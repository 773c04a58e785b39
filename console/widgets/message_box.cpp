#include "console/widgets/message_box.h"

#include "console/widgets/box_in_reach.h"
#include "console/widgets/keyboard_place.h"

#include <QMessageBox>

int QtMessageBoxService::present(const QString& text, const QString& caption, Buttons buttons,
                                 Icon icon) {
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    switch (icon) {
    case Icon::Information:
        boxIcon = QMessageBox::Information;
        break;
    }
    const bool yesNo = buttons == Buttons::YesNo;
    QMessageBox box(boxIcon, caption, text,
                    yesNo ? QMessageBox::Yes | QMessageBox::No
                          : QMessageBox::StandardButtons(QMessageBox::Ok),
                    parent_);
    box.setWindowModality(Qt::ApplicationModal); // the panel, too, waits for the answer
    if (yesNo) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    const KeyboardPlace before = KeyboardPlace::current();
    const BoxInReach inReach(box);
    const int result = box.exec();
    before.giveBack();
    if (!yesNo) {
        return Ok;
    }
    return result == QMessageBox::Yes ? Yes : No;
}

int RecordingMessageBoxService::present(const QString& text, const QString& caption,
                                        Buttons buttons, Icon icon) {
    int answer = buttons == Buttons::YesNo ? No : Ok;
    if (!queued_.empty()) {
        answer = queued_.front();
        queued_.pop_front();
    } else if (defaultAnswer_) {
        answer = *defaultAnswer_;
    }
    calls_.push_back(Call{text, caption, buttons, icon, answer});
    if (onShow_) {
        onShow_(calls_.back());
    }
    return answer;
}
