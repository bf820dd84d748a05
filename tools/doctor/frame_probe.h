// What the daemon's frame path makes of a trace, stage by stage: the line
// images each scan decoded to, the shadows the engine kept per camera, the
// touch points, the reports written, and what happened on the link. The
// doctor's checks and picture read this record only; how it is gathered
// from the daemon's code stays inside frame_probe.cpp.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "driver-interface/blocks.h"
#include "touch-daemon/engine/records.h"
#include "trace/trace.h"

namespace lumaro::doctor {

inline constexpr int kCameraA = 0;
inline constexpr int kCameraB = 1;
inline constexpr int kSamples = kLinePixels;  // samples of a line image

// One decoded line image: bit i set when sample i is shadowed.
using LineBits = std::bitset<kSamples>;

struct ProbeShadow {
  std::int32_t first = 0;
  std::int32_t end = 0;  // exclusive
};

// One scan through the engine. Cameras are indexed kCameraA, kCameraB, as
// the engine names them after the orientation bit.
struct ScanProbe {
  std::array<LineBits, 2> lines;
  std::array<std::array<ProbeShadow, kMaxShadows>, 2> shadows{};  // kept by the engine
  std::array<std::int32_t, 2> shadow_count{};
  std::array<EnginePoint, 2> touches{};  // the engine's unsmoothed slots
  // Both cameras kept two shadows: how far apart the size agreement of the
  // two pairings of the four intersections was (0: a tie). -1 otherwise.
  double pairing_margin = -1;
  std::size_t reports_before = 0;  // reports written before this scan
};

struct LinkProbe {
  int sessions = 0;  // successful opens
  int failed_opens = 0;
  std::map<int, int> read_errors;  // errno -> count, time-outs excluded
  int timeouts = 0;
  int empty_reads = 0;
  int unplugs = 0;
  int reidentifications = 0;  // frames marked kReinitFrameMarker
  int frames = 0;             // successful reads
  int dropped_frames = 0;     // frames the intake could not use
  int sessions_ended_by_error = 0;
};

// One identification request and its answer.
struct RequestProbe {
  unsigned long code = 0;
  bool answered = false;
};

struct IdentityProbe {
  std::uint32_t product = 0;
  int series = 0;
  std::string size_text;
  std::vector<RequestProbe> requests;  // of the last identification
  bool geometry_valid = false;
  bool lens_a_valid = false;
  bool lens_b_valid = false;
};

struct CalibrationProbe {
  bool calibrated = false;
  std::array<float, 10> x{};  // coefficients c0 .. c9 of the stored map
  std::array<float, 10> y{};
  std::int32_t device_width = 0;
  std::int32_t device_height = 0;
};

struct ProbeResult {
  IdentityProbe identity;
  CalibrationProbe calibration;
  LinkProbe link;
  std::array<LensModel, 2> lenses{};  // [kCameraA], [kCameraB], as the engine uses them
  EngineScale scale{};
  std::vector<ScanProbe> scans;
  std::vector<std::array<report::Contact, 2>> reports;
};

// Runs the daemon's device loop, identification, set-up, intake, engine,
// filters and report writer over the trace, as lumaro-replay does.
ProbeResult ProbeTrace(const trace::Trace& trace);

// The viewing angle, in radians, of a line position through a camera's lens.
double SampleAngle(const LensModel& lens, double sample);

}  // namespace lumaro::doctor
