#include "calibration-tool/calib_fit.h"

#include <array>
#include <cmath>
#include <utility>

#include "calibration-common/fit_pieces.h"

namespace lumaro {
namespace {

using fit::kMaxTerms;
using fit::Matrix;
using fit::Term;

static_assert(kMaxTerms == calib::kCoefficientCount);
constexpr int kMaxDegree = 3;

// Block slot of each monomial: from degree 3 down to the constant, within a
// degree by rising power of x.
constexpr std::array<Term, kMaxTerms> kBlockOrder = {
    {{0, 3}, {1, 2}, {2, 1}, {3, 0}, {0, 2}, {1, 1}, {2, 0}, {0, 1}, {1, 0}, {0, 0}}};

}  // namespace

double EvaluateMap(const ParamBlock& block, double x, double y) {
  double value = 0.0;
  for (int k = 0; k < kMaxTerms; ++k) {
    value += static_cast<double>(calib::Coefficient(block, k)) *
             std::pow(x, kBlockOrder[k].x_power) * std::pow(y, kBlockOrder[k].y_power);
  }
  return value;
}

namespace {

constexpr int BlockIndex(Term t) {
  for (int k = 0; k < kMaxTerms; ++k) {
    if (kBlockOrder[k].x_power == t.x_power && kBlockOrder[k].y_power == t.y_power) return k;
  }
  return -1;
}

// The 3 x 3 inverse as the adjugate over the determinant; false when the
// determinant is exactly 0.
bool InvertByAdjugate(const Matrix& n, Matrix& inv) {
  const double d = n[0][1] * n[1][2] * n[2][0] + n[0][0] * n[1][1] * n[2][2] +
                   n[0][2] * n[1][0] * n[2][1] - n[0][0] * n[1][2] * n[2][1] -
                   n[0][1] * n[1][0] * n[2][2] - n[2][0] * n[1][1] * n[0][2];
  if (d == 0.0) return false;
  inv[0][0] = (n[1][1] * n[2][2] - n[1][2] * n[2][1]) / d;
  inv[0][1] = (n[0][2] * n[2][1] - n[2][2] * n[0][1]) / d;
  inv[0][2] = (n[0][1] * n[1][2] - n[1][1] * n[0][2]) / d;
  inv[1][0] = (n[1][2] * n[2][0] - n[2][2] * n[1][0]) / d;
  inv[1][1] = (n[2][2] * n[0][0] - n[0][2] * n[2][0]) / d;
  inv[1][2] = (n[0][2] * n[1][0] - n[0][0] * n[1][2]) / d;
  inv[2][0] = (n[1][0] * n[2][1] - n[1][1] * n[2][0]) / d;
  inv[2][1] = (n[2][0] * n[0][1] - n[0][0] * n[2][1]) / d;
  inv[2][2] = (n[0][0] * n[1][1] - n[0][1] * n[1][0]) / d;
  return true;
}

// Gauss-Jordan elimination of the m x m matrix beside the identity, with
// the shared pivot rule; false when a column has no pivot.
bool InvertByGaussJordan(Matrix n, int m, Matrix& e) {
  for (int r = 0; r < m; ++r) {
    for (int k = 0; k < m; ++k) e[r][k] = r == k ? 1.0 : 0.0;
  }
  for (int col = 0; col < m; ++col) {
    if (!fit::TakePivot(n, col, m, e)) return false;
    const double pivot = n[col][col];
    for (int r = 0; r < m; ++r) {
      if (r == col) continue;
      const double factor = n[r][col];
      for (int k = 0; k < m; ++k) {
        n[r][k] = n[r][k] - (n[col][k] / pivot) * factor;
        e[r][k] = e[r][k] - (e[col][k] / pivot) * factor;
      }
    }
  }
  for (int r = 0; r < m; ++r) {
    const double diagonal = n[r][r];
    for (int k = 0; k < m; ++k) {
      n[r][k] /= diagonal;
      e[r][k] /= diagonal;
    }
  }
  return true;
}

using Moments = std::array<std::array<double, 2 * kMaxDegree + 1>, 2 * kMaxDegree + 1>;

// moment[i][j]: the sum over the points of raw_y^j * raw_x^i, for i + j up
// to twice the degree.
Moments MomentSums(int degree, std::span<const float> raw_x, std::span<const float> raw_y,
                   std::size_t n) {
  Moments moment{};
  for (int i = 0; i <= 2 * degree; ++i) {
    for (int j = 0; i + j <= 2 * degree; ++j) {
      double sum = 0.0;
      for (std::size_t k = 0; k < n; ++k) {
        sum +=
            std::pow(static_cast<double>(raw_y[k]), j) * std::pow(static_cast<double>(raw_x[k]), i);
      }
      moment[i][j] = sum;
    }
  }
  return moment;
}

// The least-squares polynomial of total degree `degree` in the raw position
// that maps each point's raw position onto its target, written into the
// block; the block is untouched on failure.
bool FitTargetPolynomial(int degree, std::size_t min_points, FitPoints points, ParamBlock& block) {
  const std::size_t n = points.Count();
  if (n < min_points) return false;
  const std::span<const float> targets = points.targets, raw_x = points.raw_x, raw_y = points.raw_y;

  // Basis: i rising from 0, and for each i, j rising from 0 to degree - i.
  std::array<Term, kMaxTerms> basis{};
  int m = 0;
  for (int i = 0; i <= degree; ++i) {
    for (int j = 0; j <= degree - i; ++j) basis[m++] = {i, j};
  }

  const Moments moment = MomentSums(degree, raw_x, raw_y, n);
  std::array<double, kMaxTerms> rhs{};
  Matrix normal{};
  for (int a = 0; a < m; ++a) {
    double sum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
      const double t = static_cast<double>(targets[k]);
      sum += std::pow(static_cast<double>(raw_y[k]), basis[a].y_power) *
             (t * std::pow(static_cast<double>(raw_x[k]), basis[a].x_power));
    }
    rhs[a] = sum;
    for (int b = 0; b < m; ++b) {
      normal[a][b] =
          moment[basis[a].x_power + basis[b].x_power][basis[a].y_power + basis[b].y_power];
    }
  }

  Matrix inverse{};
  const bool solved =
      degree == 1 ? InvertByAdjugate(normal, inverse) : InvertByGaussJordan(normal, m, inverse);
  if (!solved) return false;

  if (degree == 1) {
    for (int k = 0; k < kMaxTerms; ++k) calib::SetCoefficient(block, k, 0.0f);
  }
  for (int a = 0; a < m; ++a) {
    float coefficient = 0.0f;
    for (int b = 0; b < m; ++b) coefficient += static_cast<float>(inverse[a][b] * rhs[b]);
    calib::SetCoefficient(block, BlockIndex(basis[a]), coefficient);
  }
  return true;
}

}  // namespace

bool FitLinear(FitPoints points, ParamBlock& block) {
  return FitTargetPolynomial(1, 3, points, block);
}

bool FitCubic(FitPoints points, ParamBlock& block) {
  return FitTargetPolynomial(3, 10, points, block);
}

bool FitAxes(const CalibPoints& points, ParamBlock& calib_x, ParamBlock& calib_y, bool advanced) {
  const auto fit = advanced ? FitCubic : FitLinear;
  const bool x_ok = fit({points.target_x, points.raw_x, points.raw_y}, calib_x);
  const bool y_ok = fit({points.target_y, points.raw_x, points.raw_y}, calib_y);
  return x_ok && y_ok;
}

}  // namespace lumaro
