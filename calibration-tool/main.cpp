// tapalign: calibrates the camera touch frame on an X11 display.
//   tapalign          4 points
//   tapalign -a       16 points
//   tapalign -reset   returns the controller to its non-calibrated status
// Exit status 1 when the request was not carried out, with one line on
// standard error naming what failed; 0 otherwise (Cancel and Escape too).
// SIGINT, SIGTERM and SIGHUP end a session as Escape does, with status
// 128 + the signal; a lost display ends it so with status 1.
//   tapalign --verify [--tolerance PX] [--monitor PATH]
//                     checks the calibration in force through the daemon
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

#include "calibration-common/calib_main.h"
#include "calibration-common/session_start.h"
#include "calibration-common/verify_run.h"
#include "calibration-common/x_screen.h"
#include "calibration-tool/calib_params.h"
#include "calibration-tool/calib_screen.h"
#include "calibration-tool/session_flow.h"
#include "calibration-tool/startup.h"
#include "calibration-tool/usb_presence.h"
#include "driver-interface/requests.h"

namespace {

using namespace lumaro;

constexpr char kProgram[] = "tapalign";
constexpr char kFont[] = "*-*-14-*";
constexpr long kEventMask = KeyPressMask | ButtonPressMask | ButtonReleaseMask | ExposureMask;

CalibSession session;  // zero-filled with the process

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc >= 2 && std::strcmp(argv[1], "--verify") == 0) {
    return RunVerify(kProgram, argc, argv, kFont);
  }
  CatchStopSignals();
  ReadStatus reads;
  SystemDeviceIo system_io;
  TickGatedIo io(system_io, GET_TOUCH_PACKET);
  const SessionStart start =
      BeginSession(session, reads, io, argc, argv, stdout, {ControllerAttached, ClearTerminal});
  if (!start.calibrate) return SessionStatus(kProgram, StopSignal(), false, start.failure, stderr);

  CalibDisplay display;
  if (!ShowCalibrationWindow(display, kProgram, {kEventMask, kEventMask, kFont}, stderr)) {
    return FailWithoutWindow(io, session.fd,
                             [&] { SendFlag(io, session.fd, SET_START_CALIB, 0, stdout); });
  }
  XCalibrationScreen screen(display, CalibFace({display.width, display.height}));
  CalibrationFlow flow(session, reads, io, screen, {display.width, display.height}, stdout);
  const LoopEnd end = RunCalibrationLoop(kProgram, display, flow);
  io.Close(session.fd);
  return SessionStatus(kProgram, end.signal, end.interrupted, flow.failure(), stderr);
}
