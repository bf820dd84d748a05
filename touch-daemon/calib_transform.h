// The calibration transform applied to reports, and the decoding of the
// controller's calibration-state byte.
#pragma once

#include <cstdint>

#include "driver-interface/blocks.h"

namespace lumaro {

struct CalibTransform {
  ParamBlock XPart;  // copy of a CalibX block: ten coefficients, then 18 bytes
  ParamBlock YPart;  // copy of a CalibY block
  float WidthScale;  // factor for the contact width
  // Active area in report units.
  std::uint16_t BoundTop;
  std::uint16_t BoundBottom;
  std::uint16_t BoundLeft;
  std::uint16_t BoundRight;
};

// Upper bound of the identity transform on both axes.
inline constexpr std::uint16_t kReportRange = 0x8000;

// All coefficients 0 except X's coefficient of u and Y's of v (1.0); width
// scale 1.0; bounds 0 .. kReportRange on both axes.
void SetIdentityTransform(CalibTransform& transform);

struct CalibStateInfo {
  bool calibrated;
  int count;  // 1 .. 64 when the byte carries a count, else 0
};

// A byte is valid only with an odd number of set bits. The valid value 1
// means calibrated; a valid value with bit 0 clear carries n - 1 in bits 1 to
// 6 (bit 7 being the parity bit). Every other value means not calibrated.
CalibStateInfo DecodeCalibState(std::uint8_t state);

}  // namespace lumaro
