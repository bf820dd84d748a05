// What both calibration tools do between start-up and exit: the window's
// set-up with its failure path, and the main loop in which the 160 ms tick
// hands the window's events to the tool's flow while the flow otherwise
// waits for the controller.
#pragma once

#include <cstdio>
#include <functional>

#include "calibration-common/calib_display.h"
#include "calibration-common/interruption.h"
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

// How the loop ended: the stop signal caught (0 when none), and whether it
// ended the session (rather than arriving after the session had ended).
struct LoopEnd {
  int signal = 0;
  bool interrupted = false;
};

// Starts the tick, begins the flow and runs it until it has finished: each
// tick dispatches the window's events, every other pass polls the controller
// (the poll's wait is cut short by the tick). A stop signal, or the display
// lost, ends the session through the flow's Interrupt(), as Escape does.
// Then stops the tick and releases the display (the flow may have released
// it already). `Flow` has Begin(), Poll(), Interrupt(), finished(),
// failure() and the handlers DispatchWindowEvents calls.
template <typename Flow>
LoopEnd RunCalibrationLoop(const char* program, CalibDisplay& d, Flow& flow) {
  OnDisplayLost(program, [&flow] {
    const bool over = flow.finished();
    if (!over) flow.Interrupt();
    return DisplayLossEnd{over, flow.failure()};
  });
  StartTicks();
  flow.Begin();
  LoopEnd end;
  while (!flow.finished()) {
    if (StopSignal() != 0) {
      end.interrupted = true;
      flow.Interrupt();
    } else if (TakeTick()) {
      DispatchWindowEvents(d, flow);
    } else {
      flow.Poll();
    }
  }
  StopTicks();
  ReleaseCalibDisplay(d);
  ForgetDisplayLoss();
  end.signal = StopSignal();
  return end;
}

}  // namespace lumaro
