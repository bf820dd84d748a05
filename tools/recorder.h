// Records what a camera controller answers into a trace: its identity and
// parameter blocks, then every read, in order. Identification is repeated
// for a frame that asks for it (0xA1), and what changed is written above
// that frame, which is where a replay's identification looks for it.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>

#include "driver-interface/device_io.h"

namespace lumaro::tools {

struct RecordResult {
  long frames = 0;
  bool ok = true;
  std::string error;  // why recording stopped early
};

// Records from the touch node until `max_frames` frames (0: no limit), a read
// failure other than a time-out, or `stop`.
RecordResult RecordTrace(DeviceIo& io, std::FILE* out, long max_frames,
                         const std::atomic<bool>& stop);

}  // namespace lumaro::tools
