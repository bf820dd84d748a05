#include "touch-daemon/report_output.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver-interface/blocks.h"
#include "tests/unit/captured_output.h"
#include "tools/trace_device_io.h"
#include "trace/trace.h"

namespace lumaro {
namespace {

TEST(WriteReportTest, CoordinatesAreLimitedToTheReportRange) {
  auto ctx = std::make_unique<DeviceContext>();
  TouchPoint now[2] = {{40000, 32767, 0, 1}, {-5, -40000, 0, 1}};
  TouchPoint last[2] = {};
  ctx->MaxPoints = 2;
  ctx->pPoints = now;
  ctx->pLastPoint = last;
  ctx->Transform = IdentityTransform();
  test_support::CapturedOutput reports;
  trace::Trace trace;
  tools::TraceDeviceIo io(&trace, reports.file());
  ctx->fd = io.Open(kTouchNodePath, 0);
  WriteReport(*ctx, io);
  // Negative values are sent as 0.
  EXPECT_EQ(reports.Text(), "report 0001ff7fff7f010100000000\n");
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
