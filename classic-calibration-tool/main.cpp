// tapalign-classic: calibrates the classic touch controller on an X11 display.
//   tapalign-classic           4 points
//   tapalign-classic --reset   the controller runs uncalibrated
// Exit status 1 when the request was not carried out (no node, the record not
// read whole or not stored), with one line on standard error; 0 otherwise.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

#include "calibration-common/calib_display.h"
#include "calibration-common/tick.h"
#include "calibration-common/window_events.h"
#include "classic-calibration-tool/classic_flow.h"
#include "classic-calibration-tool/classic_startup.h"
#include "classic-calibration-tool/x_screen.h"
#include "driver-interface/requests.h"

namespace {

using namespace lumaro;

constexpr char kProgram[] = "tapalign-classic";
constexpr long kWindowEventMask =
    KeyPressMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | ExposureMask;
constexpr long kSelectEventMask = KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                                  ExposureMask | ResizeRedirectMask | SubstructureRedirectMask;

void ClearTerminal() {
  std::fflush(stdout);
  const int status = std::system("clear");
  (void)status;  // a terminal that cannot be cleared changes nothing
}

// Ends a calibration that cannot show its window: point collection ended,
// node closed, status 1.
int FailWithoutWindow(ClassicChannel& channel) {
  SendClassicFlag(channel, CLASSIC_CALIB_END);
  channel.io.Close(channel.fd);
  return 1;
}

ClassicContext context;  // zero-filled with the process

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  SystemDeviceIo system_io;
  TickGatedIo io(system_io, CLASSIC_TOUCH_READ);
  ClassicChannel channel{io};
  bool failed = false;
  if (!BeginClassic(context, channel, argc, argv, stdout, stderr, ClearTerminal, &failed)) {
    return failed ? 1 : 0;
  }

  CalibDisplay display;
  if (!OpenCalibDisplay(display, kProgram, stderr)) return FailWithoutWindow(channel);
  if (!SetUpCalibrationWindow(display, {kWindowEventMask, kSelectEventMask, kClassicFont})) {
    std::fprintf(stderr, "%s: no font can be loaded\n", kProgram);
    ReleaseCalibDisplay(display);
    return FailWithoutWindow(channel);
  }

  XClassicScreen screen(display);
  ClassicFlow flow(context, channel, screen, {display.width, display.height}, stderr);
  StartTicks();
  flow.Begin();
  while (!flow.finished()) {
    if (TakeTick()) {
      DispatchWindowEvents(display, flow);
      continue;
    }
    flow.PollTouch();
  }
  StopTicks();
  io.Close(context.fd);
  // Ok that stored nothing fails; Cancel and Escape are the user's choice.
  return flow.failed() ? 1 : 0;
}
