#include "classic-calibration-tool/classic_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "driver-interface/blocks.h"

namespace lumaro {
namespace {

using Result = std::array<std::uint8_t, classic_calib::kResultSize>;

// Coefficient `place` (stored order) of the X map or the Y map.
double Bilinear(const Result& r, int axis, int place) {
  return GetAt<double>(
      r, 17 + 32 * static_cast<std::size_t>(axis) + 8 * static_cast<std::size_t>(place));
}
double Cubic(const Result& r, int axis, int place) {
  return GetAt<double>(
      r, 17 + 80 * static_cast<std::size_t>(axis) + 8 * static_cast<std::size_t>(place));
}

class Fit : public ::testing::Test {
 protected:
  // A fit over the first n points (at most as many as there are).
  bool Run(std::uint8_t type, std::size_t n) {
    n = std::min({n, touches.size(), targets.size()});
    return ClassicFit(type, std::span(touches).first(n), std::span(targets).first(n), span, result);
  }
  void Square(double scale) {
    touches = {{{100, 100}, {900, 100}, {100, 900}, {900, 900}}};
    targets.clear();
    for (const ClassicPoint& p : touches) targets.push_back({scale * p.x, scale * p.y});
  }
  std::vector<ClassicPoint> touches, targets;
  std::array<std::uint8_t, 16> span = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  Result result = [] {
    Result r;
    r.fill(0xEE);
    return r;
  }();
};

TEST_F(Fit, BilinearSquareOntoItselfAndOntoTwiceItself) {
  for (double scale : {1.0, 2.0}) {
    Square(scale);
    ASSERT_TRUE(Run(kClassicFitType, 4));
    EXPECT_EQ(result[0], 13);
    const double x[] = {0, 0, scale, 0}, y[] = {0, scale, 0, 0};  // 1, y, x, xy
    for (int k = 0; k < 4; ++k) {
      EXPECT_NEAR(Bilinear(result, 0, k), x[k], 1e-9) << k;
      EXPECT_NEAR(Bilinear(result, 1, k), y[k], 1e-9) << k;
    }
    EXPECT_NEAR(GetAt<double>(result, 177), scale, 1e-12);
    for (std::size_t i = 81; i < 177; ++i) ASSERT_EQ(result[i], 0xEE) << i;  // untouched
    EXPECT_EQ(result[1], 0xEE);                                              // no span
  }
}

TEST_F(Fit, FailuresLeaveTypeZero) {
  touches.assign(4, {0, 0});  // the column of y has no pivot
  targets.assign(4, {5, 5});
  EXPECT_FALSE(Run(13, 4));
  EXPECT_EQ(result[0], 0);
  EXPECT_EQ(result[17], 0xEE);

  // Three points: rounding leaves every pivot non-zero, yet four terms need four.
  touches = {{{0.1, 0.7}, {1.3, 2.9}, {3.7, 0.3}}};
  targets = touches;
  EXPECT_FALSE(Run(13, 3));
  EXPECT_EQ(result[0], 0);
  Square(1);
  EXPECT_FALSE(Run(0x19, 4));  // map 0 is invalid
  EXPECT_EQ(result[17], 0xEE);

  EXPECT_FALSE(Run(5, 4));  // span mode 0: the map is written all the same
  EXPECT_EQ(result[0], 0);
  EXPECT_NEAR(Bilinear(result, 0, 2), 1.0, 1e-9);

  // Touches and targets that do not pair up, and a result too small to hold.
  EXPECT_FALSE(ClassicFit(13, touches, std::span(targets).first(3), span, result));
  EXPECT_EQ(result[0], 0);
  result[0] = 0xEE;
  EXPECT_FALSE(ClassicFit(13, touches, targets, span, std::span(result).first(184)));
  EXPECT_EQ(result[0], 0xEE);

  // Nine scattered points: the cubic needs ten, whatever the arithmetic says.
  touches.clear();
  for (int i = 0; i < 9; ++i) touches.push_back({37.0 * i + i * i, 53.0 * i - 2.0 * i * i});
  targets = touches;
  EXPECT_FALSE(Run(15, 9));
  touches.push_back({500.0, 20.0});
  targets = touches;
  EXPECT_TRUE(Run(15, 10));
}

TEST_F(Fit, CalibrationOffSpanModesAndNoMap) {
  Square(1);
  result.fill(0xEE);
  EXPECT_TRUE(Run(12, 4));
  EXPECT_EQ(result[0], 0);
  for (std::size_t i = 1; i < result.size(); ++i) ASSERT_EQ(result[i], 0xEE) << i;

  EXPECT_TRUE(Run(21, 4));
  EXPECT_EQ(result[0], 21);
  EXPECT_TRUE(std::equal(span.begin(), span.end(), result.begin() + 1));

  result.fill(0xEE);
  EXPECT_TRUE(Run(27, 0));  // no map, span 0x18: only the type and the span
  EXPECT_EQ(result[0], 27);
  EXPECT_EQ(result[17], 0xEE);
  // A span mode without a span.
  EXPECT_FALSE(ClassicFit(29, touches, targets, {}, result));
  EXPECT_EQ(result[0], 0);
}

TEST_F(Fit, CubicReproducesAnExactCubicMap) {
  // Stored order 1, y, x, xy, y^2, x^2, y^3, xy^2, x^2y, x^3.
  const double cx[] = {3, -2, 1.5, 0.25, 0.5, -0.75, 0.125, -0.0625, 0.2, -0.1};
  const double cy[] = {-1, 2.5, -0.5, 0.1, -0.2, 0.3, -0.05, 0.15, -0.025, 0.04};
  auto eval = [](const double* c, double x, double y) {
    const double t[] = {1, y, x, x * y, y * y, x * x, y * y * y, x * y * y, x * x * y, x * x * x};
    double sum = 0;
    for (int k = 0; k < 10; ++k) sum += c[k] * t[k];
    return sum;
  };
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const double x = 1 + i + 0.3 * j, y = 1 + j - 0.2 * i;
      touches.push_back({x, y});
      targets.push_back({eval(cx, x, y), eval(cy, x, y)});
    }
  }
  result.fill(0xEE);
  ASSERT_TRUE(Run(15, 16));
  EXPECT_EQ(result[0], 15);
  for (int k = 0; k < 10; ++k) {
    EXPECT_NEAR(Cubic(result, 0, k), cx[k], 1e-7) << k;
    EXPECT_NEAR(Cubic(result, 1, k), cy[k], 1e-7) << k;
  }
  const double kx = cx[2], ky = cx[1], lx = cy[2], ly = cy[1];
  EXPECT_NEAR(GetAt<double>(result, 177),
              std::sqrt(std::sqrt((kx * kx + ky * ky) * (lx * lx + ly * ly))), 1e-7);
}

}  // namespace
}  // namespace lumaro
