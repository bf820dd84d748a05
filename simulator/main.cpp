// lumaro-sim: runs a command against a simulated camera controller and a
// simulated classic controller.
//
// Their nodes, /dev/lumaro and /dev/LumaroClassic, live in a umockdev
// testbed; the command runs with umockdev's preload library, so its
// open/ioctl/read/write on the nodes reach the handlers here. The trace
// decides what the controllers say; both play from its one cursor.
// The command also sees a USB bus of its own (USB_DEVFS_PATH, inside the
// testbed, which umockdev removes at the end) listing the controller.
#include <glib-unix.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <umockdev.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "simulator/camera_controller.h"
#include "simulator/classic_controller.h"
#include "simulator/classic_node.h"
#include "simulator/sim_log.h"
#include "simulator/sim_options.h"
#include "simulator/touch_node.h"
#include "simulator/usb_bus.h"
#include "trace/controller_state.h"
#include "trace/trace.h"

namespace lumaro::sim {
namespace {

namespace cli = lumaro::cli;

constexpr char kPreloadLibrary[] = "libumockdev-preload.so.0";
constexpr guint kKillGraceSeconds = 5;

struct Simulator {
  GMainLoop* loop = nullptr;
  GPid child = 0;
  bool ended_by_us = false;
  bool lingering = false;
  int exit_status = 0;
  double linger = 1.0;
  TracePlayer* player = nullptr;
  TouchNode* node = nullptr;
  ClassicNode* classic_node = nullptr;
  SimLog* log = nullptr;

