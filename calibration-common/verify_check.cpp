#include "calibration-common/verify_check.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "driver-interface/blocks.h"
#include "trace/report_line.h"

namespace lumaro {

std::optional<ScreenPoint> TouchFollower::OnLine(std::string_view line) {
  std::vector<std::uint8_t> bytes;
  report::Contact contact{};
  if (!trace::ParseReportLine(line, &bytes) || !report::ReadContact(bytes, 0, &contact)) {
    return std::nullopt;
  }
  if (contact.down != 0) {
    down_ = ScreenPoint{static_cast<double>(contact.x), static_cast<double>(contact.y)};
    return std::nullopt;
  }
  return std::exchange(down_, std::nullopt);
}

std::optional<ScreenPoint> VerifyCheck::Target() const {
  if (done()) return std::nullopt;
  const auto& t = kVerifyTargets[errors_.size()];
  return ScreenPoint{std::floor(t[0] * width_), std::floor(t[1] * height_)};
}

double VerifyCheck::Touch(ScreenPoint report) {
  const std::optional<ScreenPoint> target = Target();
  if (!target) return 0.0;
  const double error = std::hypot(report.x * width_ / kReportUnits - target->x,
                                  report.y * height_ / kReportUnits - target->y);
  errors_.push_back(error);
  return error;
}

Residual VerifyCheck::Errors() const {
  return MeasureResidual(errors_.size(), [&](std::size_t i) { return PixelMiss{errors_[i], 0.0}; });
}

std::string VerifyCheck::Verdict() const {
  const Residual r = Errors();
  char text[128];
  std::snprintf(text, sizeof text, "verify: largest %.1f px, mean %.1f px, tolerance %.1f px: %s",
                r.largest, r.mean, tolerance_, Passed() ? "pass" : "FAIL");
  return text;
}

}  // namespace lumaro
