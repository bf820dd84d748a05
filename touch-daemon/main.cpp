// lumarod: the touch engine daemon. Runs until it is killed; only --help and
// --version are understood, other arguments are ignored.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "driver-interface/device_io.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      return lumaro::cli::PrintHelp(
          "lumarod",
          "usage: lumarod\n"
          "The touch engine daemon: reads camera frames from /dev/lumaro and writes\n"
          "touch reports back, until it is stopped. Its lines go to standard output.\n"
          "  --help      this text\n"
          "  --version   the version\n");
    }
    if (std::strcmp(argv[i], "--version") == 0) return lumaro::cli::PrintVersion("lumarod");
  }
  // On standard error, so the daemon's own lines on standard output stay as
  // they are; a journal shows both.
  std::fprintf(stderr, "lumarod %s\n", lumaro::kVersion);
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
