// usb-probe: walks the USB busses through the libusb 0.1 interface, as the
// calibration tool's presence test does. Prints "bus BUS" for each bus and
// "BUS/DEVICE VENDOR:PRODUCT" (hex) for each device on it.
#include <usb.h>

#include <cstdio>

int main() {
  usb_init();
  usb_find_busses();
  usb_find_devices();
  for (const usb_bus* bus = usb_get_busses(); bus != nullptr; bus = bus->next) {
    std::printf("bus %s\n", bus->dirname);
    for (const struct usb_device* device = bus->devices; device != nullptr; device = device->next) {
      std::printf("%s/%s %04x:%04x\n", bus->dirname, device->filename, device->descriptor.idVendor,
                  device->descriptor.idProduct);
    }
  }
  return 0;
}
