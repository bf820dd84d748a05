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
// done; a manager that shrinks it first is waited for until it is full
// again; one that never gives the size is left at the deadline.
TEST(ManagedWindow, FullScreenWaitEndsMappedAtTheSizeOrAtTheDeadline) {
  FullScreenWait plain(1920, 1080, 100, 5000);
  EXPECT_FALSE(plain.Done(100));
  EXPECT_EQ(plain.Remaining(1100), 4000);
  plain.Mapped();
  EXPECT_TRUE(plain.Done(101));
  EXPECT_EQ(plain.Remaining(101), 0);

  FullScreenWait shrunk(1280, 720, 0, 5000);
  shrunk.Configured(640, 480);
  shrunk.Mapped();
  EXPECT_FALSE(shrunk.Done(10));
  shrunk.Configured(1280, 719);
  EXPECT_FALSE(shrunk.Done(20));
  shrunk.Configured(1280, 720);
  EXPECT_TRUE(shrunk.Done(30));

  FullScreenWait unmapped(800, 600, 0, 5000);
  EXPECT_FALSE(unmapped.Done(4999));
  EXPECT_TRUE(unmapped.Done(5000));
  EXPECT_EQ(unmapped.Remaining(6000), 0);
}

}  // namespace
}  // namespace lumaro
