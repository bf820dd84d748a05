// What the two calibration fits share: least-squares normal equations in
// double precision over at most ten monomial terms x^i * y^j, and the pivot
// rule: an exactly zero pivot is replaced by the first row below it with a
// non-zero entry in its column; a non-zero pivot is used however small.
//
// The rest differs on purpose, because each fit must store the same bits as
// the controller's own tool always has. tapalign sums its moments with pow,
// inverts the normal matrix (by the adjugate for three terms, else
// Gauss-Jordan beside the identity, dividing the pivot row at each use) and
// multiplies the inverse by the right-hand side in single precision. The
// classic tool sums its moments by repeated multiplication and eliminates
// with both right-hand sides beside the matrix, one factor per row, dividing
// by the diagonal at the end. Merging any of these steps changes the results
// in their last bits.
#pragma once

#include <array>
#include <utility>

namespace lumaro::fit {

inline constexpr int kMaxTerms = 10;

// The monomial x^x_power * y^y_power.
struct Term {
  int x_power;
  int y_power;
};

using Matrix = std::array<std::array<double, kMaxTerms>, kMaxTerms>;

// The row that gives column `col` of the size x size system its pivot: `col`
// itself unless its entry is exactly 0 (a NaN counts as non-zero), else the
// first row below with a non-zero entry; -1 when there is none.
inline int PivotRow(const Matrix& a, int col, int size) {
  int row = col;
  while (row < size && a[row][col] == 0.0) ++row;
  return row < size ? row : -1;
}

// Applies the pivot rule to column `col`: row `col` and the pivot row are
// exchanged in `a` and in each companion beside it (a matrix or a vector).
// False when the column has no pivot.
template <typename... Companions>
bool TakePivot(Matrix& a, int col, int size, Companions&... companions) {
  const int row = PivotRow(a, col, size);
  if (row < 0) return false;
  if (row != col) {
    std::swap(a[row], a[col]);
    (std::swap(companions[row], companions[col]), ...);
  }
  return true;
}

}  // namespace lumaro::fit
