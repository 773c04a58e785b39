#include "link/event_object.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

EventObject::EventObject(Reset mode) : mode_(mode) {
    fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

EventObject::~EventObject() {
    if (fd_ >= 0)
        ::close(fd_);
}

void EventObject::set() {
    if (fd_ < 0)
        return;
    eventfd_write(fd_, 1);
}

void EventObject::reset() {
    if (fd_ < 0)
        return;
    eventfd_t value;
    eventfd_read(fd_, &value); // EAGAIN when not raised: nothing to clear
}

bool EventObject::is_set() const {
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

void EventObject::consume_report() {
    if (mode_ == Reset::Automatic)
        reset();
}

bool EventObject::wait_for(int timeout_ms) const {
    if (fd_ < 0)
        return false;
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const int64_t deadline =
        int64_t(start.tv_sec) * 1000000000 + start.tv_nsec + int64_t(timeout_ms) * 1000000;
    for (;;) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t left = deadline - (int64_t(now.tv_sec) * 1000000000 + now.tv_nsec);
        if (left <= 0)
            return is_set();
        pollfd p{fd_, POLLIN, 0};
        timespec ts{time_t(left / 1000000000), long(left % 1000000000)};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r == 1)
            return true;
        if (r < 0 && errno != EINTR)
            return false;
    }
}
