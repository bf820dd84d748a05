#include "touch-daemon/engine/pairing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <tuple>

#include "touch-daemon/engine/engine.h"
#include "touch-daemon/engine/triangulation.h"

namespace lumaro {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

ShadowAngles Span(double low, double high) {
  return {low, high, (low + high) / 2, high - low};
}
ShadowAngles Ray(double mid) {
  return Span(mid - 0.01, mid + 0.01);
}
EnginePoint Point(double x, double y, std::uint8_t state = PointMeasured) {
  return {x, y, 0.01, 0.0, state};
}
EnginePoint Cross(const ShadowAngles& a, const ShadowAngles& b) {
  return Triangulate(a, b);
}

class PairingTest : public ::testing::Test {
 protected:
  PairingTest() { engine_->Scale = {32768.0f, 0.0f, 32768.0f, 0.0f, 32768.0f, 0.25f, 1000.0f}; }
  // The case table on copies of a_ and b_, then RawPair as a frame leaves it.
  EnginePair Resolve(std::int32_t countA, std::int32_t countB) {
    AnglePair a = a_;
    AnglePair b = b_;
    engine_->RawPair = ResolveCandidates(a, countA, b, countB, *engine_);
    return engine_->RawPair;
  }
  void Touch(double x, double y) {
    a_[0] = Ray(std::atan(x / y));
    b_[0] = Ray(std::atan((1 - x) / y));
  }

  std::unique_ptr<EngineState> engine_ = std::make_unique<EngineState>();
  // Mirrored rays: A0 x B0 and A1 x B1 lie on X = 0.5, seen at equal sizes.
  AnglePair a_{Ray(0.5), Ray(0.8)};
  AnglePair b_{Ray(0.5), Ray(0.8)};
};

TEST_F(PairingTest, OneByOneSlotChoice) {
  engine_->HoldCount = 3;
  Touch(0.6, 0.5);
  EnginePair r = Resolve(1, 1);  // no reference: slot 0
  EXPECT_NEAR(r[0].X, 0.6, 1e-12);
  EXPECT_EQ(r[0].State, PointMeasured);
  EXPECT_EQ(r[1].State, PointNone);
  EXPECT_EQ(engine_->HoldCount, 0);
  engine_->ReferencePair = {EnginePoint{}, Point(0.5, 0.5, PointHeld)};
  EXPECT_EQ(Resolve(1, 1)[1].State, PointMeasured);  // 0.1 within Ratio 0.25
  Touch(0.9, 0.5);
  EXPECT_EQ(Resolve(1, 1)[0].State, PointMeasured);  // 0.4 beyond it
}

TEST_F(PairingTest, ByCostAgainstReferences) {
  const EnginePoint t00 = Cross(a_[0], b_[0]);
  const EnginePoint t11 = Cross(a_[1], b_[1]);
  engine_->ReferencePair = {t00, t00};  // H0 and H3 cost the same
  EXPECT_EQ(Resolve(2, 2)[0].Y, t00.Y);
  engine_->ReferencePair = {EnginePoint{}, t00};  // H3 strictly cheaper
  EXPECT_EQ(Resolve(2, 2)[0].Y, t11.Y);
  a_[0] = Ray(std::numeric_limits<double>::quiet_NaN());  // every cost NaN
  const EnginePair none = PairOneByTwo(a_, b_, *engine_);
  EXPECT_EQ(none[0].State, PointNone);
  EXPECT_EQ(none[1].State, PointNone);
}

TEST_F(PairingTest, TwoByTwoAfterOccludedPairByMotion) {
  const double h0 = Cross(a_[0], b_[0]).X;
  const double h1 = Cross(a_[0], b_[1]).X;
  const auto resolve = [&](EnginePair previous, std::uint8_t occluded) {
    engine_->RawPair = engine_->ReferencePair = previous;
    engine_->OccludedPair = occluded;
    return Resolve(2, 2)[0].X;
  };
  // H0 cheapest; H1 within a factor 2 and crossing both lines of sight better.
  EXPECT_EQ(resolve({Point(0.5, 0.8), Point(0.5, 0.6)}, 1), h1);
  EXPECT_EQ(resolve({Point(0.5, 0.8), Point(0.5, 0.6)}, 0), h0);
  // H1 halves H0's cost: wins outright; H2 scores higher but costs over twice.
  EXPECT_EQ(resolve({Point(0.4, 0.63), Point(0.6, 0.63)}, 1), h1);
  // H2 cheapest, but not by half: H0's better score keeps it.
  EXPECT_EQ(resolve({Point(0.73, 0.36), Point(0.28, 0.43)}, 1), h0);

  EXPECT_EQ(CrossRayScore(Point(0.3, 0.3), Point(0.3, 0.3)), 1.0);
  EXPECT_EQ(CrossRayScore(Point(0.4, 0.4), Point(0.3, 0.3)), 0.0);  // along A's sight
}

TEST_F(PairingTest, PairTouchesMarksTwoTouchesFromOneAndTwoShadows) {
  for (const auto& [countA, countB, occluded] :
       {std::tuple{1, 2, 1}, {2, 1, 1}, {2, 2, 0}, {1, 1, 0}}) {
    AnglePair a = a_;
    AnglePair b = b_;
    engine_->HoldCount = 5;  // past the hold of a one-versus-two view
    const EnginePair pair = PairTouches(a, countA, b, countB, *engine_);
    EXPECT_EQ(engine_->OccludedPair, occluded) << countA << " x " << countB;
    EXPECT_EQ(engine_->RawPair[0].State, pair[0].State);
    EXPECT_EQ(engine_->ReferencePair[0].State, PointHeld);
  }
}

TEST(ToReportUnitsTest, ScalesTruncatesAndSaturates) {
  const EngineScale scale = {32768.0f, 0.0f, 1000.0f, 0.5f, 32768.0f, 0.25f, 1000.0f};
  const TouchPoint a = ToReportUnits(EnginePoint{0.5, 0.0119, -0.01, 0, PointMeasured}, scale);
  TouchPoint b = ToReportUnits(EnginePoint{1e6, std::nan(""), 1e6, 0, PointHeld}, scale);
  EXPECT_EQ(a.x, 16384);
  EXPECT_EQ(a.y, 12);  // 11.9 + 0.5, truncated
  EXPECT_EQ(a.z, 0);
  EXPECT_EQ(a.down, 1);
  EXPECT_EQ(b.x, kInt32Max);
  EXPECT_EQ(b.y, 0);
  EXPECT_EQ(b.z, kInt32Max);
  EXPECT_EQ(b.down, 0);
  b = ToReportUnits(EnginePoint{-1e6, 0, 0, 0, PointHeld}, scale);
  EXPECT_EQ(b.x, std::numeric_limits<std::int32_t>::min());
}

}  // namespace
}  // namespace lumaro
