#pragma once
// The machine's serial ports, for the port box: Qt Serial Port's QSerialPortInfo lists them (it
// is used for nothing else; the engine under link/ opens and drives the port), and the links
// under /dev/serial/by-id/ give their stable names.

#include "console/ports/port_list.h"

#include <string>

class SerialPortSource : public ports::PortSource {
public:
    static constexpr const char* ByIdDirectory = "/dev/serial/by-id";

    // byIdDirectory: where the stable links are looked for (a test passes its own folder).
    explicit SerialPortSource(std::string byIdDirectory = ByIdDirectory);

    std::vector<ports::FoundPort> ports() const override;
    // Every symbolic link in the folder, each with the device it finally leads to; links that
    // lead nowhere are left out. No folder (no USB serial adapter plugged in): none.
    std::vector<ports::StableLink> stableLinks() const override;

private:
    std::string byIdDirectory_;
};
