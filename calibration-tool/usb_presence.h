// Whether the camera controller is attached: a walk of the USB buses through
// libusb 0.1, which never opens the device.
#pragma once

#include <cstdint>

namespace lumaro {

inline constexpr std::uint16_t kControllerVendor = 0x5A3E;
inline constexpr std::uint16_t kControllerProduct = 0x0c20;

// True when some device on some bus has the controller's vendor and product.
bool ControllerAttached();

}  // namespace lumaro
