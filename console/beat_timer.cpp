#include "console/beat_timer.h"

#include <QTimerEvent>

#include <algorithm>

void BeatTimer::setInterval(int ms) {
    intervalMs_ = std::max(ms, 1);
    if (started_) // a new interval begins a new beat, as QTimer's does
        start();
}

void BeatTimer::start() {
    started_ = true;
    origin_ = Clock::now();
    aligning_ = false;
    if (!resting_)
        timer_.start(intervalMs_, Qt::CoarseTimer, this);
}

void BeatTimer::stop() {
    started_ = false;
    timer_.stop();
}

void BeatTimer::rest() {
    resting_ = true;
    timer_.stop();
}

void BeatTimer::wake() {
    if (!resting_)
        return;
    resting_ = false;
    if (!started_)
        return;
    // One shot to the beat's next tick, then the periodic timer from there.
    const Clock::time_point now = Clock::now();
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextBeat(now) - now);
    aligning_ = true;
    timer_.start(int(std::max<std::chrono::milliseconds::rep>(wait.count(), 0)), Qt::PreciseTimer,
                 this);
}

BeatTimer::Clock::time_point BeatTimer::nextBeat(Clock::time_point now) const {
    const Clock::duration period = std::chrono::milliseconds(std::max(intervalMs_, 1));
    if (now < origin_)
        return origin_;
    return origin_ + ((now - origin_) / period + 1) * period;
}

void BeatTimer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != timer_.timerId()) {
        QObject::timerEvent(event);
        return;
    }
    if (aligning_) {
        // On the beat now: a periodic timer from here keeps it, as it would have run all along.
        // Started before the tick's work, so that a handler that rests or stops the timer has
        // the last word.
        aligning_ = false;
        timer_.start(intervalMs_, Qt::CoarseTimer, this);
    }
    emit timeout();
}
