// The doctor's picture: each camera's line images over time as a waterfall
// (samples across, scans down, lit light and shadow dark), with the lens
// window, the shadows the engine kept and the findings on top, and the
// reported touch paths beside them.
#pragma once

#include <string>

#include "tools/doctor/diagnosis.h"
#include "tools/doctor/frame_probe.h"

namespace lumaro::doctor {

// Draws the picture and writes it to `path` (replaced only when complete).
bool WriteWaterfallPng(const std::string& path, const std::string& trace_name,
                       const ProbeResult& probe, const Diagnosis& diagnosis, std::string* error);

}  // namespace lumaro::doctor
