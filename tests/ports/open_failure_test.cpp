// Why a port did not open: the lines for each errno with the facts a test gives, and the /proc
// scan over a folder laid out like /proc, whose descriptor links lead to real devices.

#include "console/ports/open_failure.h"
#include "console/ports/port_holders.h"
#include "fake_port_source.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

ports::OpenFailure failure(std::string name, int error, std::string resolved = "") {
    ports::OpenFailure f;
    f.portName = std::move(name);
    f.devicePath = f.portName[0] == '/' ? f.portName : "";
    f.error = error;
    f.characterDevice = true;
    f.resolvedPath = resolved.empty() ? f.devicePath : resolved;
    f.portsListed = true;
    return f;
}

TEST(OpenFailureLines, CausesNoRealDeviceShowsHere) {
    // The lock of another console, its holder hidden from this user, on a modem-like board.
    const std::string byId = "/dev/serial/by-id/usb-Arduino_Uno_7583-if00";
    auto f = failure(byId, EWOULDBLOCK, "/dev/ttyACM0");
    f.holders.unreadable = true;
    f.modemManagerRuns = true;
    EXPECT_EQ(ports::openFailureLines(f),
              (Lines{"> port " + byId + ": in use by another program (sudo fuser -v " + byId +
                         " shows which)",
                     "> ModemManager may be probing /dev/ttyACM0 (the udev property "
                     "ID_MM_DEVICE_IGNORE keeps it away, see README)"}));
    // Not a modem ModemManager would probe; two holders named.
    f = failure("/dev/ttyUSB0", EBUSY);
    f.holders.holders = {{4242, "minicom"}, {4250, "screen"}};
    f.modemManagerRuns = true;
    EXPECT_EQ(ports::openFailureLines(f),
              Lines{"> port /dev/ttyUSB0: in use by minicom (pid 4242), screen (pid 4250)"});

    // A node whose driver is gone (the panel's tests meet the other errnos through the engine).
    for (int error : {ENXIO, ENODEV}) {
        EXPECT_EQ(ports::openFailureLines(failure("/dev/ttyUSB3", error)),
                  (Lines{"> port /dev/ttyUSB3: no such device", "> no serial port present"}));
    }
    // A name that stands for no path, the present ports not looked for.
    f = failure("dev/ttyUSB0", 0);
    f.portsListed = false;
    EXPECT_EQ(ports::openFailureLines(f), Lines{"> port dev/ttyUSB0: no such device"});
}

TEST(FakeProc, HoldersOfTheDeviceButNotThisProcess) {
    char dir[] = "/tmp/zelk-proc-XXXXXX";
    const fs::path root = mkdtemp(dir);
    const auto process = [&root](int pid, const std::string& name, const std::string& target) {
        fs::create_directories(root / std::to_string(pid) / "fd");
        std::ofstream(root / std::to_string(pid) / "comm") << name << '\n';
        fs::create_symlink(target, root / std::to_string(pid) / "fd" / "3");
    };
    process(100, "minicom", "/dev/null");
    process(7, "ModemManager", "/dev/null");
    process(300, "zelk-console", "/dev/null");
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    ports::HolderScan scan = ports::findHolders(null.st_rdev, 300, root.string());
    ASSERT_EQ(scan.holders.size(), 2u);
    EXPECT_EQ(scan.holders[0].pid, 7);
    EXPECT_EQ(scan.holders[1].name, "minicom");
    EXPECT_TRUE(ports::processRuns("ModemManager", root.string()));
    EXPECT_FALSE(ports::processRuns("Modem", root.string()));
    // Descriptors of another user (scripts/test.sh runs this as the user nobody too).
    if (geteuid() != 0) {
        fs::permissions(root / "100" / "fd", fs::perms::none);
        scan = ports::findHolders(null.st_rdev, 300, root.string());
        EXPECT_TRUE(scan.unreadable && scan.holders.size() == 1u);
        fs::permissions(root / "100" / "fd", fs::perms::owner_all);
    }
    fs::remove_all(root);
}

} // namespace
