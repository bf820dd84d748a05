// The one saturating conversion of the engine and the filters, where values
// come from arbitrary device data and must never overflow.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace lumaro {

// Truncates toward zero into int32; out-of-range values saturate, NaN is 0.
// Integers of up to 53 bits convert exactly, so int64 arithmetic on int32
// values saturates through it as well.
inline std::int32_t SaturateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace lumaro
