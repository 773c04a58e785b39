#include "pty_peer.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

PtyPeer::PtyPeer() {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    char name[128] = {};
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
        ::close(fd);
        return;
    }
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    master_ = fd;
    slave_path_ = name;
}

PtyPeer::~PtyPeer() {
    close_master();
}

void PtyPeer::close_master() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

bool PtyPeer::write_all(const uint8_t* bytes, size_t count, int timeout_ms) {
    if (master_ < 0)
        return false;
    const double deadline = now_ms() + timeout_ms;
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(master_, bytes + done, count - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const double left = deadline - now_ms();
        if (left <= 0)
            return false;
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, int(left) + 1);
    }
    return true;
}

std::vector<uint8_t> PtyPeer::read_exact(size_t count, int timeout_ms) {
    std::vector<uint8_t> got;
    if (master_ < 0)
        return got;
    const double deadline = now_ms() + timeout_ms;
    uint8_t buf[4096];
    while (got.size() < count) {
        const size_t want = count - got.size() < sizeof buf ? count - got.size() : sizeof buf;
        const ssize_t n = ::read(master_, buf, want);
        if (n > 0) {
            got.insert(got.end(), buf, buf + n);
            continue;
        }
        // EIO: the slave is not open (yet, or any more); keep waiting until the deadline.
        const double left = deadline - now_ms();
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        const int r = ::poll(&p, 1, left < 10 ? int(left) + 1 : 10);
        if (r == 1 && (p.revents & POLLIN) == 0) {
            // Hang-up without data (no slave open): poll does not block, so pause briefly.
            timespec pause{0, 2000000};
            ::nanosleep(&pause, nullptr);
        }
    }
    return got;
}

std::vector<uint8_t> PtyPeer::read_for(int window_ms) {
    return read_exact(static_cast<size_t>(-1) / 2, window_ms);
}

bool PtyPeer::get_line(termios& t) const {
    return master_ >= 0 && ::tcgetattr(master_, &t) == 0;
}

bool PtyPeer::set_line(const termios& t) {
    return master_ >= 0 && ::tcsetattr(master_, TCSANOW, &t) == 0;
}

bool PtyPeer::cook_line() {
    termios t{};
    if (!get_line(t))
        return false;
    t.c_iflag |= ICRNL | IXON | IXOFF | INPCK | ISTRIP | BRKINT;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cflag &= ~(CSIZE | CLOCAL);
    t.c_cflag |= CS7 | PARENB | CSTOPB | CRTSCTS;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    return set_line(t);
}

double now_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double process_cpu_ms() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
