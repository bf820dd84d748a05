#include "calibration-common/full_screen_wait.h"

#include <gtest/gtest.h>

namespace lumaro {
namespace {

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
