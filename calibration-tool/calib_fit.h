// Least-squares polynomial maps from raw controller coordinates to screen
// targets: total degree 1 from at least 3 points, total degree 3 from at least
// 10. Each writes offsets 0 to 39 of its coefficient block on success only.
#pragma once

#include <cstdint>

#include "driver-interface/blocks.h"

namespace lumaro {

// Degree 1: the constant, y and x terms, zeros for the seven others.
bool FitLinear(const float* targets, const float* rawX, const float* rawY, std::int32_t n,
               ParamBlock& block);
// Degree 3: all ten terms.
bool FitCubic(const float* targets, const float* rawX, const float* rawY, std::int32_t n,
              ParamBlock& block);
// Fits targetX into CalibX and targetY into CalibY, both always attempted,
// with the cubic fit in advanced mode. True only when both succeed.
bool FitAxes(const float* targetX, const float* targetY, const float* rawX, const float* rawY,
             std::int32_t n, ParamBlock& CalibX, ParamBlock& CalibY, bool advanced);

}  // namespace lumaro
