// lumarod: the touch engine daemon. Runs until it is killed. Besides --help
// and --version it takes the monitor stream's socket and readers' group;
// other arguments are ignored.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "driver-interface/device_io.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/monitor/daemon_monitor.h"

int main(int argc, char** argv) {
  lumaro::monitor::MonitorSettings monitor_settings;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      return lumaro::cli::PrintHelp(
          "lumarod",
          "usage: lumarod [--monitor PATH] [--monitor-group GROUP]\n"
          "The touch engine daemon: reads camera frames from /dev/lumaro and writes\n"
          "touch reports back, until it is stopped. Its lines go to standard output.\n"
          "  --monitor PATH         the monitor stream's socket (default /run/lumaro/monitor;\n"
          "                         a socket passed by systemd takes its place)\n"
          "  --monitor-group GROUP  the group whose members may read it (default lumaro)\n"
          "  --help                 this text\n"
          "  --version              the version\n");
    }
    if (std::strcmp(argv[i], "--version") == 0) return lumaro::cli::PrintVersion("lumarod");
    const bool path = std::strcmp(argv[i], "--monitor") == 0;
    if (path || std::strcmp(argv[i], "--monitor-group") == 0) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "lumarod: %s needs a value\n", argv[i]);
        return 2;
      }
      (path ? monitor_settings.path : monitor_settings.group) = argv[++i];
    }
  }
  // On standard error, so the daemon's own lines on standard output stay as
  // they are; a journal shows both.
  std::fprintf(stderr, "lumarod %s\n", lumaro::kVersion);
  lumaro::SystemDeviceIo device;
  lumaro::monitor::DaemonMonitor monitor(device);
  std::string error;
  if (!monitor.Start(monitor_settings, stderr, &error)) {
    std::fprintf(stderr, "lumarod: %s\n", error.c_str());
    return 2;
  }
  lumaro::DiagnosticSink log(stdout);
  lumaro::DaemonLoop loop(monitor.io(), log,
                          {
                              .sleep = [](unsigned int seconds) { ::sleep(seconds); },
                              .keep_running = [] { return true; },
                          });
  loop.Run();
  return 0;
}
