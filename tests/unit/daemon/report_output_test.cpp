#include "touch-daemon/report_output.h"

#include <gtest/gtest.h>

#include <array>

#include "driver-interface/blocks.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

TEST(BuildReportTest, CoordinatesAreLimitedToTheReportRangeAndLiftsAreReportedOnce) {
  std::array<TouchPoint, 2> now = {{{40000, 32767, 0, 1}, {-5, -40000, 0, 1}}};
  std::array<TouchPoint, 2> last{};
  ReportBytes out{};
  ASSERT_TRUE(BuildReport(IdentityTransform(), false, now, last, out));
  // Negative values are sent as 0.
  EXPECT_EQ(trace::ToHex(out.data(), out.size()), "0001ff7fff7f010100000000");
  EXPECT_EQ(last[1].down, 1);
  now = {};
  EXPECT_TRUE(BuildReport(IdentityTransform(), false, now, last, out));  // the lift
  EXPECT_FALSE(BuildReport(IdentityTransform(), false, now, last, out));
}

TEST(ApplyTransformTest, OverflowSaturates) {
  CalibTransform t = IdentityTransform();
  EXPECT_EQ(ApplyTransform(t, 150, 49).X, 150);
  // A polynomial that overflows int32 saturates instead of being undefined.
  calib::SetCoefficient(t.XPart, 3, 1e30f);
  EXPECT_EQ(ApplyTransform(t, 30000, 0).X, INT32_MAX);
}

}  // namespace
}  // namespace lumaro
