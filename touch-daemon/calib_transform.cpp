#include "touch-daemon/calib_transform.h"

namespace lumaro {

CalibTransform IdentityTransform() {
  CalibTransform transform{};
  calib::SetCoefficient(transform.XPart, calib::kTermU, 1.0f);
  calib::SetCoefficient(transform.YPart, calib::kTermV, 1.0f);
  return transform;
}

bool IsCalibrated(std::uint8_t state) {
  return state == 1;
}

}  // namespace lumaro
