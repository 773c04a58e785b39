#include "console/console_application.h"

#include <QMessageBox>
#include <exception>

bool ConsoleApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        stopThenShow(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        stopThenShow(QString());
    }
    return false; // the event is lost; the console goes on
}

void ConsoleApplication::stopThenShow(const QString& message) {
    if (beforeBox_) {
        try {
            beforeBox_();
        } catch (...) {
            // The box still comes up: the operator learns of the fault either way.
        }
    }
    showException(message);
}

void ConsoleApplication::showException(const QString& message) {
    QMessageBox::critical(nullptr, QStringLiteral("ZELK controll"), message);
}
