#pragma once
// A timer whose ticks lie on a fixed beat (start + k * interval) and that may rest: while it
// rests it does not wake the process at all, and once woken it ticks again on the same beat, as
// if it had ticked all along and done nothing meanwhile. The command cycle rests while no port
// is open and the controller poll rests for a run without a controller: the ticks that send
// still come at their moments, and a console left idle all day stays asleep.
//
// isActive() tells whether the timer was started and not stopped, resting or not; a stopped
// timer stays stopped when woken.

#include <QBasicTimer>
#include <QObject>

#include <chrono>

class BeatTimer : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;

    explicit BeatTimer(QObject* parent = nullptr) : QObject(parent) {}

    void setInterval(int ms);
    int interval() const { return intervalMs_; }

    // The beat begins now: the first tick comes one interval from here.
    void start();
    void stop();
    bool isActive() const { return started_; }

    void rest();
    void wake();
    bool isResting() const { return resting_; }

    // The moment of the beat's next tick after now (for a started timer; a resting timer would
    // tick then if it were woken).
    Clock::time_point nextBeat(Clock::time_point now) const;

signals:
    void timeout();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    int intervalMs_ = 0;
    bool started_ = false;
    bool resting_ = false;
    Clock::time_point origin_{};
    bool aligning_ = false; // the armed shot goes to the next beat after a rest
    QBasicTimer timer_;
};
