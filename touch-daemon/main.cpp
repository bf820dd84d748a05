// lumarod: the touch engine daemon. Runs until it is killed. Besides --help
// and --version it takes the monitor stream's socket and readers' group;
// other arguments are ignored.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/options.h"
#include "driver-interface/device_io.h"
#include "touch-daemon/daemon_loop.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/monitor/daemon_monitor.h"

namespace {

namespace cli = lumaro::cli;

constexpr char kProgram[] = "lumarod";
constexpr char kUsage[] = "usage: lumarod [--monitor PATH] [--monitor-group GROUP]\n";
constexpr char kAbout[] =
    "The touch engine daemon: reads camera frames from /dev/lumaro and writes\n"
    "touch reports back, until it is stopped. Its lines go to standard output.\n";

// Parses the command line into *settings; cli::kParsed to go on. Arguments
// the table does not know are ignored.
int ParseCommandLine(int argc, char** argv, lumaro::monitor::MonitorSettings* settings) {
  auto into = [](std::string* field) {
    return [field](const std::string& value, std::string*) {
      *field = value;
      return true;
    };
  };
  std::vector<cli::Option> table{
      {"--monitor", "PATH",
       "the monitor stream's socket (default /run/lumaro/monitor;\n"
       "a socket passed by systemd takes its place)",
       into(&settings->path)},
      {"--monitor-group", "GROUP", "the group whose members may read it (default lumaro)",
       into(&settings->group)},
  };
  cli::ParseSetup setup;
  setup.ignore_unknown = true;
  return cli::ParseCommandLine({kProgram, kUsage, kAbout, ""}, std::move(table), setup,
                               cli::Arguments(argc, argv));
}

}  // namespace

int main(int argc, char** argv) {
  lumaro::monitor::MonitorSettings monitor_settings;
  if (const int status = ParseCommandLine(argc, argv, &monitor_settings); status != cli::kParsed) {
    return status;
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
