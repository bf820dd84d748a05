#include "calibration-tool/calib_fit.h"

#include <array>
#include <cmath>
#include <utility>

namespace lumaro {
namespace {

constexpr int kMaxTerms = calib::kCoefficientCount;
constexpr int kMaxDegree = 3;

// The monomial x^i * y^j.
struct Term {
  int i;
  int j;
};

// Block slot of each monomial: from degree 3 down to the constant, within a
// degree by rising power of x.
constexpr std::array<Term, kMaxTerms> kBlockOrder = {
    {{0, 3}, {1, 2}, {2, 1}, {3, 0}, {0, 2}, {1, 1}, {2, 0}, {0, 1}, {1, 0}, {0, 0}}};

constexpr int BlockIndex(Term t) {
  for (int k = 0; k < kMaxTerms; ++k) {
    if (kBlockOrder[k].i == t.i && kBlockOrder[k].j == t.j) return k;
  }
  return -1;
}

using Matrix = std::array<std::array<double, kMaxTerms>, kMaxTerms>;

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

// Gauss-Jordan elimination of the m x m matrix beside the identity. A zero
// pivot is replaced by the first non-zero entry below it; false when there is
// none.
bool InvertByGaussJordan(Matrix n, int m, Matrix& e) {
  for (int r = 0; r < m; ++r) {
    for (int k = 0; k < m; ++k) e[r][k] = r == k ? 1.0 : 0.0;
  }
  for (int col = 0; col < m; ++col) {
    if (n[col][col] == 0.0) {
      int p = col + 1;
      while (p < m && n[p][col] == 0.0) ++p;
      if (p == m) return false;
      std::swap(n[p], n[col]);
      std::swap(e[p], e[col]);
    }
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

// The least-squares polynomial of total degree `degree` through the points,
// written into the block; the block is untouched on failure.
bool FitPolynomial(int degree, int min_points, const float* targets, const float* rawX,
                   const float* rawY, std::int32_t n, ParamBlock& block) {
  if (n < min_points) return false;

  // Basis: i rising from 0, and for each i, j rising from 0 to degree - i.
  std::array<Term, kMaxTerms> basis{};
  int m = 0;
  for (int i = 0; i <= degree; ++i) {
    for (int j = 0; j <= degree - i; ++j) basis[m++] = {i, j};
  }

  double moment[2 * kMaxDegree + 1][2 * kMaxDegree + 1] = {};
  for (int i = 0; i <= 2 * degree; ++i) {
    for (int j = 0; i + j <= 2 * degree; ++j) {
      double sum = 0.0;
      for (std::int32_t k = 0; k < n; ++k) {
        sum +=
            std::pow(static_cast<double>(rawY[k]), j) * std::pow(static_cast<double>(rawX[k]), i);
      }
      moment[i][j] = sum;
    }
  }
  std::array<double, kMaxTerms> rhs{};
  Matrix normal{};
  for (int a = 0; a < m; ++a) {
    double sum = 0.0;
    for (std::int32_t k = 0; k < n; ++k) {
      const double t = static_cast<double>(targets[k]);
      sum += std::pow(static_cast<double>(rawY[k]), basis[a].j) *
             (t * std::pow(static_cast<double>(rawX[k]), basis[a].i));
    }
    rhs[a] = sum;
    for (int b = 0; b < m; ++b)
      normal[a][b] = moment[basis[a].i + basis[b].i][basis[a].j + basis[b].j];
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

bool FitLinear(const float* targets, const float* rawX, const float* rawY, std::int32_t n,
               ParamBlock& block) {
  return FitPolynomial(1, 3, targets, rawX, rawY, n, block);
}

bool FitCubic(const float* targets, const float* rawX, const float* rawY, std::int32_t n,
              ParamBlock& block) {
  return FitPolynomial(3, 10, targets, rawX, rawY, n, block);
}

bool FitAxes(const float* targetX, const float* targetY, const float* rawX, const float* rawY,
             std::int32_t n, ParamBlock& CalibX, ParamBlock& CalibY, bool advanced) {
  const auto fit = advanced ? FitCubic : FitLinear;
  const bool x_ok = fit(targetX, rawX, rawY, n, CalibX);
  const bool y_ok = fit(targetY, rawX, rawY, n, CalibY);
  return x_ok && y_ok;
}

}  // namespace lumaro
