#include "calibration-common/full_screen_wait.h"
#include "calibration-common/verify_check.h"

#include <gtest/gtest.h>

#include <vector>

namespace lumaro {
namespace {

TEST(Residual, LargestAndMeanDistanceInPixels) {
  const std::vector<PixelMiss> misses = {{3.0, 4.0}, {0.0, 0.0}, {-1.0, 0.0}, {0.0, -2.0}};
  const Residual r = MeasureResidual(misses.size(), [&](std::size_t i) { return misses[i]; });
  EXPECT_EQ(ResidualText(r), "Residual: largest 5.0 px, mean 2.0 px");
  EXPECT_EQ(ResidualText(MeasureResidual(0, [&](std::size_t i) { return misses[i]; })),
            "Residual: largest 0.0 px, mean 0.0 px");
}

// A touch ends at the report that lifts it, at its last position down; other
// lines, malformed reports and lifts without a touch give nothing.
TEST(TouchFollower, TakesTheLastPositionOfEachTouch) {
  const struct {
    const char* line;
    bool ends;
    double x, y;
  } lines[] = {
      {"frame 00", false, 0, 0},
      {"report 000000000000000000000000", false, 0, 0},  // a lift, nothing down
      {"report 000100400001000000000000", false, 0, 0},  // down at (16384, 256)
      {"report zz", false, 0, 0},
      {"report 000100421201000000000000", false, 0, 0},  // down at (16896, 274)
      {"report 000000421201000000000000", true, 16896, 274},
      {"report 000000421201000000000000", false, 0, 0},
  };
  TouchFollower follower;
  for (const auto& l : lines) {
    SCOPED_TRACE(l.line);
    const std::optional<ScreenPoint> touch = follower.OnLine(l.line);
    ASSERT_EQ(touch.has_value(), l.ends);
    if (touch) {
      EXPECT_EQ(touch->x, l.x);
      EXPECT_EQ(touch->y, l.y);
    }
  }
}

// Errors in pixels at each target in turn; the verdict at the tolerance.
TEST(VerifyCheck, ErrorsAndVerdictAgainstTheTolerance) {
  VerifyCheck check(1920, 1080, 10.5);
  ASSERT_EQ(check.Target()->x, 960);
  EXPECT_DOUBLE_EQ(check.Touch({16384, 16384}), 0.0);
  ASSERT_EQ(check.Target()->x, 384);
  ASSERT_EQ(check.Target()->y, 864);
  // 6 pixels right and 8 down: 10 pixels, within.
  EXPECT_NEAR(check.Touch({(384 + 6) * 32768.0 / 1920, (864 + 8) * 32768.0 / 1080}), 10.0, 1e-9);
  EXPECT_FALSE(check.Passed());  // not done yet
  check.Touch({1536 * 32768.0 / 1920, 216 * 32768.0 / 1080});
  EXPECT_TRUE(check.done());
  EXPECT_FALSE(check.Target());
  EXPECT_TRUE(check.Passed());
  EXPECT_EQ(check.Verdict(), "verify: largest 10.0 px, mean 3.3 px, tolerance 10.5 px: pass");

  VerifyCheck strict(1920, 1080, 9.5);
  for (int i = 0; i < 3; ++i) strict.Touch({(384 + 6) * 32768.0 / 1920, 0});
  EXPECT_FALSE(strict.Passed());
  EXPECT_TRUE(strict.Verdict().ends_with(": FAIL"));
}

TEST(ManagedWindow, XwaylandOutputNames) {
  EXPECT_TRUE(IsXwaylandOutputName("XWAYLAND0"));
  EXPECT_TRUE(IsXwaylandOutputName("XWAYLAND12"));
  EXPECT_FALSE(IsXwaylandOutputName("screen"));  // Xvfb's
  EXPECT_FALSE(IsXwaylandOutputName("HDMI-1"));
  EXPECT_FALSE(IsXwaylandOutputName("XWAYLAN"));
  EXPECT_FALSE(IsXwaylandOutputName(""));
}

// The window is created at the wanted size: mapped without a change it is
// done once that size has held for the settling time; a manager that maps it
// and then shrinks it to a tile is waited for until it is full again (and
// has stayed so); one that never gives the size is left at the deadline.
TEST(ManagedWindow, FullScreenWaitEndsSettledAtTheSizeOrAtTheDeadline) {
  constexpr long kSettle = FullScreenWait::kSettleMs;
  FullScreenWait plain(1920, 1080, 100, 5000);
  EXPECT_FALSE(plain.Done(100));
  EXPECT_EQ(plain.Remaining(1100), 4000);
  plain.Mapped(1100);
  EXPECT_EQ(plain.Remaining(1100), kSettle);
  EXPECT_FALSE(plain.Done(1100 + kSettle - 1));
  EXPECT_TRUE(plain.Done(1100 + kSettle));

  FullScreenWait tiled(1920, 1080, 0, 5000);
  tiled.Mapped(10);
  tiled.Configured(1916, 1053, 20);  // after the mapping, within the settling time
  EXPECT_FALSE(tiled.Done(20 + kSettle));
  tiled.Configured(1920, 1079, 30);
  EXPECT_FALSE(tiled.Done(30 + kSettle));
  tiled.Configured(1920, 1080, 400);
  EXPECT_FALSE(tiled.Done(400 + kSettle - 1));
  EXPECT_TRUE(tiled.Done(400 + kSettle));

  FullScreenWait unmapped(800, 600, 0, 5000);
  EXPECT_FALSE(unmapped.Done(4999));
  EXPECT_TRUE(unmapped.Done(5000));
  EXPECT_EQ(unmapped.Remaining(6000), 0);
  FullScreenWait late(800, 600, 0, 5000);  // the deadline caps the settling time
  late.Mapped(4900);
  EXPECT_EQ(late.Remaining(4900), 100);
}

}  // namespace
}  // namespace lumaro
