#include "console/ports/port_list.h"

#include "link/serial_event.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>

namespace ports {
namespace {

std::string kernelName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The COM name that stands for the same device, by the engine's own name resolution, or "".
std::string comNameFor(const std::string& path) {
    for (int n = 1; n <= comItemCount; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (Tserial_event::device_path(name) == path)
            return name;
    }
    return std::string();
}

std::string usbId(int vendor, int product) {
    char text[16];
    std::snprintf(text, sizeof text, "%04x:%04x", unsigned(vendor) & 0xFFFFu,
                  unsigned(product) & 0xFFFFu);
    return text;
}

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

PortEntry entryFor(const FoundPort& port, const std::string& stablePath) {
    const std::string kernel = kernelName(port.systemPath);
    const std::string com = comNameFor(port.systemPath);
    PortEntry entry;
    entry.text = stablePath.empty() ? port.systemPath : stablePath;
    entry.device = port.systemPath;

    entry.detail = kernel;
    if (!com.empty())
        entry.detail += " (" + com + ")";
    const auto add = [&entry](const std::string& part) {
        if (!part.empty())
            entry.detail += " \u00b7 " + part;
    };
    add(port.description);
    if (port.manufacturer != port.description)
        add(port.manufacturer);
    if (!port.serialNumber.empty())
        add("SN " + port.serialNumber);

    std::string& tip = entry.toolTip;
    tip = "Device: " + port.systemPath;
    if (!stablePath.empty())
        tip += "\nStable name: " + stablePath;
    if (!com.empty())
        tip += "\nSame device as " + com;
    if (!port.description.empty())
        tip += "\nDescription: " + port.description;
    if (!port.manufacturer.empty())
        tip += "\nManufacturer: " + port.manufacturer;
    if (!port.serialNumber.empty())
        tip += "\nSerial number: " + port.serialNumber;
    if (port.vendorId >= 0 && port.productId >= 0)
        tip += "\nUSB id: " + usbId(port.vendorId, port.productId);
    return entry;
}

} // namespace

bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the two runs of digits by value: without leading zeros, the longer run is
            // the larger; of equal length, the first differing digit decides.
            size_t ei = i;
            size_t ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            size_t si = i;
            size_t sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int order = a.compare(si, ei - si, b, sj, ej - sj);
            if (order != 0)
                return order < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal by value ("ttyS01", "ttyS1"): any fixed order
}

std::vector<PortEntry> comEntries() {
    std::vector<PortEntry> entries;
    for (int n = 1; n <= comItemCount; ++n)
        entries.push_back(
            PortEntry{"COM" + std::to_string(n), std::string(), std::string(), std::string()});
    return entries;
}

std::vector<PortEntry> foundEntries(const std::vector<FoundPort>& found,
                                    const std::vector<StableLink>& links) {
    std::vector<const FoundPort*> order;
    std::set<std::string> seen;
    for (const FoundPort& port : found) {
        if (!port.systemPath.empty() && seen.insert(port.systemPath).second)
            order.push_back(&port);
    }
    std::sort(order.begin(), order.end(), [](const FoundPort* a, const FoundPort* b) {
        const std::string ka = kernelName(a->systemPath);
        const std::string kb = kernelName(b->systemPath);
        if (ka != kb)
            return naturalLess(ka, kb);
        return naturalLess(a->systemPath, b->systemPath);
    });

    std::vector<PortEntry> entries;
    entries.reserve(order.size());
    for (const FoundPort* port : order) {
        // The stable name of this very device; of several, the first in natural order.
        std::string stable;
        for (const StableLink& link : links) {
            if (link.targetPath == port->systemPath && !link.linkPath.empty() &&
                (stable.empty() || naturalLess(link.linkPath, stable)))
                stable = link.linkPath;
        }
        entries.push_back(entryFor(*port, stable));
    }
    return entries;
}

std::vector<PortEntry> portBoxEntries(const PortSource& source) {
    std::vector<PortEntry> entries = comEntries();
    const std::vector<PortEntry> found = foundEntries(source.ports(), source.stableLinks());
    entries.insert(entries.end(), found.begin(), found.end());
    return entries;
}

int entryIndexForText(const std::vector<PortEntry>& entries, const std::string& text) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].text == text)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace ports
