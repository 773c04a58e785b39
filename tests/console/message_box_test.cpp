// The message-box service: the recording one of the tests and the operator's one.

#include "console/widgets/keyboard_place.h"
#include "console/widgets/message_box.h"
#include "tests/support/qt_wait.h"
#include "widget_test_support.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <gtest/gtest.h>

using Buttons = MessageBoxService::Buttons;
using Icon = MessageBoxService::Icon;

TEST(RecordingMessageBoxService, RecordsEveryBoxAndAnswersFromItsQueue) {
    RecordingMessageBoxService boxes;
    MessageBoxService& service = boxes;
    const QString ask = QString::fromUtf8("Czy nadać nowe ID?");
    std::size_t recordedWhileShown = 0;
    boxes.setOnShow([&](const auto&) { recordedWhileShown = boxes.calls().size(); });
    boxes.queueAnswer(MessageBoxService::Yes);

    EXPECT_EQ(service.show(ask, ask, Buttons::YesNo, Icon::Information), MessageBoxService::Yes);
    EXPECT_EQ(recordedWhileShown, 1u);
    EXPECT_EQ(service.show(ask, ask, Buttons::YesNo, Icon::Information), MessageBoxService::No)
        << "an empty queue answers a question with No";
    EXPECT_EQ(service.show("Nie mozna otworzyc portu COM7", "", Buttons::Ok, Icon::Information),
              MessageBoxService::Ok);
    boxes.setDefaultAnswer(MessageBoxService::Yes);
    EXPECT_EQ(service.show(ask, ask, Buttons::YesNo, Icon::Information), MessageBoxService::Yes);

    const auto& calls = boxes.calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].text, ask);
    EXPECT_EQ(calls[0].caption, ask);
    EXPECT_EQ(calls[0].buttons, Buttons::YesNo);
    EXPECT_EQ(calls[0].answer, MessageBoxService::Yes);
    EXPECT_EQ(calls[1].answer, MessageBoxService::No);
    EXPECT_EQ(calls[2].text, "Nie mozna otworzyc portu COM7");
    EXPECT_EQ(calls[2].buttons, Buttons::Ok);
    EXPECT_EQ(calls[2].icon, Icon::Information);
}

TEST(QtMessageBoxService, ShowsAModalInformationBoxAndMapsTheAnswer) {
    // Shows a box and, once it is up, checks it and presses `press`.
    auto showAndPress = [](const QString& text, const QString& caption, Buttons buttons,
                           QMessageBox::StandardButton press) {
        bool checked = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            checked = true;
            EXPECT_EQ(box->windowTitle(), caption);
            EXPECT_EQ(box->text(), text);
            EXPECT_EQ(box->icon(), QMessageBox::Information);
            EXPECT_EQ(box->standardButtons(), buttons == Buttons::YesNo
                                                  ? QMessageBox::Yes | QMessageBox::No
                                                  : QMessageBox::StandardButtons(QMessageBox::Ok));
            box->button(press)->click();
        });
        QTimer::singleShot(5000, [] { // should the box not be found, end it
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->done(0);
            }
        });
        const int answer = QtMessageBoxService().show(text, caption, buttons, Icon::Information);
        EXPECT_TRUE(checked);
        return answer;
    };
    const QString ask = QString::fromUtf8("Czy nadać nowe ID?");
    EXPECT_EQ(showAndPress(ask, ask, Buttons::YesNo, QMessageBox::Yes), MessageBoxService::Yes);
    EXPECT_EQ(showAndPress(ask, ask, Buttons::YesNo, QMessageBox::No), MessageBoxService::No);
    EXPECT_EQ(showAndPress("Otwarto port COM7\n Predkosc: 57 kb/s", "ZELK controll", Buttons::Ok,
                           QMessageBox::Ok),
              MessageBoxService::Ok);
}

TEST(QtMessageBoxService, TheKeyboardGoesBackWhereItWasOrOnceWhereTheNextBoxWasToldToGiveIt) {
    QWidget dashboard, panel;
    auto* portBox = new QLineEdit(&panel);
    new QLineEdit(&panel); // the panel's first control
    dashboard.show();
    panel.show();
    const auto activate = [](QWidget& w) {
        w.activateWindow();
        return waitUntil([&] { return QApplication::activeWindow() == &w; });
    };
    const auto boxAnsweredAtOnce = [] {
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QtMessageBoxService().show("Zamknieto port COM7", "OK", Buttons::Ok, Icon::Information);
    };
    ASSERT_TRUE(activate(panel));
    portBox->setFocus();
    boxAnsweredAtOnce();
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == portBox; }))
        << "the keyboard is not back in the port box";

    KeyboardPlace::afterNextBox(&dashboard);
    boxAnsweredAtOnce();
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &dashboard; }));
    // Only once: the box after it gives the keyboard back where it was.
    ASSERT_TRUE(activate(panel));
    boxAnsweredAtOnce();
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &panel; }));
}
