// The calibration transform applied to reports, and the decoding of the
// controller's calibration-state byte.
#pragma once

#include <cstdint>

#include "driver-interface/blocks.h"

namespace lumaro {

struct CalibTransform {
  ParamBlock XPart;  // copy of a CalibX block: ten coefficients, then 18 bytes
  ParamBlock YPart;  // copy of a CalibY block
};

// All coefficients 0 except X's coefficient of u and Y's of v (1.0).
CalibTransform IdentityTransform();

// Whether the controller's calibration-state byte says calibrated: only the
// value 1 does (a byte is valid only with an odd number of set bits; the
// other valid values carry a point count of an unfinished calibration).
bool IsCalibrated(std::uint8_t state);

}  // namespace lumaro
