// The daemon's own loop over a trace, offline: what lumaro-replay runs and
// what the golden replays compare.
#pragma once

#include <cstdio>

#include "trace/trace.h"

namespace lumaro::tools {

struct ReplayOutput {
  std::FILE* reports = nullptr;      // "report HEX" per report written
  std::FILE* diagnostics = nullptr;  // the daemon's lines
  // The controller's side: requests, read errors, unplugs and the loop's
  // sleeps ("sleep N"), as the simulator logs them. Null drops them.
  std::FILE* device = nullptr;
  bool decoded = false;  // reports as contact records (see ReportLine)
};

// Plays the trace to its end. Any stream may be the same as another: lines
// come out in the order they happen.
void Replay(const trace::Trace& trace, const ReplayOutput& out);

}  // namespace lumaro::tools