  void HideNodes() {
    node->Hide();
    classic_node->Hide();
  }
};

gboolean KillCommand(gpointer user) {
  auto* sim = static_cast<Simulator*>(user);
  std::fprintf(stderr, "lumaro-sim: command ignored SIGTERM; killing it\n");
  kill(sim->child, SIGKILL);
  return G_SOURCE_REMOVE;
}

void EndCommand(Simulator* sim) {
  if (sim->ended_by_us) return;
  sim->ended_by_us = true;
  kill(sim->child, SIGTERM);
  sim->node->InterruptStalledReads();
  g_timeout_add_seconds(kKillGraceSeconds, KillCommand, sim);
}

gboolean OnLingerOver(gpointer user) {
  EndCommand(static_cast<Simulator*>(user));
  return G_SOURCE_REMOVE;
}

gboolean StartLinger(gpointer user) {
  auto* sim = static_cast<Simulator*>(user);
  if (!sim->lingering) {
    sim->lingering = true;
    g_timeout_add(static_cast<guint>(sim->linger * 1000), OnLingerOver, sim);
  }
  return G_SOURCE_REMOVE;
}

// Plays the records between `unplug` and `plug`, where no read drives
// playback: waits pass on the main loop's clock.
gboolean PlayUnplugged(gpointer user) {
  auto* sim = static_cast<Simulator*>(user);
  const UnpluggedStep step = sim->player->NextUnplugged();
  switch (step.kind) {
    case UnpluggedStep::Kind::kWait:
      g_timeout_add(step.wait_ms, PlayUnplugged, sim);
      break;
    case UnpluggedStep::Kind::kPlug:
      sim->node->Restore();
      sim->classic_node->Restore();
      break;
    case UnpluggedStep::Kind::kExhausted:
      StartLinger(sim);
      break;
  }
  return G_SOURCE_REMOVE;
}

gboolean OnSignal(gpointer user) {
  EndCommand(static_cast<Simulator*>(user));
  return G_SOURCE_CONTINUE;
}

void OnChildExit(GPid, gint status, gpointer user) {
  auto* sim = static_cast<Simulator*>(user);
  // The command's own status, also when the simulator ended it: a command
  // that fails on SIGTERM, or dies of it, is not reported as a success.
  if (WIFEXITED(status)) {
    sim->exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    sim->exit_status = 128 + WTERMSIG(status);
  }
  if (sim->ended_by_us) sim->log->Line("command ended by lumaro-sim");
  sim->log->Line("command exited " + std::to_string(sim->exit_status));
  g_main_loop_quit(sim->loop);
}

bool WriteState(const std::string& path, const trace::ControllerState& state, std::string* error) {
  std::string text = trace::HeaderLine() + "\n";
  for (const trace::Record& record : trace::StateRecords(state)) {
    text += trace::FormatRecord(record) + "\n";
  }
  return cli::WriteFileAtomically(path, text, error);
}

// Puts umockdev's preload library in front of any the caller set.
void SetPreload() {
  std::string preload = kPreloadLibrary;
  if (const char* existing = g_getenv("LD_PRELOAD"); existing != nullptr && *existing != '\0') {
    preload += std::string(":") + existing;
  }
  g_setenv("LD_PRELOAD", preload.c_str(), TRUE);
}

// A group by name, or by number when no group has that name.
bool LookUpGroup(const std::string& name, gid_t* gid) {
  if (const group* entry = getgrnam(name.c_str()); entry != nullptr) {
    *gid = entry->gr_gid;
    return true;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(name.c_str(), &end, 10);
  if (name.empty() || *end != '\0' || errno != 0 || name[0] == '-' ||
      value >= static_cast<unsigned long>(static_cast<gid_t>(-1))) {
    return false;
  }
  *gid = static_cast<gid_t>(value);
  return true;
}

// Lets other users through the testbed (only the node and channel files
// named there are opened to them) and hands both nodes to `group_name`.
bool GrantNodeGroup(UMockdevTestbed* testbed, const std::string& group_name,
                    std::initializer_list<EmulatedNode*> nodes, std::string* error) {
  gid_t gid = 0;
  if (!LookUpGroup(group_name, &gid)) {
    *error = "no group " + group_name;
    return false;
  }
  gchar* root = umockdev_testbed_get_root_dir(testbed);
  const bool traversable = chmod(root, 0711) == 0;
  if (!traversable)
    *error = std::string("cannot open the testbed ") + root + ": " + std::strerror(errno);
  g_free(root);
  if (!traversable) return false;
  for (EmulatedNode* node : nodes) {
    if (!node->GrantGroup(gid, error)) return false;
  }
  return true;
}

// Reads and parses TRACE; kOk, or the status to exit with.
int LoadTrace(const std::string& path, trace::Trace* trace) {
  std::string text, error;
  if (!cli::ReadInput(path, &text, &error)) return cli::Fail("lumaro-sim", error, cli::kBadInput);
  if (!trace::ParseTrace(text, trace, &error)) {
    const std::string name = path == "-" ? "standard input" : path;
    return cli::Fail("lumaro-sim", name + ": " + error, cli::kBadInput);
  }
  return cli::kOk;
}

// The testbed and the nodes in it; the nodes go before the testbed they
// live in.
struct Testbed {
  UMockdevTestbed* bed = umockdev_testbed_new();
  std::unique_ptr<TouchNode> node;
  std::unique_ptr<ClassicNode> classic_node;

  Testbed() = default;
  Testbed(const Testbed&) = delete;
  Testbed& operator=(const Testbed&) = delete;
  ~Testbed() {
    classic_node.reset();
    node.reset();
    g_object_unref(bed);
  }
};

// Makes both nodes, hands them to the group asked for and lays out the USB
// bus; false with *error set when any of it fails.
bool SetUpTestbed(const SimOptions& options, CameraController& controller,
                  ClassicController& classic, Simulator& sim, Testbed& testbed,
                  std::string* error) {
  EmulatedNode::Events events;
  events.unplugged = [](void* user) {
    auto* sim = static_cast<Simulator*>(user);
    sim->HideNodes();
    g_idle_add(PlayUnplugged, sim);
  };
  events.exhausted = [](void* user) { g_idle_add(StartLinger, user); };
  events.user = &sim;
  testbed.node = TouchNode::Create(testbed.bed, &controller, options.rate, events, error);
  if (testbed.node)
    testbed.classic_node = ClassicNode::Create(testbed.bed, &classic, events, error);
  if (!testbed.node || !testbed.classic_node) return false;
  sim.node = testbed.node.get();
  sim.classic_node = testbed.classic_node.get();
  if (!options.node_group.empty() &&
      !GrantNodeGroup(testbed.bed, options.node_group,
                      {testbed.node.get(), testbed.classic_node.get()}, error)) {
    return false;
  }
  // Under /dev/bus/usb of the testbed: a client that walks the default path
  // under the preload library finds the same bus.
  gchar* root = umockdev_testbed_get_root_dir(testbed.bed);
  const std::string usb_dir = std::string(root) + "/dev/bus/usb";
  g_free(root);
  if (!CreateUsbBus(usb_dir, options.usb_device, error)) return false;
  g_setenv("USB_DEVFS_PATH", usb_dir.c_str(), TRUE);
  return true;
}

// Runs the command under the preload library until it ends; its status, or
// 127 with *ran false when it cannot be run. The signals are caught before the command
// starts: one that comes early still ends the command rather than the
// simulator.
int RunCommand(const std::vector<std::string>& command, Simulator& sim, bool* ran) {
  sim.loop = g_main_loop_new(nullptr, FALSE);
  const guint sigint = g_unix_signal_add(SIGINT, OnSignal, &sim);
  const guint sigterm = g_unix_signal_add(SIGTERM, OnSignal, &sim);
  SetPreload();
  std::vector<gchar*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<gchar*>(arg.c_str()));
  argv.push_back(nullptr);
  GError* spawn_error = nullptr;
  const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                              G_SPAWN_CHILD_INHERITS_STDIN);
  int status = 127;
  *ran = g_spawn_async(nullptr, argv.data(), nullptr, flags, nullptr, nullptr, &sim.child,
                       &spawn_error);
  if (*ran) {
    g_child_watch_add(sim.child, OnChildExit, &sim);
    g_main_loop_run(sim.loop);
    g_spawn_close_pid(sim.child);
    status = sim.exit_status;
  } else {
    std::fprintf(stderr, "lumaro-sim: cannot run %s: %s\n", command[0].c_str(),
                 spawn_error->message);
    g_error_free(spawn_error);
  }
  g_source_remove(sigint);
  g_source_remove(sigterm);
  g_main_loop_unref(sim.loop);
  return status;
}

int Run(const SimOptions& options) {
  trace::Trace trace;
  if (const int status = LoadTrace(options.trace_path, &trace); status != cli::kOk) return status;
  // The log is written as the run goes (a reader may follow it), so it is
  // written in place.
  std::FILE* log_file = stderr;
  if (!options.log_path.empty()) {
    log_file = std::fopen(options.log_path.c_str(), "w");
    if (log_file == nullptr) {
      return cli::Fail("lumaro-sim", options.log_path + ": " + std::strerror(errno), cli::kFailed);
    }
  }
  SimLog log(log_file);
  CameraController controller(&trace, &log, options.packet_rate, options.faults, /*live=*/true);
  ClassicController classic(controller.player(), &log, options.classic);
  Simulator sim;
  sim.linger = options.linger;
  sim.player = controller.player();
  sim.log = &log;

  int status = cli::kFailed;
  std::string error;
  {
    Testbed testbed;
    if (!SetUpTestbed(options, controller, classic, sim, testbed, &error)) {
      std::fprintf(stderr, "lumaro-sim: %s\n", error.c_str());
    } else {
      if (sim.player->StartsUnplugged()) {
        sim.HideNodes();
        g_idle_add(PlayUnplugged, &sim);
      }
      bool ran = false;
      status = RunCommand(options.command, sim, &ran);
      testbed.node->Shutdown();
      testbed.classic_node->Shutdown();
      if (ran && !options.state_out_path.empty() &&
          !WriteState(options.state_out_path, sim.player->State(), &error)) {
        std::fprintf(stderr, "lumaro-sim: %s\n", error.c_str());
        if (status == 0) status = cli::kFailed;
      }
    }
  }
  if (log_file != stderr && (std::fclose(log_file) != 0 || log.failed())) {
    std::fprintf(stderr, "lumaro-sim: %s: cannot be written\n", options.log_path.c_str());
    if (status == 0) status = cli::kFailed;
  }
  return status;
}

}  // namespace
}  // namespace lumaro::sim

int main(int argc, char** argv) {
  using namespace lumaro::sim;
  const std::vector<std::string> args(argv + 1, argv + argc);
  SimOptions options;
  bool help = false;
  std::string error;
  if (!ParseSimOptions(args, &options, &help, &error)) {
    return lumaro::cli::UsageError(
        "lumaro-sim", error,
        "usage: lumaro-sim [OPTION]... TRACE -- COMMAND [ARGS...] (--help lists the options)\n");
  }
  if (help) return lumaro::cli::PrintHelp("lumaro-sim", SimHelp().c_str());
  if (options.version) return lumaro::cli::PrintVersion("lumaro-sim");
  return Run(options);
}
