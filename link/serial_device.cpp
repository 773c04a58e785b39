#include "link/serial_device.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace serial_device {
namespace {

bool speed_constant(int32_t rate, speed_t& out) {
    struct Pair {
        int32_t rate;
        speed_t code;
    };
    static constexpr Pair table[] = {
        {1200, B1200},     {2400, B2400},       {4800, B4800},     {9600, B9600},
        {19200, B19200},   {38400, B38400},     {57600, B57600},   {115200, B115200},
        {230400, B230400}, {460800, B460800},   {500000, B500000}, {576000, B576000},
        {921600, B921600}, {1000000, B1000000},
    };
    for (const Pair& p : table) {
        if (p.rate == rate) {
            out = p.code;
            return true;
        }
    }
    return false;
}

tcflag_t size_flag(int data_bits) {
    switch (data_bits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

bool unsupported(int err) {
    return err == ENOTTY || err == EINVAL || err == EOPNOTSUPP;
}

// Asks a USB serial adapter not to hold received bytes for its latency timer. Drivers that
// do not know the request simply refuse it; that leaves nothing to do.
void request_low_latency(int fd) {
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) != 0)
        return;
    if (info.flags & ASYNC_LOW_LATENCY)
        return;
    info.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &info);
}

} // namespace

int open_exclusive(const std::string& path, int* error) {
    // The cause is taken right where a step fails, before close() may change errno.
    const auto fail = [error](int cause, int fd) {
        if (error != nullptr)
            *error = cause;
        if (fd >= 0)
            ::close(fd);
        return -1;
    };
    if (path.empty())
        return fail(ENOENT, -1);
    // Only character devices: opening anything else (a file, a directory, a fifo) as a port is
    // refused before it is touched.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail(errno, -1);
    if (!S_ISCHR(st.st_mode))
        return fail(ENODEV, -1);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno, -1);
    // A second open of the same line, by this or another program, is refused: flock holds for
    // root as well, TIOCEXCL keeps ordinary users from opening the device at all.
    if (!isatty(fd))
        return fail(ENOTTY, fd);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno, fd);
    if (ioctl(fd, TIOCEXCL) != 0)
        return fail(errno, fd);
    if (error != nullptr)
        *error = 0;
    return fd;
}

bool apply_line_events(int fd, bool watch_modem) {
    if (!watch_modem)
        return true;
    int lines = 0;
    return ioctl(fd, TIOCMGET, &lines) == 0;
}

bool apply_timeouts(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool apply_line_settings(int fd, int32_t rate, int32_t parity, int data_bits) {
    speed_t speed;
    if (!speed_constant(rate, speed))
        return false;
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR | ISTRIP | IGNBRK | BRKINT);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CLOCAL | CREAD | size_flag(data_bits);
    if (parity == 1)
        tio.c_cflag |= PARENB | PARODD;
    else if (parity == 2)
        tio.c_cflag |= PARENB;
    if (parity == 1 || parity == 2)
        tio.c_iflag |= INPCK;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0)
        return false;
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return false;

    termios back{};
    if (tcgetattr(fd, &back) != 0)
        return false;
    const tcflag_t cmask = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    if ((back.c_cflag & cmask) != (tio.c_cflag & cmask) || cfgetispeed(&back) != speed ||
        cfgetospeed(&back) != speed || (back.c_iflag & (IXON | IXOFF)) != 0 ||
        (back.c_lflag & (ICANON | ECHO | ISIG)) != 0)
        return false;

    // Pseudo-terminals have no modem lines: there is nothing to raise, which is no refusal.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &lines) != 0 && !unsupported(errno))
        return false;
    request_low_latency(fd);
    tcflush(fd, TCIFLUSH);
    return true;
}

void close_device(int fd) {
    if (fd < 0)
        return;
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

} // namespace serial_device
