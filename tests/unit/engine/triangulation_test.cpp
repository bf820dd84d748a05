#include "touch-daemon/engine/triangulation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace lumaro {
namespace {

constexpr double kQuarterPi = 0.7853981633974483;
const LensModel kLensA = {0, 1280, {0, 1.15f, 0, 0, 0, 0, 0, 0}};
const LensModel kLensB = {0, 1280, {0, -1.15f, 0, 0, 0, 0, 0, 0}};

TEST(PixelToAngleTest, LensPolynomial) {
  const double k1 = 1.15f;
  for (float pixel : {0.0f, 640.0f, 1280.0f}) {
    const double u = pixel / 640 - 1;
    EXPECT_EQ(PixelToAngle(kLensA, pixel), kQuarterPi + u * k1);
    EXPECT_EQ(PixelToAngle(kLensB, pixel), kQuarterPi - u * k1);
  }
  // u = 0.5 at pixel 960: k0 + k1/2 + ... + k7/128.
  const LensModel lens = {0, 1280, {0.5f, 1, 2, 4, 8, 16, 32, 64}};
  EXPECT_DOUBLE_EQ(PixelToAngle(lens, 960), 4 + kQuarterPi);
  // The position is normalised in single precision.
  const LensModel linear = {0, 1280, {0, 1, 0, 0, 0, 0, 0, 0}};
  EXPECT_EQ(PixelToAngle(linear, 1), static_cast<double>(1.0f / 640.0f - 1.0f) + kQuarterPi);
}

TEST(ShadowToAnglesTest, OrderAndCentre) {
  for (const LensModel& lens : {kLensA, kLensB}) {
    ShadowAngles angles = ShadowToAngles({630, 650}, lens);
    EXPECT_LT(angles.Low, angles.High);
    EXPECT_EQ(angles.Width, angles.High - angles.Low);
    EXPECT_NEAR(angles.Width, 0.0359375, 1e-8);
    EXPECT_EQ(angles.Mid, kQuarterPi);
    angles = ShadowToAngles({1, 4}, lens);
    EXPECT_EQ(angles.Mid, PixelToAngle(lens, 2.5f));
  }
  ShadowAngles angles = ShadowToAngles({INT32_MAX, INT32_MAX}, kLensA);  // no integer overflow
  EXPECT_EQ(angles.Mid, angles.Low);
}

TEST(TriangulateTest, Intersection) {
  ShadowAngles a = ShadowToAngles({630, 650}, kLensA);
  ShadowAngles b = ShadowToAngles({630, 650}, kLensB);
  EnginePoint p = Triangulate(a, b);
  EXPECT_NEAR(p.X, 0.5, 1e-15);
  EXPECT_NEAR(p.Y, 0.5, 1e-15);
  EXPECT_NEAR(p.Size, 0.012705, 1e-6);
  EXPECT_NEAR(p.Mismatch, 0, 1e-12);
  EXPECT_EQ(p.State, PointMeasured);
  // X is measured from camera A: tan(a) / (tan(a) + tan(b)).
  b.Mid = std::atan(0.5);
  p = Triangulate(a, b);
  EXPECT_NEAR(p.X, 2.0 / 3, 1e-12);
  p = Triangulate(b, a);
  EXPECT_NEAR(p.X, 1.0 / 3, 1e-12);
}

TEST(TriangulateTest, DegenerateValuesPropagate) {
  ShadowAngles a = {0.2, 0.4, 0.3, 0.2};
  ShadowAngles b = {-0.4, -0.2, -0.3, 0.0};  // parallel ray, zero width
  EnginePoint p = Triangulate(a, b);
  EXPECT_TRUE(std::isinf(p.Y));
  EXPECT_TRUE(std::isnan(p.Size));
  b.Mid = 0.3;
  p = Triangulate(a, b);
  EXPECT_EQ(p.Size, 0.0);
  EXPECT_TRUE(std::isinf(p.Mismatch));
}

}  // namespace
}  // namespace lumaro
