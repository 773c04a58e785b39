// The port box's items over a fake source: the twelve COM names first and unchanged, the ports
// found after them in a fixed order, a stable by-id name preferred with the kernel name beside
// it, and two adapters of one kind told apart.

#include "console/ports/port_list.h"
#include "fake_port_source.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using ports::PortEntry;

const std::string kById = "/dev/serial/by-id/";

std::vector<std::string> textsOf(const std::vector<PortEntry>& entries) {
    std::vector<std::string> texts;
    for (const PortEntry& entry : entries)
        texts.push_back(entry.text);
    return texts;
}

std::vector<std::string> comNames() {
    std::vector<std::string> names;
    for (int n = 1; n <= 12; ++n)
        names.push_back("COM" + std::to_string(n));
    return names;
}

TEST(PortList, TwelveComItemsInOrderWithCom7AtTheStartIndex) {
    const std::vector<PortEntry> com = ports::comEntries();
    EXPECT_EQ(textsOf(com), comNames());
    for (const PortEntry& entry : com) {
        EXPECT_TRUE(entry.detail.empty()) << entry.text;
        EXPECT_TRUE(entry.toolTip.empty()) << entry.text;
    }
    EXPECT_EQ(ports::comItemCount, 12);
    EXPECT_EQ(com[size_t(ports::comStartIndex)].text, "COM7");

    // No port on the machine: the box is the twelve names alone.
    FakePortSource none;
    EXPECT_EQ(textsOf(ports::portBoxEntries(none)), comNames());
}

TEST(PortList, FoundPortsFollowTheComItemsInNaturalOrderOfTheirKernelNames) {
    FakePortSource source;
    source.found = {
        FakePortSource::bare("/dev/ttyUSB10"), FakePortSource::bare("/dev/ttyACM0"),
        FakePortSource::bare("/dev/ttyUSB2"),  FakePortSource::bare("/dev/ttyS0"),
        FakePortSource::bare("/dev/ttyUSB0"),  FakePortSource::bare("/dev/ttyUSB2"), // twice
    };
    const std::vector<PortEntry> entries = ports::portBoxEntries(source);
    std::vector<std::string> expected = comNames();
    for (const char* path :
         {"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10"})
        expected.push_back(path);
    EXPECT_EQ(textsOf(entries), expected);
    EXPECT_EQ(source.portCalls, 1);
    EXPECT_EQ(source.linkCalls, 1);

    // The order does not depend on the order the system lists the ports in.
    FakePortSource reversed = source;
    reversed.found.assign(source.found.rbegin(), source.found.rend());
    EXPECT_EQ(textsOf(ports::portBoxEntries(reversed)), expected);
}

TEST(PortList, StableByIdNameIsPreferredWithTheKernelNameBesideIt) {
    FakePortSource source;
    source.found = {
        FakePortSource::adapter("/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI"),
        FakePortSource::adapter("/dev/ttyACM0", "Arduino Uno", "Arduino (www.arduino.cc)",
                                "75833353035351D0D1A1", 0x2341, 0x0043),
    };
    const std::string ftdi = kById + "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    source.links = {
        {ftdi, "/dev/ttyUSB0"},
        // A link to a device that is not listed is no port of the box.
        {kById + "usb-Gone_Adapter-if00-port0", "/dev/ttyUSB7"},
    };
    const std::vector<PortEntry> found = ports::foundEntries(source.found, source.links);
    ASSERT_EQ(found.size(), 2u);

    // ttyACM0 has no stable name: its kernel path.
    EXPECT_EQ(found[0].text, "/dev/ttyACM0");
    EXPECT_EQ(found[0].detail,
              "ttyACM0 \u00b7 Arduino Uno \u00b7 Arduino (www.arduino.cc) \u00b7 SN "
              "75833353035351D0D1A1");

    EXPECT_EQ(found[1].text, ftdi);
    EXPECT_EQ(found[1].detail, "ttyUSB0 \u00b7 FT232R USB UART \u00b7 FTDI \u00b7 SN A50285BI");
    EXPECT_EQ(found[1].toolTip, "Device: /dev/ttyUSB0\n"
                                "Stable name: " +
                                    ftdi +
                                    "\n"
                                    "Description: FT232R USB UART\n"
                                    "Manufacturer: FTDI\n"
                                    "Serial number: A50285BI\n"
                                    "USB id: 0403:6001");
}

