// The doctor's picture: each camera's line images over time as a waterfall
// (samples across, scans down, lit light and shadow dark), with the lens
// window, the shadows the engine kept and the findings on top, and the
// reported touch paths beside them.
#pragma once

#include <string>
#include <vector>

#include "tools/doctor/diagnosis.h"
#include "tools/doctor/frame_probe.h"

namespace lumaro::doctor {

// A link event of the trace, placed in time by the frames read before it.
struct LinkMark {
  enum class Kind { kReadError, kUnplug, kReidentify };
  Kind kind;
  double at;  // 0 at the first frame, 1 after the last
};
std::vector<LinkMark> LinkMarks(const trace::Trace& trace);

// Draws the picture into *png (PNG bytes): the waterfalls with the link
// events beside them, the reported paths with where the cameras sit.
bool DrawWaterfallPng(const std::string& trace_name, const trace::Trace& trace,
                      const ProbeResult& probe, const Diagnosis& diagnosis, std::string* png,
                      std::string* error);

}  // namespace lumaro::doctor
