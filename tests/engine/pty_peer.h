#pragma once
// The robot's side of a pseudo-terminal: the test keeps the master, the engine opens the slave
// path. The master is raw and non-blocking; every read and write here is bounded by a timeout.

#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>
#include <vector>

class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0; }
    int master() const { return master_; }
    // Device path of the slave side, as the operator would type it (e.g. /dev/pts/12).
    const std::string& slave_path() const { return slave_path_; }

    // Writes every byte, waiting for room up to timeout_ms in all. False when not all went out.
    bool write_all(const uint8_t* bytes, size_t count, int timeout_ms = 2000);
    bool write_all(const std::vector<uint8_t>& bytes, int timeout_ms = 2000) {
        return write_all(bytes.data(), bytes.size(), timeout_ms);
    }
    // Reads until count bytes have arrived or timeout_ms has passed; returns what arrived.
    std::vector<uint8_t> read_exact(size_t count, int timeout_ms);
    // Collects whatever arrives during window_ms.
    std::vector<uint8_t> read_for(int window_ms);

    // Line settings of the slave as the kernel holds them (the master reports the slave's).
    bool get_line(termios& t) const;
    bool set_line(const termios& t);
    // Puts the slave line into cooked, echoing, flow-controlled 9600 7-E-2 settings, so that a
    // test can see the engine replace every one of them.
    bool cook_line();

    // The device vanishes: the engine's side sees a hang-up.
    void close_master();

private:
    int master_ = -1;
    std::string slave_path_;
};

// Monotonic milliseconds since an arbitrary start.
double now_ms();
// CPU time used by the whole process so far, in milliseconds.
double process_cpu_ms();
