// Command line of lumaro-sim.
#pragma once

#include <string>
#include <vector>

#include "simulator/classic_controller.h"
#include "simulator/trace_player.h"

namespace lumaro::sim {

struct SimOptions {
  double rate = 240.0;         // frames (half-frames) served per second
  double packet_rate = 200.0;  // touch packets served per second
  double linger = 1.0;         // seconds between the end of the trace and SIGTERM
  bool usb_device = true;      // the simulated USB bus lists the controller
  bool version = false;        // --version: print it and exit
  std::string log_path;        // empty: standard error
  std::string state_out_path;
  std::string node_group;  // empty: the nodes keep umockdev's owner and mode
  std::string trace_path;
  std::vector<std::string> command;
  ClassicFaults classic;  // misbehaviour of /dev/LumaroClassic
  FaultOptions faults;    // faults of /dev/lumaro beyond the trace's own
};

// The --help text, its options from the same table the parser uses.
std::string SimHelp();

// Parses argv; on failure returns false with the reason in *error. `--help`
// sets *help and returns true; `--version` sets options->version.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, bool* help,
                     std::string* error);

}  // namespace lumaro::sim
