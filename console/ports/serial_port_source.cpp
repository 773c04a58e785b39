#include "console/ports/serial_port_source.h"

#include <QSerialPortInfo>

#include <filesystem>
#include <system_error>
#include <utility>

SerialPortSource::SerialPortSource(std::string byIdDirectory)
    : byIdDirectory_(std::move(byIdDirectory)) {}

std::vector<ports::FoundPort> SerialPortSource::ports() const {
    std::vector<ports::FoundPort> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports::FoundPort port;
        port.systemPath = info.systemLocation().toStdString();
        port.description = info.description().trimmed().toStdString();
        port.manufacturer = info.manufacturer().trimmed().toStdString();
        port.serialNumber = info.serialNumber().trimmed().toStdString();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            port.vendorId = info.vendorIdentifier();
            port.productId = info.productIdentifier();
        }
        found.push_back(std::move(port));
    }
    return found;
}

std::vector<ports::StableLink> SerialPortSource::stableLinks() const {
    namespace fs = std::filesystem;
    std::vector<ports::StableLink> links;
    std::error_code error;
    fs::directory_iterator it(byIdDirectory_, error);
    if (error)
        return links;
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        std::error_code ignored;
        if (!it->is_symlink(ignored))
            continue;
        const fs::path target = fs::canonical(it->path(), ignored);
        if (ignored)
            continue;
        links.push_back(ports::StableLink{it->path().string(), target.string()});
    }
    return links;
}
