#pragma once
// Waiting in tests that need the Qt event loop to run: link events reach the GUI thread as
// queued calls, so a test pumps events while it waits for their effect.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

// Pumps events until done() holds; false when timeout_ms passes first.
inline bool waitUntil(const std::function<bool()>& done, int timeout_ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout_ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Pumps events for ms milliseconds.
inline void pumpFor(int ms) {
    waitUntil([] { return false; }, ms);
}
