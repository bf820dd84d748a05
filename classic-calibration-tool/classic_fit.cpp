#include "classic-calibration-tool/classic_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <utility>

#include "calibration-common/fit_pieces.h"
#include "driver-interface/blocks.h"

namespace lumaro {
namespace {

using fit::kMaxTerms;
using fit::Matrix;
using fit::Term;

constexpr int kMaxPower = 6;

// v to the power k: 1.0 multiplied by v, k times; 1.0 for k of 0 or less.
double Power(int k, double v) {
  double r = 1.0;
  for (int i = 0; i < k; ++i) r = r * v;
  return r;
}

// Solving order, with each term's place in the stored order
// 1, y, x, xy, y^2, x^2, y^3, xy^2, x^2y, x^3.
struct Basis {
  int size;
  int min_points;
  std::array<Term, kMaxTerms> terms;
  std::array<int, kMaxTerms> stored;
  std::size_t x_offset;  // first X coefficient in the result
  std::size_t y_offset;  // first Y coefficient
};

constexpr Basis kBilinear = {4,
                             4,
                             {{{0, 0}, {0, 1}, {1, 0}, {1, 1}}},
                             {0, 1, 2, 3},
                             classic_calib::kCoefficientOffset,
                             classic_calib::kCoefficientOffset + 32};
constexpr Basis kCubic = {
    10,
    10,
    {{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {3, 0}}},
    {0, 1, 4, 6, 2, 3, 7, 5, 8, 9},
    classic_calib::kCoefficientOffset,
    classic_calib::kCoefficientOffset + 80};

constexpr int kStoredY = 1;  // stored places of the y and x terms
constexpr int kStoredX = 2;

using Vector = std::array<double, kMaxTerms>;

// Solves A c = bX and A d = bY in place, the solutions left in bX and bY.
// Columns in order, no scaling, the shared pivot rule. False when a column
// has no usable pivot.
bool GaussJordan(Matrix& a, Vector& bx, Vector& by, int size) {
  for (int t = 0; t < size; ++t) {
    if (!fit::TakePivot(a, t, size, bx, by)) return false;
    for (int v = 0; v < size; ++v) {
      if (v == t) continue;
      const double f = a[v][t] / a[t][t];
      a[v][t] = 0.0;
      for (int k = t + 1; k < size; ++k) a[v][k] = a[v][k] - f * a[t][k];
      bx[v] = bx[v] - f * bx[t];
      by[v] = by[v] - f * by[t];
    }
  }
  for (int j = 0; j < size; ++j) {
    bx[j] = bx[j] / a[j][j];
    by[j] = by[j] / a[j][j];
  }
  return true;
}

// Least squares of the basis over the points; writes the coefficients and the
// scale into `out`.
bool FitMap(const Basis& basis, std::span<const ClassicPoint> touches,
            std::span<const ClassicPoint> targets, std::span<std::uint8_t> out) {
  const std::size_t n = touches.size();
  double s[kMaxPower + 1][kMaxPower + 1] = {};
  for (int l = 0; l <= kMaxPower; ++l) {
    for (int m = 0; l + m <= kMaxPower; ++m) {
      double sum = 0.0;
      for (std::size_t i = 0; i < n; ++i) sum += Power(l, touches[i].x) * Power(m, touches[i].y);
      s[l][m] = sum;
    }
  }
  Matrix a{};
  Vector bx{}, by{};
  for (int j = 0; j < basis.size; ++j) {
    const Term tj = basis.terms[j];
    for (int k = 0; k < basis.size; ++k) {
      const Term tk = basis.terms[k];
      a[j][k] = s[tj.x_power + tk.x_power][tj.y_power + tk.y_power];
    }
    double sx = 0.0, sy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      sx += (Power(tj.x_power, touches[i].x) * targets[i].x) * Power(tj.y_power, touches[i].y);
      sy += (Power(tj.x_power, touches[i].x) * targets[i].y) * Power(tj.y_power, touches[i].y);
    }
    bx[j] = sx;
    by[j] = sy;
  }
  if (!GaussJordan(a, bx, by, basis.size)) return false;

  std::array<double, kMaxTerms> cx{}, cy{};
  for (int j = 0; j < basis.size; ++j) {
    const int place = basis.stored[j];
    cx[place] = bx[j];
    cy[place] = by[j];
    PutAt<double>(out, basis.x_offset + 8 * static_cast<std::size_t>(place), bx[j]);
    PutAt<double>(out, basis.y_offset + 8 * static_cast<std::size_t>(place), by[j]);
  }
  const double kx = cx[kStoredX], ky = cx[kStoredY], lx = cy[kStoredX], ly = cy[kStoredY];
  const double scale = std::sqrt(std::sqrt((kx * kx + ky * ky) * (lx * lx + ly * ly)));
  PutAt<double>(out, classic_calib::kScaleOffset, scale);
  return true;
}

}  // namespace

ClassicPoint EvaluateClassicMap(std::span<const std::uint8_t> result, double x, double y) {
  const bool cubic = (result[0] & kFitMapMask) == kFitMapCubic;
  const Basis& basis = cubic ? kCubic : kBilinear;
  ClassicPoint p{0.0, 0.0};
  for (int j = 0; j < basis.size; ++j) {
    const auto place = static_cast<std::size_t>(basis.stored[j]);
    const double term = Power(basis.terms[j].x_power, x) * Power(basis.terms[j].y_power, y);
    p.x += GetAt<double>(result, basis.x_offset + 8 * place) * term;
    p.y += GetAt<double>(result, basis.y_offset + 8 * place) * term;
  }
  return p;
}

bool ClassicFit(std::uint8_t type, std::span<const ClassicPoint> touches,
                std::span<const ClassicPoint> targets, std::span<const std::uint8_t> span,
                std::span<std::uint8_t> result) {
  if (result.size() < classic_calib::kResultSize) return false;
  const std::span<std::uint8_t> out = result.first(classic_calib::kResultSize);
  out[0] = 0;
  if ((type & kFitCalibrate) == 0) return true;

  std::uint8_t code = 0;
  const std::uint8_t map = type & kFitMapMask;
  if (map == kFitMapBilinear || map == kFitMapCubic) {
    const Basis& basis = map == kFitMapCubic ? kCubic : kBilinear;
    if (touches.size() != targets.size() ||
        touches.size() < static_cast<std::size_t>(basis.min_points)) {
      return false;
    }
    if (!FitMap(basis, touches, targets, out)) return false;
    code = 1 + map;
  } else if (map == kFitMapNone) {
    code = 1 + map;
  } else {
    return false;
  }

  const std::uint8_t mode = type & kFitSpanMask;
  if (mode == 0) return false;
  if (mode != kFitNoSpan) {
    if (span.size() < classic_calib::kSpanSize) return false;
    std::copy_n(span.begin(), classic_calib::kSpanSize, out.begin() + classic_calib::kSpanOffset);
  }
  out[0] = static_cast<std::uint8_t>(code + mode);
  return true;
}

}  // namespace lumaro
