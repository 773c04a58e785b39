#pragma once
// Who holds a serial device: the processes with a descriptor open on it, found through
// /proc/<pid>/fd, and whether a process of a given name runs, through /proc/<pid>/comm. Plain
// POSIX; the folder standing for /proc can be another one, so that tests lay out their own.

#include <string>
#include <sys/types.h>
#include <vector>

namespace ports {

struct Holder {
    int pid = 0;
    std::string name; // the process's name as /proc/<pid>/comm gives it
};

struct HolderScan {
    std::vector<Holder> holders; // by pid, each process once
    // Some process's descriptors could not be read (those of another user, for an ordinary
    // user): a holder may be among them.
    bool unreadable = false;
};

// The processes other than self with a descriptor open on the character device device (its
// st_rdev), whatever name they opened it by.
HolderScan findHolders(dev_t device, int self, const std::string& proc = "/proc");

// Whether a process whose name is exactly name runs.
bool processRuns(const std::string& name, const std::string& proc = "/proc");

} // namespace ports
