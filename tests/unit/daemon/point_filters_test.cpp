#include <gtest/gtest.h>

#include <array>
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

TouchPoint Down(std::int32_t x, std::int32_t y) {
  return {x, y, 5, 1};
}
TouchPoint Up() {
  return {0, 0, 0, 0};
}

struct Released {
  std::array<TouchPoint, kPointListCapacity> points{};
  std::int32_t count = -1;
};

Released Step(TapFilterState& f, const TouchPoint& p) {
  Released r;
  TapFilterStep(p, f);
  r.count = TapFilterExtract(r.points, f);
  return r;
}

TEST(TapFilterStepTest, SettlingTouchIsPinnedAfterCapacityScans) {
  TapFilterState f{};
  TapFilterReset(f);
  TapFilterConfigure(200, 16, 100, 4096, 4096, f);  // capacity 12, radius 800
  for (int scan = 1; scan <= 11; ++scan) {
    const Released r = Step(f, Down(100 + scan % 2 * 3, 200));
    ASSERT_EQ(r.count, 1) << scan;
    EXPECT_EQ(r.points[0].down, 0) << scan;
  }
  // Each sum falls one short of a multiple of 12: the averages truncate.
  const Released pinned = Step(f, {105, 211, 16, 1});
  ASSERT_EQ(pinned.count, 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(pinned.points[i].x, 101);  // 1223 / 12
    EXPECT_EQ(pinned.points[i].y, 200);  // 2411 / 12
    EXPECT_EQ(pinned.points[i].z, 5);    // 71 / 12
  }
  EXPECT_EQ(f.TapState, TapHeld);
  // Within the radius it stays pinned; at the radius it moves.
  EXPECT_EQ(Step(f, Down(900, 200)).points[0].x, 101);
  EXPECT_EQ(f.TapState, TapHeld);
  Step(f, Down(901, 200));
  EXPECT_EQ(f.TapState, TapMoving);
  EXPECT_EQ(Step(f, Up()).count, 1);
  EXPECT_EQ(f.TapState, TapIdle);
}

TEST(TapFilterStepTest, TapThatLiftsWhileSettlingIsAveraged) {
  TapFilterState f{};
  TapFilterReset(f);  // threshold 160000: small moves keep settling
  Step(f, Down(10, 10));
  Step(f, Down(12, 10));
  const Released r = Step(f, Up());
  ASSERT_EQ(r.count, 3);
  EXPECT_EQ(r.points[0].x, 11);
  EXPECT_EQ(r.points[1].x, 11);
  EXPECT_EQ(r.points[1].down, 1);
  EXPECT_EQ(r.points[2].down, 0);
}

TEST(TapFilterStepTest, MovingTouchPassesAndExtremeValuesAreSafe) {
  TapFilterState f{};
  TapFilterReset(f);
  TapFilterConfigure(200, 16, 0, 4096, 4096, f);
  Step(f, Down(100, 100));
  Step(f, Down(100, 100));  // spread 0, not above threshold 0
  EXPECT_EQ(f.TapState, TapSettling);
  const Released r = Step(f, Down(101, 100));  // spread 1 > threshold 0
  EXPECT_EQ(f.TapState, TapMoving);
  EXPECT_EQ(r.count, 3);
  // A spread over the whole int32 range saturates instead of wrapping below
  // the threshold.
  TapFilterReset(f);
  Step(f, Down(INT32_MIN, INT32_MAX));
  Step(f, Down(INT32_MAX, INT32_MIN));
  EXPECT_EQ(f.TapState, TapMoving);
}

TEST(TapFilterStepTest, UnconfiguredFilterStoresNothing) {
  TapFilterState f{};  // capacity 0, as in a pipeline that was never set up
  f.TapState = TapSettling;
  TapFilterStep(Down(1, 1), f);
  EXPECT_EQ(f.Count, 0);
  EXPECT_EQ(f.TapState, TapSettling);
  f.Capacity = 1;  // the smallest working filter does store
  TapFilterStep(Down(1, 1), f);
  EXPECT_EQ(f.Count, 1);
}

TEST(CurveQueueTest, InterpolationLimitsAndShapes) {
  CurveQueue q{};
  CurveQueueClear(q);
  std::array<TouchPoint, kPointListCapacity> out{};
  for (std::int32_t asked : {0, -5, 100}) {
    EXPECT_EQ(CurveQueueInterpolate(out, asked, q), asked == 100 ? 60 : 1);
    EXPECT_EQ(out[0].down, 0);  // P2 not down: lifted points
  }
  // P2 down, P1 not: every output is P2.
  q.Points = {Down(1, 1), Up(), Down(700, 800), Down(9, 9)};
  std::int32_t n = 3;
  CurveQueueInterpolate(out, n, q);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(out[i].x, 700);
    EXPECT_EQ(out[i].y, 800);
    EXPECT_EQ(out[i].down, 1);
  }
  // A single point is P2 itself; a z that dips below 0 is output as 0.
  q.Points = {Down(0, 0), Down(10, 10), Down(20, 20), Down(30, 30)};
  q.Points[1].z = 0;
  q.Points[2].z = 0;
  q.Points[3].z = 400;
  n = 1;
  CurveQueueInterpolate(out, n, q);
  EXPECT_EQ(out[0].x, 20);
  n = 4;
  CurveQueueInterpolate(out, n, q);
  EXPECT_EQ(out[0].z, 0);
  EXPECT_EQ(out[3].x, 20);
  EXPECT_EQ(CurveQueueSteps(q), 0);   // gain 0
  CurveQueueSetGain(32768, q);        // one step per unit of path
  EXPECT_EQ(CurveQueueSteps(q), 84);  // three norms of 20 * sqrt(2)
  // Halfway along a curve whose neighbours pull its control points.
  q.Points = {Down(4, 4), Down(10, 10), Down(20, 20), Down(30, 30)};
  for (int i = 0; i < 4; ++i) q.Points[i].z = i == 0 ? 100 : 10 * i;
  n = 2;
  CurveQueueInterpolate(out, n, q);
  EXPECT_EQ((std::array<std::int32_t, 3>{out[0].x, out[0].y, out[0].z}),
            (std::array<std::int32_t, 3>{15, 15, 10}));
}

}  // namespace
}  // namespace lumaro
