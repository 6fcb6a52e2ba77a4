// The window's list of serial devices on Linux: the order of the groups and
// of the names within them, by-id links matched to the devices found, what is
// left out, and "COM1" when nothing is there. The devices are plain files in
// a temporary tree shaped like /dev, with links made as udev makes them.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/SerialPortList.h"

namespace platform {
void PrintTo(const SerialPortChoice& c, std::ostream* os) { *os << "{\"" << c.shown << "\", \"" << c.port << "\"}"; }
}  // namespace platform

namespace {

namespace fs = std::filesystem;
using platform::ArrangeSerialPorts;
using platform::SerialPortChoice;

class SerialPortListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tarvel-ports-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = fs::canonical(pattern);
        fs::create_directories(ById());
    }
    void TearDown() override { fs::remove_all(root_); }

    // A device file in the tree: <tree>/dev/NAME.
    std::string Device(const std::string& name) const
    {
        const fs::path path = root_ / "dev" / name;
        if (!fs::exists(path))
            std::ofstream(path).put('\n');
        return path.string();
    }
    std::string ById() const { return (root_ / "dev" / "serial" / "by-id").string(); }
    // A link in the by-id folder, with a target relative to it as udev makes
    // them ("../../ttyUSB0").
    std::string Link(const std::string& name, const std::string& target) const
    {
        const fs::path link = fs::path(ById()) / name;
        fs::create_symlink(target, link);
        return link.string();
    }

    fs::path root_;
};

std::vector<std::string> Shown(const std::vector<SerialPortChoice>& choices)
{
    std::vector<std::string> shown;
    for (const SerialPortChoice& c : choices)
        shown.push_back(c.shown);
    return shown;
}

TEST_F(SerialPortListTest, LinksComeFirstThenUsbAdaptersModemsUartsAndOthersInNumericOrder)
{
    // Found in the order an enumeration happens to give them.
    const std::vector<std::string> found = {
        Device("ttyS4"),   Device("ttyAMA0"), Device("ttyUSB10"), Device("ttyACM0"),
        Device("ttyUSB2"), Device("ttyS10"),  Device("ttyUSB1"),  Device("rfcomm0"),
    };
    const std::string ftdi = Link("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB1");
    const std::string arduino = Link("usb-Arduino_Uno_85734323-if00", "../../ttyACM0");
    const std::string second = Link("usb-FTDI_FT232R_USB_UART_A10-if00-port0", "../../ttyUSB10");
    const std::string first = Link("usb-FTDI_FT232R_USB_UART_A9-if00-port0", "../../ttyUSB2");

    const std::vector<SerialPortChoice> expected = {
        {"usb-Arduino_Uno_85734323-if00 -> " + Device("ttyACM0"), arduino},
        {"usb-FTDI_FT232R_USB_UART_A9-if00-port0 -> " + Device("ttyUSB2"), first},
        {"usb-FTDI_FT232R_USB_UART_A10-if00-port0 -> " + Device("ttyUSB10"), second},
        {"usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 -> " + Device("ttyUSB1"), ftdi},
        {Device("ttyUSB1"), Device("ttyUSB1")},
        {Device("ttyUSB2"), Device("ttyUSB2")},
        {Device("ttyUSB10"), Device("ttyUSB10")},
        {Device("ttyACM0"), Device("ttyACM0")},
        {Device("ttyS4"), Device("ttyS4")},
        {Device("ttyS10"), Device("ttyS10")},
        {Device("rfcomm0"), Device("rfcomm0")},
        {Device("ttyAMA0"), Device("ttyAMA0")},
    };
    EXPECT_EQ(ArrangeSerialPorts(found, ById()), expected);
}

