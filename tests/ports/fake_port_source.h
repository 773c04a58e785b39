#pragma once
// A port source whose ports and stable links a test sets; it counts how often it was asked.

#include "console/ports/port_list.h"

#include <utility>
#include <vector>

class FakePortSource : public ports::PortSource {
public:
    std::vector<ports::FoundPort> found;
    std::vector<ports::StableLink> links;
    mutable int portCalls = 0;
    mutable int linkCalls = 0;

    std::vector<ports::FoundPort> ports() const override {
        ++portCalls;
        return found;
    }
    std::vector<ports::StableLink> stableLinks() const override {
        ++linkCalls;
        return links;
    }

    // A USB serial adapter.
    static ports::FoundPort adapter(std::string path, std::string description,
                                    std::string manufacturer, std::string serial,
                                    int vendor = 0x0403, int product = 0x6001) {
        ports::FoundPort port;
        port.systemPath = std::move(path);
        port.description = std::move(description);
        port.manufacturer = std::move(manufacturer);
        port.serialNumber = std::move(serial);
        port.vendorId = vendor;
        port.productId = product;
        return port;
    }
    // A port the system knows only by its device (an on-board UART).
    static ports::FoundPort bare(std::string path) {
        ports::FoundPort port;
        port.systemPath = std::move(path);
        return port;
    }
};
