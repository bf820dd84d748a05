// Least-squares polynomial maps from raw controller coordinates to screen
// targets: total degree 1 from at least 3 points, total degree 3 from at least
// 10. Each writes offsets 0 to 39 of its coefficient block on success only.
#pragma once

#include <algorithm>
#include <span>

#include "driver-interface/blocks.h"

namespace lumaro {

// One axis's points: the target and the raw position of each. The fit uses
// as many points as the shortest of the three holds.
struct FitPoints {
  std::span<const float> targets;
  std::span<const float> raw_x;
  std::span<const float> raw_y;
  std::size_t Count() const { return std::min({targets.size(), raw_x.size(), raw_y.size()}); }
};

// Both axes' points.
struct CalibPoints {
  std::span<const float> target_x;
  std::span<const float> target_y;
  std::span<const float> raw_x;
  std::span<const float> raw_y;
};

// Degree 1: the constant, y and x terms, zeros for the seven others.
bool FitLinear(FitPoints points, ParamBlock& block);
// Degree 3: all ten terms.
bool FitCubic(FitPoints points, ParamBlock& block);
// The map of `block` (offsets 0 to 39) at the raw position (x, y).
double EvaluateMap(const ParamBlock& block, double x, double y);

// Fits target_x into calib_x and target_y into calib_y, both always
// attempted, with the cubic fit in advanced mode. True only when both succeed.
bool FitAxes(const CalibPoints& points, ParamBlock& calib_x, ParamBlock& calib_y, bool advanced);

}  // namespace lumaro