TEST_F(SerialPortListTest, OnlyLinksToADeviceFoundAreOffered)
{
    const std::vector<std::string> found = {Device("ttyUSB0")};
    const std::string reader = Link("usb-Reader-if00-port0", "../../ttyUSB0");
    Link("usb-Unplugged-if00-port0", "../../ttyUSB5");  // the device is gone
    Device("ttyS7");
    Link("pci-Not_found_by_the_enumeration", "../../ttyS7");  // no UART behind it
    Link("usb-Absolute_target-if00", Device("ttyUSB0"));
    Link("usb-Loop-if00", "usb-Loop-if00");  // leads nowhere
    std::ofstream(fs::path(ById()) / "not-a-link").put('\n');
    fs::create_directory(fs::path(ById()) / "a-folder");

    EXPECT_EQ(Shown(ArrangeSerialPorts(found, ById())),
              (std::vector<std::string>{"usb-Absolute_target-if00 -> " + Device("ttyUSB0"),
                                        "usb-Reader-if00-port0 -> " + Device("ttyUSB0"), Device("ttyUSB0")}));
    EXPECT_EQ(ArrangeSerialPorts(found, ById())[1].port, reader);
}

TEST_F(SerialPortListTest, ADeviceIsListedOnceAndShownWithWhereItLeadsWhenItIsALink)
{
    const std::string usb = Device("ttyUSB0");
    const std::string reader = (root_ / "reader").string();
    fs::create_symlink(usb, reader);

    // The same device twice, and once more by a path with a detour.
    const std::string detour = (root_ / "dev" / "serial" / ".." / "ttyUSB0").string();
    EXPECT_EQ(ArrangeSerialPorts({usb, usb, detour}, ById()), (std::vector<SerialPortChoice>{{usb, usb}}));
    EXPECT_EQ(ArrangeSerialPorts({reader, usb}, ById()),
              (std::vector<SerialPortChoice>{{reader + " -> " + usb, reader}}));
}

TEST_F(SerialPortListTest, WithNothingFoundTheListOffersComOneAlone)
{
    const std::vector<SerialPortChoice> com1 = {{"COM1", "COM1"}};
    Link("usb-Unplugged-if00-port0", "../../ttyUSB0");
    Device("ttyUSB0");  // a device that was not found: its link is not offered

    EXPECT_EQ(ArrangeSerialPorts({}, ById()), com1);
    EXPECT_EQ(ArrangeSerialPorts({}, (root_ / "no-such-folder").string()), com1);
    EXPECT_EQ(ArrangeSerialPorts({}, ""), com1);
    EXPECT_EQ(ArrangeSerialPorts({""}, ""), com1) << "an empty path is no device";
}

TEST_F(SerialPortListTest, AMissingFolderGivesNoLinksButTheDevicesStay)
{
    const std::string usb = Device("ttyUSB0");
    EXPECT_EQ(ArrangeSerialPorts({usb}, (root_ / "no-such-folder").string()),
              (std::vector<SerialPortChoice>{{usb, usb}}));
}

TEST_F(SerialPortListTest, DevicesUnderDevAreShownByTheirNameThere)
{
    // /dev/null stands for a device that exists on every machine; a
    // pseudo-terminal's name keeps its folder.
    Link("usb-Anything-if00", "/dev/null");
    EXPECT_EQ(ArrangeSerialPorts({"/dev/null", "/dev/pts/9999"}, ById()),
              (std::vector<SerialPortChoice>{
                  {"usb-Anything-if00 -> null", ById() + "/usb-Anything-if00"},
                  {"null", "/dev/null"},
                  {"pts/9999", "/dev/pts/9999"},
              }));
}

// The system's own enumeration: whatever this machine has, every device it
// reports is a character device given by its full path, and the list built
// from it offers either those devices or COM1 alone.
TEST(SerialPortsOfThisMachine, AreCharacterDevicesByTheirPathOrComOne)
{
    const std::vector<std::string> found = platform::SerialDevicesFound();
    for (const std::string& path : found) {
        struct stat st {};
        EXPECT_EQ(path.front(), '/') << path;
        EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << path;
    }
    const std::vector<SerialPortChoice> present = platform::SerialPortsPresent();
    ASSERT_FALSE(present.empty());
    if (found.empty()) {
        EXPECT_EQ(present, (std::vector<SerialPortChoice>{{"COM1", "COM1"}}));
    } else {
        for (const std::string& path : found)
            EXPECT_NE(
                std::find_if(present.begin(), present.end(), [&](const SerialPortChoice& c) { return c.port == path; }),
                present.end())
                << path << " is offered";
    }
    std::printf("serial devices found on this machine: %zu\n", found.size());
    for (const SerialPortChoice& c : present)
        std::printf("  %s  (%s)\n", c.shown.c_str(), c.port.c_str());
}

}  // namespace
