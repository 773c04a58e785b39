#pragma once
// The robot's side of a pseudo-terminal: the tests hold the master, the console opens the slave.

#include <algorithm>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

class PtyPeer {
public:
    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        termios tio{};
        tcgetattr(master_, &tio);
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
        char name[128];
        if (ptsname_r(master_, name, sizeof name) == 0)
            path_ = name;
    }
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && !path_.empty(); }
    const std::string& path() const { return path_; }
    int fd() const { return master_; }

    void write(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += size_t(n);
        }
    }

    // Reads what arrives within timeout_ms of the last byte (at most max bytes); 0 takes what is
    // there already. The first byte may take longer: the console's worker writes a frame handed
    // to it within a millisecond or two, but a loaded machine (the sanitizers, the other tests)
    // can hold it back for more than a quiet gap of the robot's.
    static constexpr int kFirstByteMs = 500;
    std::vector<uint8_t> read(int timeout_ms, size_t max = 4096) const {
        std::vector<uint8_t> out;
        uint8_t buf[256];
        while (out.size() < max) {
            pollfd p{master_, POLLIN, 0};
            const int wait =
                out.empty() && timeout_ms > 0 ? std::max(timeout_ms, kFirstByteMs) : timeout_ms;
            if (::poll(&p, 1, wait) != 1 || !(p.revents & POLLIN))
                break;
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.insert(out.end(), buf, buf + n);
        }
        return out;
    }

    // The device vanishes: the console's side sees a hang-up.
    void hangUp() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string path_;
};
