#include "touch-daemon/report_output.h"

#include <algorithm>

#include "driver-interface/blocks.h"
#include "touch-daemon/engine/saturate.h"

namespace lumaro {
namespace {

inline constexpr std::int32_t kReportMax = 32767;

// c0 v^3 + c1 u v^2 + c2 u^2 v + c3 u^3 + c4 v^2 + c5 u v + c6 u^2 + c7 v
// + c8 u + c9, each product and the sum formed left to right in float.
float EvaluateCubic(const ParamBlock& part, float u, float v) {
  float c[calib::kCoefficientCount];
  for (int i = 0; i < calib::kCoefficientCount; ++i) c[i] = calib::Coefficient(part, i);
  return c[0] * v * v * v + c[1] * u * v * v + c[2] * u * u * v + c[3] * u * u * u + c[4] * v * v +
         c[5] * u * v + c[6] * u * u + c[7] * v + c[8] * u + c[9];
}

// A coordinate as the report carries it: 0 .. 32767.
std::uint16_t ReportCoordinate(std::int32_t value) {
  return static_cast<std::uint16_t>(std::clamp(value, 0, kReportMax));
}

}  // namespace

TransformedPoint ApplyTransform(const CalibTransform& transform, std::int32_t x, std::int32_t y) {
  const float u = static_cast<float>(x);
  const float v = static_cast<float>(y);
  return {SaturateToInt32(EvaluateCubic(transform.XPart, u, v)),
          SaturateToInt32(EvaluateCubic(transform.YPart, u, v))};
}

bool BuildReport(const CalibTransform& transform, bool raw,
                 std::span<const TouchPoint, kReportContacts> now,
                 std::span<TouchPoint, kReportContacts> last, ReportBytes& out) {
  auto touching = [](const TouchPoint& p) { return p.down != 0; };
  if (std::none_of(now.begin(), now.end(), touching) &&
      std::none_of(last.begin(), last.end(), touching)) {
    return false;
  }
  std::copy(now.begin(), now.end(), last.begin());

  for (std::size_t i = 0; i < now.size(); ++i) {
    const TouchPoint& point = now[i];
    std::int32_t x = point.x;
    std::int32_t y = point.y;
    if (!raw) {
      const TransformedPoint t = ApplyTransform(transform, point.x, point.y);
      x = t.X;
      y = t.Y;
    }
    report::WriteContact(
        out, i,
        {static_cast<std::uint8_t>(i), point.down, ReportCoordinate(x), ReportCoordinate(y)});
  }
  return true;
}

}  // namespace lumaro
