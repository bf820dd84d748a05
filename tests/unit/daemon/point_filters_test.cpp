#include <gtest/gtest.h>

#include <cstdint>

#include "touch-daemon/curve_queue.h"
#include "touch-daemon/tap_filter.h"

namespace lumaro {
namespace {

TapFilterState DirtyFilter() {
  TapFilterState f{};
  for (TouchPoint& e : f.Entries) e = {1, 2, 3, 1};
  f.Saved = {4, 5, 6, 1};
  f.Count = 7;
  f.TapState = TapHeld;
  f.Capacity = 3;
  f.Threshold = 9;
  return f;
}

TEST(TapFilterTest, ResetAndDaemonConfiguration) {
  TapFilterState f = DirtyFilter();
  TapFilterReset(f);
  EXPECT_EQ(f.Capacity, 60);
  EXPECT_EQ(f.Threshold, 160000);
  EXPECT_EQ(f.Count, 0);
  EXPECT_EQ(f.TapState, TapIdle);
  EXPECT_EQ(f.Saved.down, 0);
  for (const TouchPoint& e : f.Entries) EXPECT_EQ(e.down, 0);

  f = DirtyFilter();
  TapFilterConfigure(200, 16, 0, 4096, 4096, f);
  EXPECT_EQ(f.Capacity, 12);
  EXPECT_EQ(f.Threshold, 0);
  EXPECT_EQ(f.Count, 0);
  EXPECT_EQ(f.TapState, TapIdle);
  EXPECT_EQ(f.Entries[11].down, 0);
  EXPECT_EQ(f.Entries[12].down, 1);  // beyond the capacity: untouched
}

TEST(TapFilterTest, ConfigureLimits) {
  TapFilterState f = DirtyFilter();
  TapFilterConfigure(1000, 1, 100, 4096, 10, f);
  EXPECT_EQ(f.Capacity, 60);
  EXPECT_EQ(f.Threshold, 800 * 800);  // r = 100 * 32768 / 4096
  TapFilterConfigure(200, 16, INT32_MAX, 1, 1, f);
  EXPECT_EQ(f.Threshold, INT32_MAX);   // saturated, no overflow
  for (std::int32_t step : {16, 0}) {  // a span below one step, and a zero step
    TapFilterConfigure(15, step, 0, 4096, 4096, f);
    EXPECT_EQ(f.Capacity, 1);
    EXPECT_EQ(f.TapState, TapPass);
  }
  for (std::int32_t size : {0, 4096}) {  // a zero width or height changes nothing
    f = DirtyFilter();
    TapFilterConfigure(200, 16, 0, size, 4096 - size, f);
    EXPECT_EQ(f.Capacity, 3);
    EXPECT_EQ(f.Count, 7);
    EXPECT_EQ(f.TapState, TapHeld);
  }
}

TEST(CurveQueueTest, ClearAndGain) {
  CurveQueue q{};
  for (TouchPoint& p : q.Points) p = {7, 8, 9, 1};
  q.Gain = 5.0f;
  CurveQueueClear(q);
  for (const TouchPoint& p : q.Points) EXPECT_EQ(p.down, 0);
  EXPECT_EQ(q.Gain, 0.0f);
  CurveQueueSetGain(32768, q);
  EXPECT_EQ(q.Gain, 1.0f);
  CurveQueueSetGain(-3, q);
  EXPECT_EQ(q.Gain, -3.0f / 32768.0f);
}

}  // namespace
}  // namespace lumaro