TEST(PortList, OfSeveralStableNamesOfOneDeviceTheFirstIsTaken) {
    FakePortSource source;
    source.found = {FakePortSource::adapter("/dev/ttyUSB0", "CP2105", "Silicon Labs", "0042")};
    source.links = {
        {kById + "usb-Silicon_Labs_CP2105_0042-if01-port0", "/dev/ttyUSB0"},
        {kById + "usb-Silicon_Labs_CP2105_0042-if00-port0", "/dev/ttyUSB0"},
    };
    const std::vector<PortEntry> found = ports::foundEntries(source.found, source.links);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].text, kById + "usb-Silicon_Labs_CP2105_0042-if00-port0");
}

TEST(PortList, TwoAdaptersOfOneKindAreToldApart) {
    // Two of the same FTDI cable: the serial numbers differ, and so do their stable names.
    {
        FakePortSource source;
        source.found = {
            FakePortSource::adapter("/dev/ttyUSB1", "FT232R USB UART", "FTDI", "B0001"),
            FakePortSource::adapter("/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A0001"),
        };
        source.links = {
            {kById + "usb-FTDI_FT232R_USB_UART_A0001-if00-port0", "/dev/ttyUSB0"},
            {kById + "usb-FTDI_FT232R_USB_UART_B0001-if00-port0", "/dev/ttyUSB1"},
        };
        const std::vector<PortEntry> found = ports::foundEntries(source.found, source.links);
        ASSERT_EQ(found.size(), 2u);
        EXPECT_EQ(found[0].text, kById + "usb-FTDI_FT232R_USB_UART_A0001-if00-port0");
        EXPECT_EQ(found[1].text, kById + "usb-FTDI_FT232R_USB_UART_B0001-if00-port0");
        EXPECT_EQ(found[0].detail, "ttyUSB0 \u00b7 FT232R USB UART \u00b7 FTDI \u00b7 SN A0001");
        EXPECT_EQ(found[1].detail, "ttyUSB1 \u00b7 FT232R USB UART \u00b7 FTDI \u00b7 SN B0001");
    }
    // Two cheap adapters without serial numbers: their by-id names would be the same, so udev
    // keeps one link, to one of them. The other goes by its kernel path; the kernel names that
    // begin each second line still tell them apart.
    {
        FakePortSource source;
        source.found = {
            FakePortSource::adapter("/dev/ttyUSB0", "USB Serial", "1a86", "", 0x1a86, 0x7523),
            FakePortSource::adapter("/dev/ttyUSB1", "USB Serial", "1a86", "", 0x1a86, 0x7523),
        };
        source.links = {{kById + "usb-1a86_USB_Serial-if00-port0", "/dev/ttyUSB1"}};
        const std::vector<PortEntry> found = ports::foundEntries(source.found, source.links);
        ASSERT_EQ(found.size(), 2u);
        EXPECT_EQ(found[0].text, "/dev/ttyUSB0");
        EXPECT_EQ(found[1].text, kById + "usb-1a86_USB_Serial-if00-port0");
        EXPECT_EQ(found[0].detail, "ttyUSB0 \u00b7 USB Serial \u00b7 1a86");
        EXPECT_EQ(found[1].detail, "ttyUSB1 \u00b7 USB Serial \u00b7 1a86");
        EXPECT_NE(found[0].toolTip, found[1].toolTip);
    }
}

