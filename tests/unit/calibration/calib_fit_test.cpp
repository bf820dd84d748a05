#include "calibration-tool/calib_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

namespace lumaro {
namespace {

ParamBlock Filled(std::uint8_t value) {
  ParamBlock b;
  b.fill(value);
  return b;
}

TEST(FitLinear, ExactAffineTargetsGiveExactCoefficientsAndZeroHigherTerms) {
  const float x[] = {0, 100, 0, 100};
  const float y[] = {0, 0, 100, 100};
  float t[4];
  for (int k = 0; k < 4; ++k) t[k] = 10 + 2 * x[k] + 3 * y[k];
  ParamBlock block = Filled(0x5A);
  ASSERT_TRUE(FitLinear({t, x, y}, block));
  EXPECT_EQ(GetAt<float>(block, 36), 10.0f);
  EXPECT_EQ(GetAt<float>(block, 28), 3.0f);
  EXPECT_EQ(GetAt<float>(block, 32), 2.0f);
  for (std::size_t offset = 0; offset <= 24; offset += 4)
    EXPECT_EQ(GetAt<float>(block, offset), 0.0f);
  for (std::size_t i = 40; i < block.size(); ++i) EXPECT_EQ(block[i], 0x5A) << "byte " << i;
}

TEST(FitLinear, CollinearPointsAndTooFewPointsFailAndLeaveTheBlock) {
  const float x[] = {100, 1000, 2000, 3000};
  const float t[] = {1, 2, 3, 4};
  ParamBlock block = Filled(0x33);
  EXPECT_FALSE(FitLinear({t, x, x}, block));
  EXPECT_EQ(block, Filled(0x33));

  const float y[] = {0, 500, 900, 100};
  EXPECT_FALSE(FitLinear({std::span(t).first(2), x, y}, block));
  std::vector<float> many(9, 1.0f), spread = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_FALSE(FitCubic({many, spread, many}, block));
  EXPECT_EQ(block, Filled(0x33));
}

// Targets that are a cubic polynomial of a skewed 4 x 4 grid of raw points: the
// fit maps every point onto its target. The coefficients are single-precision
// sums of large, cancelling products, which leaves a few target units (of
// 32768) at raw values in the thousands.
TEST(FitCubic, RecoversACubicMap) {
  std::vector<float> x, y, tx, ty;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      const double u = 300 + 900 * col + 40 * row;
      const double v = 250 + 700 * row - 30 * col;
      x.push_back(static_cast<float>(u));
      y.push_back(static_cast<float>(v));
      tx.push_back(static_cast<float>(500 + 7.5 * u + 0.4 * v + 2e-4 * u * u - 1e-7 * u * u * u +
                                      3e-8 * u * v * v));
      ty.push_back(static_cast<float>(-200 + 0.3 * u + 9 * v - 1e-4 * v * v + 2e-7 * v * v * v -
                                      4e-8 * u * u * v));
    }
  }
  ParamBlock bx{}, by{};
  ASSERT_TRUE(FitAxes({tx, ty, x, y}, bx, by, true));
  auto eval = [](const ParamBlock& b, double u, double v) {
    const double terms[] = {v * v * v, u * v * v, u * u * v, u * u * u, v * v,
                            u * v,     u * u,     v,         u,         1};
    double sum = 0;
    for (int i = 0; i < 10; ++i) sum += calib::Coefficient(b, i) * terms[i];
    return sum;
  };
  for (std::size_t k = 0; k < x.size(); ++k) {
    EXPECT_NEAR(eval(bx, x[k], y[k]), tx[k], 8.0) << "point " << k;
    EXPECT_NEAR(eval(by, x[k], y[k]), ty[k], 8.0) << "point " << k;
  }
  EXPECT_NEAR(calib::Coefficient(bx, 3), -1e-7, 2e-8);  // x^3
  EXPECT_NEAR(calib::Coefficient(by, 0), 2e-7, 2e-8);   // y^3
}

}  // namespace
}  // namespace lumaro
