// Records what a camera controller answers into a trace: its identity and
// parameter blocks, then every read, in order. Identification is repeated
// for a frame that asks for it (kReinitFrameMarker), and what changed is written above
// that frame, which is where a replay's identification looks for it.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "driver-interface/device_io.h"

namespace lumaro::tools {

struct RecordResult {
  long frames = 0;
  long read_errors = 0;  // failed reads recorded (time-outs, the last failure)
  bool ok = true;
  bool opened = false;        // the node could be opened
  bool write_failed = false;  // `out` refused a write: the trace is incomplete
  std::string error;          // why recording stopped early
};

// Called after every read with the counts so far.
using RecordProgress = std::function<void(const RecordResult&)>;

// Records from the touch node until `max_frames` frames (0: no limit), a read
// failure other than a time-out, a write failure, or `stop`.
RecordResult RecordTrace(DeviceIo& io, std::FILE* out, long max_frames,
                         const std::atomic<bool>& stop, const RecordProgress& progress = {});

}  // namespace lumaro::tools
