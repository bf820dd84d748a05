#include "calibration-tool/usb_presence.h"

#include <usb.h>

namespace lumaro {

bool ControllerAttached() {
  usb_init();  // reads USB_DEBUG from the environment
  usb_find_busses();
  usb_find_devices();
  for (usb_bus* bus = usb_get_busses(); bus != nullptr; bus = bus->next) {
    for (struct usb_device* dev = bus->devices; dev != nullptr; dev = dev->next) {
      if (dev->descriptor.idVendor == kControllerVendor &&
          dev->descriptor.idProduct == kControllerProduct) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace lumaro
