// The point record that flows from pairing through the filters to the report
// writer. Coordinates are report units: 0 to 32768 across the active area.
#pragma once

#include <cstdint>

namespace lumaro {

struct TouchPoint {
  std::int32_t x;
  std::int32_t y;
  std::int32_t z;     // contact width
  std::uint8_t down;  // 1 = touching, 0 = not
};

// Room of every fixed point list on the frame path (filter buffers and the
// stage outputs): the most points one interpolation can yield.
inline constexpr int kPointListCapacity = 60;

}  // namespace lumaro
