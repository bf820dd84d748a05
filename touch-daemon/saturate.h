// Defined conversions and squares for the frame path, where values come
// from arbitrary device data and must never overflow.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace lumaro {

// Truncates toward zero into int32; out-of-range values saturate, NaN is 0.
inline std::int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

// The square of a difference of two int32 values, saturating at the largest
// uint64 (a difference of int32 values is below 2^32, so only the square can
// overflow, and only for the extreme pair).
inline std::uint64_t SquaredDifference(std::int64_t a, std::int64_t b) {
  const std::uint64_t d = static_cast<std::uint64_t>(a > b ? a - b : b - a);
  if (d > 0xFFFFFFFFu) return std::numeric_limits<std::uint64_t>::max();
  return d * d;
}

inline std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

}  // namespace lumaro
