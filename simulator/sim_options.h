// Command line of lumaro-sim.
#pragma once

#include <string>
#include <vector>

namespace lumaro::sim {

struct SimOptions {
  double rate = 240.0;   // frames (half-frames) served per second
  double linger = 1.0;   // seconds between the end of the trace and SIGTERM
  std::string log_path;  // empty: standard error
  std::string state_out_path;
  std::string trace_path;
  std::vector<std::string> command;
};

inline constexpr char kUsage[] =
    "usage: lumaro-sim [--rate FRAMES_PER_S] [--linger SECONDS] [--log FILE]\n"
    "                  [--state-out FILE] TRACE -- COMMAND [ARGS...]\n"
    "Runs COMMAND against a simulated camera controller at /dev/lumaro played from TRACE.\n";

// Parses argv; on failure returns false with the reason in *error. `--help`
// sets *help and returns true.
bool ParseSimOptions(const std::vector<std::string>& args, SimOptions* options, bool* help,
                     std::string* error);

}  // namespace lumaro::sim
