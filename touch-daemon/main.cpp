// lumarod: the touch engine daemon. No options; runs until it is killed.
#include <unistd.h>

#include <cstdio>

#include "driver-interface/device_io.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"

int main() {
  lumaro::SystemDeviceIo io;
  lumaro::DiagnosticSink log(stdout);
  lumaro::DaemonLoop loop(io, log,
                          {
                              .sleep = [](unsigned int seconds) { ::sleep(seconds); },
                              .keep_running = [] { return true; },
                          });
  loop.Run();
  return 0;
}
