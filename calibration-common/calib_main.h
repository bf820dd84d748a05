// What both calibration tools do between start-up and exit: the window's
// set-up with its failure path, and the main loop in which the 160 ms tick
// hands the window's events to the tool's flow while the flow otherwise
// waits for the controller.
#pragma once

#include <cstdio>
#include <functional>

#include "calibration-common/calib_display.h"
#include "calibration-common/tick.h"
#include "calibration-common/window_events.h"
#include "driver-interface/device_io.h"

namespace lumaro {

// Runs the shell command "clear", standard output flushed first.
void ClearTerminal();

// Opens the display and sets up the window. False when no window can be
// shown: the reason is on `err` and the display released.
bool ShowCalibrationWindow(CalibDisplay& d, const char* program, const WindowSetup& setup,
                           std::FILE* err);

// Ends a session that cannot show its window: `leave_calibration` takes the
// controller out of calibration, then the node is closed. Returns status 1.
int FailWithoutWindow(DeviceIo& io, int fd, const std::function<void()>& leave_calibration);

// Starts the tick, begins the flow and runs it until it has finished: each
// tick dispatches the window's events, every other pass polls the controller
// (the poll's wait is cut short by the tick). Then stops the tick and
// releases the display (the flow may have released it already). `Flow` has
// Begin(), Poll(), finished() and the handlers DispatchWindowEvents calls.
template <typename Flow>
void RunCalibrationLoop(CalibDisplay& d, Flow& flow) {
  StartTicks();
  flow.Begin();
  while (!flow.finished()) {
    if (TakeTick()) {
      DispatchWindowEvents(d, flow);
      continue;
    }
    flow.Poll();
  }
  StopTicks();
  ReleaseCalibDisplay(d);
}

}  // namespace lumaro
