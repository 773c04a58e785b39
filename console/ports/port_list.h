#pragma once
// The items of the panel's port box (ComboBox1): the twelve names "COM1" to "COM12" first, as
// the panel has always offered them, then every serial port present on the machine. Plain functions
// over values; the panel only moves their results into the combo box, and tests check them with
// a fake PortSource.

#include <string>
#include <vector>

namespace ports {

// One serial port as the system lists it.
struct FoundPort {
    std::string systemPath;   // the kernel's device, "/dev/ttyUSB0"
    std::string description;  // "FT232R USB UART"; may be empty
    std::string manufacturer; // "FTDI"; may be empty
    std::string serialNumber; // "A50285BI"; may be empty
    int vendorId = -1;        // USB ids, -1 when the port has none
    int productId = -1;
};

// A stable name of a device: a link under /dev/serial/by-id/ and the device it leads to.
struct StableLink {
    std::string linkPath;   // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
    std::string targetPath; // the link resolved, "/dev/ttyUSB0"
};

// Where the ports and their stable names come from: the machine (serial_port_source.h) or a
// test's fake. Each call looks anew.
class PortSource {
public:
    virtual ~PortSource() = default;
    virtual std::vector<FoundPort> ports() const = 0;
    virtual std::vector<StableLink> stableLinks() const = 0;
};

// One item of the port box.
struct PortEntry {
    // The item's text: the port name that choosing the item puts into portName. For a port
    // found on the machine, its stable by-id path where it has one, else its kernel device path.
    std::string text;
    // Shown under the text in the drop-down, empty for the COM items: the kernel name first
    // (so two adapters of the same kind always differ), then description, manufacturer and
    // serial number, those the port has.
    std::string detail;
    // Everything known about the port, one fact a line; empty for the COM items.
    std::string toolTip;
    // The kernel's device of a port found on the machine, "/dev/ttyUSB0"; empty for the COM items.
    std::string device;
};

constexpr int comItemCount = 12;
constexpr int comStartIndex = 6; // "COM7"

// "COM1" to "COM12", in that order.
std::vector<PortEntry> comEntries();

// The ports found, one entry each (a port listed twice counts once), ordered by their kernel
// names in natural order (ttyACM0, ttyUSB0, ttyUSB2, ttyUSB10), so the order does not depend on
// the order the system lists them in and stays put from one look to the next.
std::vector<PortEntry> foundEntries(const std::vector<FoundPort>& found,
                                    const std::vector<StableLink>& links);

// The whole box: comEntries() followed by the found entries of source.
std::vector<PortEntry> portBoxEntries(const PortSource& source);

// The item that shows text, as the box should choose it after a refresh: the index of the first
// entry whose text is exactly text, or -1 when none is (a typed name that no item has).
int entryIndexForText(const std::vector<PortEntry>& entries, const std::string& text);

// Natural order of names: runs of digits compare by their value ("ttyUSB2" < "ttyUSB10").
bool naturalLess(const std::string& a, const std::string& b);

} // namespace ports
