#pragma once
// An event object readable by poll: raised or not, with automatic or manual reset, over an eventfd.
// Raising an already raised event has no further effect; an automatic event is cleared by the wait
// that reports it, a manual one only by reset().

class EventObject {
public:
    enum class Reset { Automatic, Manual };

    explicit EventObject(Reset mode = Reset::Automatic);
    ~EventObject();
    EventObject(const EventObject&) = delete;
    EventObject& operator=(const EventObject&) = delete;

    void set_mode(Reset mode) { mode_ = mode; }
    Reset mode() const { return mode_; }
    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void set();
    void reset();
    bool is_set() const;
    // Called by a wait that reports this event: clears it when it resets automatically.
    void consume_report();
    // Waits up to timeout_ms for the event; true when it is raised. Does not clear it.
    bool wait_for(int timeout_ms) const;

private:
    int fd_ = -1;
    Reset mode_;
};
