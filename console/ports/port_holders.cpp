#include "console/ports/port_holders.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace ports {
namespace {

bool isPid(const char* name) {
    if (*name == '\0')
        return false;
    for (const char* c = name; *c != '\0'; ++c) {
        if (!std::isdigit(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

std::string processName(const std::string& dir) {
    std::ifstream comm(dir + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// Calls visit(pid, "/proc/<pid>") for each process folder.
template <typename Visit> void eachProcess(const std::string& proc, Visit visit) {
    DIR* root = ::opendir(proc.c_str());
    if (root == nullptr)
        return;
    while (const dirent* entry = ::readdir(root)) {
        if (isPid(entry->d_name) && !visit(std::atoi(entry->d_name), proc + "/" + entry->d_name))
            break;
    }
    ::closedir(root);
}

} // namespace

HolderScan findHolders(dev_t device, int self, const std::string& proc) {
    HolderScan scan;
    eachProcess(proc, [&](int pid, const std::string& dir) {
        if (pid == self)
            return true;
        const std::string fdDir = dir + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (fds == nullptr) {
            // A process that ended meanwhile holds nothing; one of another user may.
            if (errno == EACCES || errno == EPERM)
                scan.unreadable = true;
            return true;
        }
        bool holds = false;
        while (const dirent* fd = ::readdir(fds)) {
            if (!isPid(fd->d_name))
                continue;
            // stat follows the link to the file itself: the device is compared, not its name.
            struct stat st {};
            if (::stat((fdDir + "/" + fd->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == device) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (holds)
            scan.holders.push_back(Holder{pid, processName(dir)});
        return true;
    });
    std::sort(scan.holders.begin(), scan.holders.end(),
              [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
    return scan;
}

bool processRuns(const std::string& name, const std::string& proc) {
    bool found = false;
    eachProcess(proc, [&](int, const std::string& dir) {
        found = processName(dir) == name;
        return !found;
    });
    return found;
}

} // namespace ports
