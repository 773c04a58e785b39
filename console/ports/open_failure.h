#pragma once
// Why a port did not open, in the log's words: from the errno the engine kept for the step of
// its device open that failed, and from what the machine shows right after (who holds the
// device, whether ModemManager runs, which serial ports are present). Plain C++: the facts are
// gathered in examineOpenFailure and turned into lines by openFailureLines, which tests feed
// with facts of their own.

#include "console/ports/port_holders.h"
#include "console/ports/port_list.h"

#include <string>
#include <vector>

namespace ports {

enum class OpenCause {
    Unknown,    // nothing more to say (the device opened and refused its settings, ...)
    Permission, // the user may not open the device
    Busy,       // another program holds it (TIOCEXCL or the engine's lock refused the open)
    NoDevice,   // no such device (gone, never there, a name that stands for no path)
    NotSerial,  // something is there, but no terminal device
};

// error: the engine's errno of the failed step, 0 when it kept none; deviceKnown: the name
// stands for a device path; characterDevice: that path is a character device.
OpenCause openCause(int error, bool deviceKnown, bool characterDevice);

struct OpenFailure {
    std::string portName;   // as the operator gave it
    std::string devicePath; // the engine's device for it; empty when the name stands for none
    int error = 0;
    bool characterDevice = false;
    std::string resolvedPath; // devicePath with every link followed; empty when it leads nowhere
    HolderScan holders;       // looked for only when busy
    bool modemManagerRuns = false; // looked for only when busy
    bool portsListed = false; // the present ports were looked for (only when there is no device)
    std::vector<std::string> presentPorts;
};

// Looks at the machine for what the cause needs; ports lists the present ports (none: no list).
OpenFailure examineOpenFailure(const std::string& portName, const std::string& devicePath,
                               int error, const PortSource* ports);

// The present ports as the log names them: the port box's text of each port found, with its
// kernel name after a stable name.
std::vector<std::string> presentPortNames(const std::vector<PortEntry>& found);

// The log lines for the failure; none when there is nothing more to say than the message box.
std::vector<std::string> openFailureLines(const OpenFailure& failure);

} // namespace ports
