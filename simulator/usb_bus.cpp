#include "simulator/usb_bus.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "driver-interface/requests.h"

namespace lumaro::sim {
namespace {

constexpr std::uint16_t kUsbVendorId = 0x5A3E;

void PutLe16(std::vector<std::uint8_t>* bytes, std::uint16_t value) {
  bytes->push_back(static_cast<std::uint8_t>(value & 0xff));
  bytes->push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> UsbDeviceFile() {
  std::vector<std::uint8_t> file = {
      18,    // bLength
      1,     // bDescriptorType: device
      0x00,  // bcdUSB 2.00, low byte
      0x02,  // high byte
      0,     // bDeviceClass: given per interface
      0,     // bDeviceSubClass
      0,     // bDeviceProtocol
      64,    // bMaxPacketSize0
  };
  PutLe16(&file, kUsbVendorId);
  PutLe16(&file, static_cast<std::uint16_t>(kCameraProductId));
  PutLe16(&file, 0x0100);  // bcdDevice
  file.insert(file.end(), {
                              0,  // iManufacturer
                              0,  // iProduct
                              0,  // iSerialNumber
                              1,  // bNumConfigurations
                          });
  // One configuration with one interface and one interrupt-in endpoint, the
  // least that libusb 0.1 reads without running past what it was given (no
  // interface, or an interface without endpoints, makes it read beyond).
  file.insert(file.end(), {
                              9,     // bLength
                              2,     // bDescriptorType: configuration
                              25,    // wTotalLength 25, low byte
                              0,     // high byte
                              1,     // bNumInterfaces
                              1,     // bConfigurationValue
                              0,     // iConfiguration
                              0x80,  // bmAttributes: bus-powered
                              50,    // bMaxPower: 100 mA
                              9,     // bLength
                              4,     // bDescriptorType: interface
                              0,     // bInterfaceNumber
                              0,     // bAlternateSetting
                              1,     // bNumEndpoints
                              0xff,  // bInterfaceClass: the vendor's own
                              0,     // bInterfaceSubClass
                              0,     // bInterfaceProtocol
                              0,     // iInterface
                              7,     // bLength
                              5,     // bDescriptorType: endpoint
                              0x81,  // bEndpointAddress: 1 in
                              3,     // bmAttributes: interrupt
                              8,     // wMaxPacketSize 8, low byte
                              0,     // high byte
                              10,    // bInterval: 10 ms
                          });
  return file;
}

}  // namespace

bool CreateUsbBus(const std::string& dir, bool with_device, std::string* error) {
  const std::filesystem::path bus = std::filesystem::path(dir) / "001";
  std::error_code code;
  std::filesystem::create_directories(bus, code);
  if (code) {
    *error = "cannot create the USB bus " + bus.string() + ": " + code.message();
    return false;
  }
  if (!with_device) return true;
  const std::filesystem::path device = bus / "002";
  const std::vector<std::uint8_t> bytes = UsbDeviceFile();
  std::ofstream out(device, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    *error = "cannot write the USB device " + device.string();
    return false;
  }
  return true;
}

}  // namespace lumaro::sim
