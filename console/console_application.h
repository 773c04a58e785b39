#pragma once
// The console's application object. An exception that escapes an event handler first stops the
// robot (the hook the main window gives), then is shown in the standard error box; the console
// then goes on with its next event, as it would after any other box.

#include <QApplication>
#include <functional>

class ConsoleApplication : public QApplication {
public:
    using QApplication::QApplication;

    // Run before the box comes up; an exception it throws itself is swallowed.
    void setBeforeExceptionBox(std::function<void()> hook) { beforeBox_ = std::move(hook); }
    bool notify(QObject* receiver, QEvent* event) override;

    // The standard error box with the exception's message (empty when it carried none).
    static void showException(const QString& message);

private:
    void stopThenShow(const QString& message);

    std::function<void()> beforeBox_;
};
