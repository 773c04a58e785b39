// The machine's own port source, once on this machine: QSerialPortInfo lists whatever ports
// the machine has (maybe none), so only what holds for any machine is checked. A pseudo-terminal
// is no port that it lists; the stable links are checked on a folder of the test's own.

#include "console/ports/port_list.h"
#include "console/ports/serial_port_source.h"
#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

bool isCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode); // follows links
}

class TempFolder {
public:
    TempFolder() {
        char name[] = "/tmp/zelk-ports-XXXXXX";
        if (::mkdtemp(name) != nullptr)
            path_ = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(SerialPortSource, EveryListedPortIsACharacterDevice) {
    const SerialPortSource source;
    const std::vector<ports::FoundPort> found = source.ports();
    std::cout << "[ listed   ] " << found.size() << " serial port(s) on this machine\n";
    for (const ports::FoundPort& port : found) {
        std::cout << "[ listed   ] " << port.systemPath << " | " << port.description << " | "
                  << port.manufacturer << " | " << port.serialNumber << "\n";
        EXPECT_EQ(port.systemPath.rfind("/dev/", 0), 0u) << port.systemPath;
        EXPECT_TRUE(isCharacterDevice(port.systemPath)) << port.systemPath;
        EXPECT_EQ(port.vendorId < 0, port.productId < 0) << port.systemPath;
    }

    // The box: the twelve COM names, then one item per port, each naming a character device
    // (a stable name leads to the same device).
    const std::vector<ports::PortEntry> entries = ports::portBoxEntries(source);
    ASSERT_GE(entries.size(), size_t(ports::comItemCount));
    EXPECT_EQ(entries[0].text, "COM1");
    EXPECT_EQ(entries[11].text, "COM12");
    std::set<std::string> distinct;
    for (const ports::FoundPort& port : found)
        distinct.insert(port.systemPath);
    EXPECT_EQ(entries.size(), size_t(ports::comItemCount) + distinct.size());
    for (size_t i = size_t(ports::comItemCount); i < entries.size(); ++i) {
        EXPECT_TRUE(isCharacterDevice(entries[i].text)) << entries[i].text;
        EXPECT_FALSE(entries[i].detail.empty()) << entries[i].text;
    }
}

TEST(SerialPortSource, EveryStableLinkOfTheMachineLeadsToACharacterDevice) {
    const SerialPortSource source;
    for (const ports::StableLink& link : source.stableLinks()) {
        std::cout << "[ by-id    ] " << link.linkPath << " -> " << link.targetPath << "\n";
        EXPECT_EQ(link.linkPath.rfind(std::string(SerialPortSource::ByIdDirectory) + "/", 0), 0u);
        EXPECT_TRUE(isCharacterDevice(link.targetPath)) << link.targetPath;
    }
}

TEST(SerialPortSource, StableLinksAreTheFoldersLinksResolved) {
    PtyPeer pty;
    ASSERT_TRUE(pty.ok());
    TempFolder folder;
    ASSERT_FALSE(folder.path().empty());
    const fs::path dir(folder.path());

    // udev's links are relative ("../../ttyUSB0"); an absolute one resolves alike.
    const fs::path relative = fs::relative(pty.path(), dir);
    fs::create_symlink(relative, dir / "usb-Test_Adapter_0001-if00-port0");
    fs::create_symlink(pty.path(), dir / "usb-Test_Adapter_0002-if00-port0");
    fs::create_symlink(dir / "nowhere", dir / "usb-Gone_Adapter-if00-port0"); // dangling
    std::ofstream(dir / "not-a-link") << "x";

    const SerialPortSource source(folder.path());
    std::vector<ports::StableLink> links = source.stableLinks();
    std::sort(links.begin(), links.end(),
              [](const auto& a, const auto& b) { return a.linkPath < b.linkPath; });
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].linkPath, (dir / "usb-Test_Adapter_0001-if00-port0").string());
    EXPECT_EQ(links[0].targetPath, pty.path());
    EXPECT_EQ(links[1].linkPath, (dir / "usb-Test_Adapter_0002-if00-port0").string());
    EXPECT_EQ(links[1].targetPath, pty.path());

    // No folder at all (no USB serial adapter plugged in): no links.
    EXPECT_TRUE(SerialPortSource(folder.path() + "/missing").stableLinks().empty());
}

} // namespace
