#include "console/ports/open_failure.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace ports {
namespace {

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isAcmDevice(const std::string& resolved) {
    return resolved.rfind("/dev/", 0) == 0 && baseName(resolved).rfind("ttyACM", 0) == 0;
}

// The port as the log names it: the device, and the name given too where that differs.
std::string portLabel(const OpenFailure& f) {
    if (f.portName.empty())
        return "\"\"";
    if (f.devicePath.empty() || f.devicePath == f.portName)
        return f.portName;
    return f.portName + " (" + f.devicePath + ")";
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

} // namespace

OpenCause openCause(int error, bool deviceKnown, bool characterDevice) {
    if (!deviceKnown)
        return OpenCause::NoDevice;
    switch (error) {
    case EACCES:
    case EPERM:
        return OpenCause::Permission;
    case EBUSY:
    case EWOULDBLOCK: // the lock of another console (EAGAIN is the same value here)
        return OpenCause::Busy;
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
        return OpenCause::NoDevice;
    case ENODEV:
        // A device node whose driver is gone, or no character device at all.
        return characterDevice ? OpenCause::NoDevice : OpenCause::NotSerial;
    case ENOTTY:
        return OpenCause::NotSerial;
    default:
        return OpenCause::Unknown;
    }
}

OpenFailure examineOpenFailure(const std::string& portName, const std::string& devicePath,
                               int error, const PortSource* ports) {
    OpenFailure f;
    f.portName = portName;
    f.devicePath = devicePath;
    f.error = error;
    struct stat st {};
    const bool present = !devicePath.empty() && ::stat(devicePath.c_str(), &st) == 0;
    f.characterDevice = present && S_ISCHR(st.st_mode);
    if (present) {
        char resolved[PATH_MAX];
        if (::realpath(devicePath.c_str(), resolved) != nullptr)
            f.resolvedPath = resolved;
    }
    switch (openCause(error, !devicePath.empty(), f.characterDevice)) {
    case OpenCause::Busy:
        if (f.characterDevice)
            f.holders = findHolders(st.st_rdev, int(::getpid()));
        f.modemManagerRuns = isAcmDevice(f.resolvedPath) && processRuns("ModemManager");
        break;
    case OpenCause::NoDevice:
    case OpenCause::NotSerial:
        f.portsListed = ports != nullptr;
        if (ports != nullptr)
            f.presentPorts = presentPortNames(foundEntries(ports->ports(), ports->stableLinks()));
        break;
    default:
        break;
    }
    return f;
}

std::vector<std::string> presentPortNames(const std::vector<PortEntry>& found) {
    std::vector<std::string> names;
    for (const PortEntry& entry : found) {
        if (entry.device.empty() || entry.text == entry.device)
            names.push_back(entry.text);
        else
            names.push_back(entry.text + " (" + baseName(entry.device) + ")");
    }
    return names;
}

std::vector<std::string> openFailureLines(const OpenFailure& f) {
    const std::string port = "> port " + portLabel(f) + ": ";
    std::vector<std::string> lines;
    const auto present = [&lines, &f] {
        if (f.portsListed)
            lines.push_back(f.presentPorts.empty()
                                ? "> no serial port present"
                                : "> serial ports present: " + joined(f.presentPorts));
    };
    switch (openCause(f.error, !f.devicePath.empty(), f.characterDevice)) {
    case OpenCause::Permission:
        lines.push_back(port + "permission denied (is the user in the dialout group?)");
        break;
    case OpenCause::Busy: {
        std::vector<std::string> names;
        for (const Holder& h : f.holders.holders)
            names.push_back(h.name + " (pid " + std::to_string(h.pid) + ")");
        if (!names.empty())
            lines.push_back(port + "in use by " + joined(names));
        else
            lines.push_back(port + "in use by another program (sudo fuser -v " + f.devicePath +
                            " shows which)");
        // The line above names the port; this one the device ModemManager looks at.
        if (f.modemManagerRuns && isAcmDevice(f.resolvedPath))
            lines.push_back("> ModemManager may be probing " + f.resolvedPath +
                            " (the udev property ID_MM_DEVICE_IGNORE keeps it away, see README)");
        break;
    }
    case OpenCause::NoDevice:
        lines.push_back(port + "no such device");
        present();
        break;
    case OpenCause::NotSerial:
        lines.push_back(port + "not a serial port");
        present();
        break;
    case OpenCause::Unknown:
        break;
    }
    return lines;
}

} // namespace ports
