// The USB bus that the simulator shows to the command. libusb 0.1 enumerates
// the directory named by USB_DEVFS_PATH: one directory per bus, one file per
// device holding the device's descriptors.
#pragma once

#include <string>

namespace lumaro::sim {

// Creates `dir` with bus 001 and, when `with_device`, the controller (vendor
// 0x5A3E, product 0x0c20) as its device 002: a file holding the device
// descriptor followed by the configuration descriptor. Without the device,
// bus 001 stays: libusb 0.1 passes over an empty USB_DEVFS_PATH and falls
// back to the machine's own bus directories.
bool CreateUsbBus(const std::string& dir, bool with_device, std::string* error);

}  // namespace lumaro::sim