TEST(PortList, EveryItemOfAFullBoxHasItsOwnTextAndSecondLine) {
    FakePortSource source;
    for (int i = 0; i < 6; ++i)
        source.found.push_back(
            FakePortSource::adapter("/dev/ttyUSB" + std::to_string(i), "USB Serial", "1a86", ""));
    const std::vector<PortEntry> entries = ports::portBoxEntries(source);
    ASSERT_EQ(entries.size(), 18u);
    std::set<std::string> texts;
    std::set<std::string> details;
    for (size_t i = 12; i < entries.size(); ++i) {
        texts.insert(entries[i].text);
        details.insert(entries[i].detail);
    }
    EXPECT_EQ(texts.size(), 6u);
    EXPECT_EQ(details.size(), 6u);
}

TEST(PortList, OnBoardUartNamesTheComItemThatOpensTheSameDevice) {
    FakePortSource source;
    source.found = {FakePortSource::bare("/dev/ttyS0"), FakePortSource::bare("/dev/ttyS11"),
                    FakePortSource::bare("/dev/ttyS12")};
    const std::vector<PortEntry> found = ports::foundEntries(source.found, source.links);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].text, "/dev/ttyS0");
    EXPECT_EQ(found[0].detail, "ttyS0 (COM1)");
    EXPECT_EQ(found[0].toolTip, "Device: /dev/ttyS0\nSame device as COM1");
    EXPECT_EQ(found[1].detail, "ttyS11 (COM12)");
    EXPECT_EQ(found[2].detail, "ttyS12"); // beyond the twelve COM names
    EXPECT_EQ(found[2].toolTip, "Device: /dev/ttyS12");
}

TEST(PortList, ManufacturerEqualToTheDescriptionIsNotRepeated) {
    FakePortSource source;
    source.found = {FakePortSource::adapter("/dev/ttyACM3", "STM32 Virtual ComPort",
                                            "STM32 Virtual ComPort", "", -1, -1)};
    const std::vector<PortEntry> found = ports::foundEntries(source.found, source.links);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].detail, "ttyACM3 \u00b7 STM32 Virtual ComPort");
    EXPECT_EQ(found[0].toolTip, "Device: /dev/ttyACM3\n"
                                "Description: STM32 Virtual ComPort\n"
                                "Manufacturer: STM32 Virtual ComPort");
}

TEST(PortList, EntryForATextIsTheFirstItemShowingItOrNone) {
    FakePortSource source;
    source.found = {FakePortSource::adapter("/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A1")};
    const std::string ftdi = kById + "usb-FTDI_FT232R_USB_UART_A1-if00-port0";
    source.links = {{ftdi, "/dev/ttyUSB0"}};
    const std::vector<PortEntry> entries = ports::portBoxEntries(source);
    EXPECT_EQ(ports::entryIndexForText(entries, "COM7"), 6);
    EXPECT_EQ(ports::entryIndexForText(entries, "COM12"), 11);
    EXPECT_EQ(ports::entryIndexForText(entries, ftdi), 12);
    // A typed name that no item has, and the kernel path behind a stable name.
    EXPECT_EQ(ports::entryIndexForText(entries, "/tmp/zelk-robot"), -1);
    EXPECT_EQ(ports::entryIndexForText(entries, "/dev/ttyUSB0"), -1);
    EXPECT_EQ(ports::entryIndexForText(entries, "com7"), -1);
    EXPECT_EQ(ports::entryIndexForText(entries, ""), -1);
}

TEST(PortList, NaturalOrderComparesRunsOfDigitsByValue) {
    EXPECT_TRUE(ports::naturalLess("ttyUSB2", "ttyUSB10"));
    EXPECT_FALSE(ports::naturalLess("ttyUSB10", "ttyUSB2"));
    EXPECT_TRUE(ports::naturalLess("ttyACM9", "ttyS0"));
    EXPECT_TRUE(ports::naturalLess("ttyS", "ttyS0"));
    EXPECT_TRUE(ports::naturalLess("a-if00-port0", "a-if01-port0"));
    EXPECT_FALSE(ports::naturalLess("ttyS1", "ttyS1"));
    // Equal by value but not alike: still a strict order, one way only.
    EXPECT_NE(ports::naturalLess("ttyS01", "ttyS1"), ports::naturalLess("ttyS1", "ttyS01"));
}

} // namespace
