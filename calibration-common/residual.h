// How well a fit maps the pass's own touches: the distance, in screen
// pixels, between each target and where the new map puts its touch. The
// result face shows it, or, when nothing was stored, why.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>

namespace lumaro {

// Where the map puts a touch, less its target, in pixels.
struct PixelMiss {
  double x;
  double y;
};

struct Residual {
  double largest = 0.0;
  double mean = 0.0;
};

// Over points 0 to n - 1; `miss(i)` gives point i's PixelMiss.
template <typename Miss>
Residual MeasureResidual(std::size_t n, Miss miss) {
  Residual r;
  if (n == 0) return r;
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const PixelMiss d = miss(i);
    const double distance = std::hypot(d.x, d.y);
    r.largest = std::max(r.largest, distance);
    sum += distance;
  }
  r.mean = sum / static_cast<double>(n);
  return r;
}

// "Residual: largest L px, mean M px", one decimal each.
inline std::string ResidualText(const Residual& r) {
  char text[96];
  std::snprintf(text, sizeof text, "Residual: largest %.1f px, mean %.1f px", r.largest, r.mean);
  return text;
}

// The result face's line when nothing was stored: `why` with a capital.
inline std::string NotStoredText(std::string why) {
  if (!why.empty() && why[0] >= 'a' && why[0] <= 'z') why[0] = static_cast<char>(why[0] - 32);
  return why;
}

}  // namespace lumaro
