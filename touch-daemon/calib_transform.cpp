#include "touch-daemon/calib_transform.h"

#include <bit>

namespace lumaro {

void SetIdentityTransform(CalibTransform& transform) {
  transform.XPart.fill(0);
  transform.YPart.fill(0);
  calib::SetCoefficient(transform.XPart, calib::kTermU, 1.0f);
  calib::SetCoefficient(transform.YPart, calib::kTermV, 1.0f);
  transform.WidthScale = 1.0f;
  transform.BoundTop = 0;
  transform.BoundBottom = kReportRange;
  transform.BoundLeft = 0;
  transform.BoundRight = kReportRange;
}

CalibStateInfo DecodeCalibState(std::uint8_t state) {
  if (std::popcount(state) % 2 == 0) return {false, 0};
  if (state == 1) return {true, 0};
  if ((state & 1) == 0) return {false, ((state >> 1) & 0x3F) + 1};
  return {false, 0};
}

}  // namespace lumaro
