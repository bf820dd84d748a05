// The tick's work in both calibration tools: every pending event of the
// calibration window, handed to the tool's flow.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>

#include "calibration-common/calib_display.h"

namespace lumaro {

// Takes the window's pending events one by one (all event masks) until none
// is left or the flow has finished. Key presses reach the flow as the keysym
// of index 0, button presses and releases with their window coordinates
// compared unsigned; every other event is taken and dropped. `Flow` has
// finished(), OnKeyPress(keysym), OnButtonPress(x, y) and OnButtonRelease(x, y).
template <typename Flow>
void DispatchWindowEvents(CalibDisplay& d, Flow& flow) {
  XEvent event;
  while (!flow.finished() && XCheckWindowEvent(d.display, d.window, ~0L, &event)) {
    switch (event.type) {
      case KeyPress:
        flow.OnKeyPress(XLookupKeysym(&event.xkey, 0));
        break;
      case ButtonPress:
        flow.OnButtonPress(static_cast<std::uint32_t>(event.xbutton.x),
                           static_cast<std::uint32_t>(event.xbutton.y));
        break;
      case ButtonRelease:
        flow.OnButtonRelease(static_cast<std::uint32_t>(event.xbutton.x),
                             static_cast<std::uint32_t>(event.xbutton.y));
        break;
      default:
        break;
    }
  }
}

}  // namespace lumaro
