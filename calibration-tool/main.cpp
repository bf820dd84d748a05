// tapalign: calibrates the camera touch frame on an X11 display.
//   tapalign          4 points
//   tapalign -a       16 points
//   tapalign -reset   returns the controller to its non-calibrated status
// Exit status 1 when the request was not carried out, with one line on
// standard error naming what failed; 0 otherwise (Cancel and Escape too).
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "calibration-common/calib_display.h"
#include "calibration-common/tick.h"
#include "calibration-common/window_events.h"
#include "calibration-tool/calib_params.h"
#include "calibration-tool/session_flow.h"
#include "calibration-tool/startup.h"
#include "calibration-tool/usb_presence.h"
#include "calibration-tool/x_screen.h"
#include "driver-interface/requests.h"

namespace {

using namespace lumaro;

constexpr char kProgram[] = "tapalign";
constexpr long kEventMask = KeyPressMask | ButtonPressMask | ButtonReleaseMask | ExposureMask;

void ClearTerminal() {
  std::fflush(stdout);
  const int status = std::system("clear");
  (void)status;  // a terminal that cannot be cleared changes nothing
}

// Ends a session that cannot show its window: out of calibration mode, node
// closed, status 1.
int FailWithoutWindow(DeviceIo& io, CalibSession& session) {
  SendFlag(io, session.fd, SET_START_CALIB, 0, stdout);
  io.Close(session.fd);
  return 1;
}

// Status 1 and one line naming what failed, or 0 when nothing did.
int Finish(const std::string& failure) {
  if (failure.empty()) return 0;
  std::fprintf(stderr, "%s: %s\n", kProgram, failure.c_str());
  return 1;
}

CalibSession session;  // zero-filled with the process

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  ReadStatus reads;
  SystemDeviceIo system_io;
  TickGatedIo io(system_io, GET_TOUCH_PACKET);
  const StartupHooks hooks{ControllerAttached, ClearTerminal};
  std::string failure;
  if (!BeginSession(session, reads, io, argc, argv, stdout, hooks, &failure)) {
    return Finish(failure);
  }

  CalibDisplay display;
  if (!OpenCalibDisplay(display, kProgram, stderr)) return FailWithoutWindow(io, session);
  if (!SetUpCalibrationWindow(display, {kEventMask, kEventMask, "*-*-14-*"})) {
    std::fprintf(stderr, "%s: no font can be loaded\n", kProgram);
    ReleaseCalibDisplay(display);
    return FailWithoutWindow(io, session);
  }

  XCalibScreen screen(display);
  CalibrationFlow flow(session, reads, io, screen, {display.width, display.height}, stdout);
  StartTicks();
  flow.DrawFirstTarget();
  while (!flow.finished()) {
    if (TakeTick()) {
      DispatchWindowEvents(display, flow);
      continue;
    }
    flow.PollPacket();
  }
  StopTicks();
  ReleaseCalibDisplay(display);
  io.Close(session.fd);
  return Finish(flow.failure());
}
