#include "touch-daemon/tap_filter.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace lumaro {

namespace {
constexpr std::int32_t kDefaultThreshold = 160000;
}  // namespace

void TapFilterReset(TapFilterState& filter) {
  filter.Capacity = kPointListCapacity;
  filter.Threshold = kDefaultThreshold;
  for (TouchPoint& entry : filter.Entries) entry.down = 0;
  filter.Saved.down = 0;
  filter.Count = 0;
  filter.TapState = TapIdle;
}

void TapFilterConfigure(std::int32_t span, std::int32_t step, std::int32_t radius,
                        std::int32_t width, std::int32_t height, TapFilterState& filter) {
  if (width == 0 || height == 0) return;
  // 64-bit arithmetic: no argument can overflow the quotients or the square;
  // a zero step yields no buffer at all rather than a division by zero.
  const std::int64_t n = step == 0 ? 0 : std::int64_t{span} / step;
  const std::int64_t r = std::int64_t{radius} * 32768 / width;
  if (n > 0) {
    filter.Capacity = static_cast<std::int32_t>(std::min<std::int64_t>(n, kPointListCapacity));
    filter.TapState = TapIdle;
  } else {
    filter.Capacity = 1;
    filter.TapState = TapPass;
  }
  for (std::int32_t i = 0; i < filter.Capacity; ++i) filter.Entries[i].down = 0;
  filter.Count = 0;
  // 46340 is the largest r whose square fits an int32; beyond it the
  // threshold saturates.
  const std::int64_t magnitude = r < 0 ? -r : r;
  filter.Threshold = magnitude > 46340 ? std::numeric_limits<std::int32_t>::max()
                                       : static_cast<std::int32_t>(magnitude * magnitude);
}

}  // namespace lumaro
