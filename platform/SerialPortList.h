#pragma once
// The serial devices a user can pick in the window, on Linux.
//
// Windows names its ports COM1, COM2, ... and the window offers those names
// as they are. On Linux the devices have free names, so the window's port
// list offers the devices present when the window is built instead:
//   1. the links under /dev/serial/by-id that point at a device found (they
//      survive replugging and tell the reader's make), shown with the device
//      they point to: "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 -> ttyUSB0";
//   2. the devices found: ttyUSB*, then ttyACM*, then ttyS*, then any other
//      (ttyAMA0, rfcomm0, ...), each group in numeric order; a device that
//      is itself a link is shown with the device it points to;
//   3. when there is nothing at all, "COM1" alone (the port the window
//      offered first before), so the window behaves as it did without a
//      reader.
// Each choice is read back as the path to give the port: the link's or the
// device's full path, which the Linux serial back end opens as it is.
// Linux only (platform/posix, platform/qt).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/MainWindow.h"

namespace platform {

struct SerialPortChoice {
    std::string shown;  // what the list shows
    std::string port;   // what the port is set to
    bool operator==(const SerialPortChoice&) const = default;
};

// The list from the devices found (their paths) and the links in byIdFolder,
// in the order above. A link that points at no device found (the device is
// gone, or it is not a serial port) is left out; a missing or unreadable
// folder gives no links. Devices named twice, or by two paths of the same
// file, are listed once.
std::vector<SerialPortChoice> ArrangeSerialPorts(const std::vector<std::string>& devices,
                                                 const std::string& byIdFolder);

// The serial devices the toolkit finds (Qt's QSerialPortInfo: udev and sysfs,
// and it knows which ttyS ports have a real UART behind them), as paths.
std::vector<std::string> SerialDevicesFound();

// Where the window looks for serial devices. The defaults are the system's.
// A test points it at a folder of its own and names the devices itself: a
// pseudo-terminal, which a virtual reader is, has no hardware behind it, and
// no enumeration of serial devices reports it.
struct SerialPortSearch {
    std::string byIdFolder = "/dev/serial/by-id";
    std::function<std::vector<std::string>()> devices = SerialDevicesFound;
};

// ArrangeSerialPorts on what search finds now.
std::vector<SerialPortChoice> SerialPortsPresent(const SerialPortSearch& search = {});

// CreateToolkitWindow (platform/MainWindow.h), with the list marked
// offersSerialPorts filled from search.
std::unique_ptr<IMainWindow> CreateToolkitWindowWithPorts(const WindowSpec& layout, const SerialPortSearch& search);

}  // namespace platform
