// tapalign-classic: calibrates the classic touch controller on an X11 display.
//   tapalign-classic           4 points
//   tapalign-classic --reset   the controller runs uncalibrated
// Exit status 1 when the request was not carried out (no node, the record not
// read whole or not stored), with one line on standard error; 0 otherwise.
// SIGINT, SIGTERM and SIGHUP end a session as Escape does, with status
// 128 + the signal; one during the record write lets the write finish first.
// A lost display ends the session as Escape does, with status 1.
//   tapalign-classic --verify [--tolerance PX] [--monitor PATH]
//                     checks the calibration in force through the daemon
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>

#include "calibration-common/calib_main.h"
#include "calibration-common/session_start.h"
#include "calibration-common/verify_run.h"
#include "calibration-common/x_screen.h"
#include "classic-calibration-tool/classic_flow.h"
#include "classic-calibration-tool/classic_startup.h"
#include "driver-interface/requests.h"

namespace {

using namespace lumaro;

constexpr char kProgram[] = "tapalign-classic";
constexpr long kWindowEventMask =
    KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | ExposureMask;
constexpr long kSelectEventMask = KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                                  ExposureMask | ResizeRedirectMask | SubstructureRedirectMask;

ClassicContext context;  // zero-filled with the process

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc >= 2 && std::strcmp(argv[1], "--verify") == 0) {
    return RunVerify(kProgram, argc, argv, kClassicFont);
  }
  CatchStopSignals();
  SystemDeviceIo system_io;
  TickGatedIo io(system_io, CLASSIC_TOUCH_READ);
  ClassicChannel channel{io};
  const SessionStart start = BeginClassic(context, channel, argc, argv, stdout, ClearTerminal);
  if (!start.calibrate) return SessionStatus(kProgram, StopSignal(), false, start.failure, stderr);

  CalibDisplay display;
  if (!ShowCalibrationWindow(display, kProgram, {kWindowEventMask, kSelectEventMask, kClassicFont},
                             stderr)) {
    return FailWithoutWindow(io, channel.fd, [&] { SendClassicFlag(channel, CLASSIC_CALIB_END); });
  }
  XCalibrationScreen screen(display, ClassicFace({display.width, display.height}));
  ClassicFlow flow(context, channel, screen, {display.width, display.height}, stdout);
  const LoopEnd end = RunCalibrationLoop(kProgram, display, flow);
  io.Close(channel.fd);
  // Ok that stored nothing fails; Cancel and Escape are the user's choice.
  return SessionStatus(kProgram, end.signal, end.interrupted, flow.failure(), stderr);
}
