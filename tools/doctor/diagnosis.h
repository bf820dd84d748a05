// The doctor's checks over what the frame path made of a trace: one verdict
// per check, in words a technician understands, and the findings the
// picture highlights.
//
// Thresholds (documented in lumaro-doctor(1)):
// - a scan is blocked for a camera when under 2% of its lens window is lit;
//   the camera is blocked (fail) in more than half the scans, warned about
//   from 3 blocked scans on;
// - an obstruction is a run of samples shadowed in at least 95% of the
//   camera's unblocked scans, and in at least 95% of those (10 at least) in
//   which the other camera sees no shadow at all;
// - noise counts specks and holes: runs of samples inside the window that
//   differ from both sides in their own scan and are absent from the scans
//   before and after; warn above 2, fail above 10 per 100 scans;
// - a camera's window warns when at least 20% (and 10) of the scans in which
//   it keeps a shadow meet the lens window's edge, and fails at 50%.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "tools/doctor/frame_probe.h"

namespace lumaro::doctor {

enum class Status { kOk, kWarn, kFail };
const char* StatusName(Status status);

inline constexpr double kNoiseWarnPer100 = 2.0;
inline constexpr double kNoiseFailPer100 = 10.0;

// Where a camera's line of sight through a sample ends on the touch area's
// border.
struct BorderPoint {
  bool valid = false;
  double angle_deg = 0;
  double x = 0;  // report units
  double y = 0;
  std::string side;     // "top", "bottom", "left", "right"
  double fraction = 0;  // along the side: from the left, or from the top
};

struct Obstruction {
  int first = 0;
  int end = 0;       // exclusive
  double share = 0;  // of the unblocked scans in which it is shadowed
  BorderPoint border;
};

struct Speck {
  int scan = 0;
  int first = 0;
  int end = 0;
};

struct CameraFindings {
  std::vector<bool> blocked;  // per scan
  std::vector<Obstruction> obstructions;
  std::vector<Speck> specks;
  int edge_scans = 0;  // scans whose kept shadow meets the window edge
};

struct Check {
  std::string id;
  Status status = Status::kOk;
  std::string summary;
  std::string action;      // empty when there is nothing to do
  std::string json_extra;  // further members, each as ,"name":VALUE
};

struct Diagnosis {
  std::size_t scans = 0;
  std::size_t reports = 0;
  Status verdict = Status::kOk;
  std::vector<Check> checks;  // always every check, in a fixed order
  std::array<CameraFindings, 2> cameras;
};

Diagnosis Diagnose(const ProbeResult& probe);

// Where the line of sight through `sample` of a camera leaves the touch area.
BorderPoint BorderOf(const ProbeResult& probe, int camera, double sample);

// One line per check: status, id, what was found, and what to do.
std::string FormatText(const Diagnosis& diagnosis);
std::string FormatJson(const Diagnosis& diagnosis, const std::string& trace_path);
// The checks and the link's counts as gauges in the Prometheus text format.
std::string FormatPrometheus(const Diagnosis& diagnosis, const LinkProbe& link);

// 0 ok, 1 warnings only, 2 any failure.
int ExitStatus(const Diagnosis& diagnosis);

}  // namespace lumaro::doctor
