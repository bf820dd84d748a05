#include "touch-daemon/tap_filter.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace lumaro {

namespace {

constexpr std::int32_t kDefaultThreshold = 160000;

// The square of a difference of two int32 values, saturating at the largest
// uint64 (a difference of int32 values is below 2^32, so only the square can
// overflow, and only for the extreme pair).
std::uint64_t SquaredDifference(std::int64_t a, std::int64_t b) {
  const std::uint64_t d = static_cast<std::uint64_t>(a > b ? a - b : b - a);
  if (d > 0xFFFFFFFFu) return std::numeric_limits<std::uint64_t>::max();
  return d * d;
}

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
  return a > std::numeric_limits<std::uint64_t>::max() - b
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

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

namespace {

// Entries in use: the capacity, kept inside the entry array.
std::int32_t UsableCapacity(const TapFilterState& filter) {
  return std::clamp<std::int32_t>(filter.Capacity, 0, kPointListCapacity);
}

// (max x - min x)^2 + (max y - min y)^2 over the buffered points, with the
// minima starting at 65535 and the maxima at 0.
std::uint64_t Spread(const TapFilterState& filter) {
  std::int64_t min_x = 0xFFFF, min_y = 0xFFFF, max_x = 0, max_y = 0;
  for (std::int32_t i = 0; i < filter.Count; ++i) {
    const TouchPoint& p = filter.Entries[i];
    min_x = std::min<std::int64_t>(min_x, p.x);
    min_y = std::min<std::int64_t>(min_y, p.y);
    max_x = std::max<std::int64_t>(max_x, p.x);
    max_y = std::max<std::int64_t>(max_y, p.y);
  }
  return SaturatingAdd(SquaredDifference(max_x, min_x), SquaredDifference(max_y, min_y));
}

// Replaces x, y and z of the run of down entries that ends at k by their
// averages (truncated toward zero). Nothing happens unless entry k is down.
void AverageRunEndingAt(std::int32_t k, TapFilterState& filter) {
  if (k < 0 || k >= kPointListCapacity || filter.Entries[k].down == 0) return;
  std::int32_t first = k;
  while (first > 0 && filter.Entries[first - 1].down != 0) --first;
  std::int64_t sum_x = 0, sum_y = 0, sum_z = 0;
  for (std::int32_t i = first; i <= k; ++i) {
    sum_x += filter.Entries[i].x;
    sum_y += filter.Entries[i].y;
    sum_z += filter.Entries[i].z;
  }
  const std::int64_t n = k - first + 1;
  for (std::int32_t i = first; i <= k; ++i) {
    filter.Entries[i].x = static_cast<std::int32_t>(sum_x / n);
    filter.Entries[i].y = static_cast<std::int32_t>(sum_y / n);
    filter.Entries[i].z = static_cast<std::int32_t>(sum_z / n);
  }
}

std::uint64_t ThresholdOf(const TapFilterState& filter) {
  return filter.Threshold < 0 ? 0 : static_cast<std::uint64_t>(filter.Threshold);
}

}  // namespace

void TapFilterStep(const TouchPoint& point, TapFilterState& filter) {
  const std::int32_t capacity = UsableCapacity(filter);
  if (capacity < 1) return;
  filter.Count = std::clamp<std::int32_t>(filter.Count, 0, capacity);
  if (filter.Count < capacity) {
    filter.Entries[filter.Count++] = point;
  } else {
    filter.Entries[capacity - 1] = point;
  }

  switch (filter.TapState) {
    case TapIdle:
      if (point.down != 0) filter.TapState = TapSettling;
      break;
    case TapMoving:
      if (point.down == 0) filter.TapState = TapIdle;
      break;
    case TapSettling:
      if (point.down == 0) {
        // A tap that lifted while settling: its down points are averaged.
        AverageRunEndingAt(filter.Count - 2, filter);
        filter.TapState = TapIdle;
      } else if (filter.Count == capacity) {
        // Still long enough: average and pin it.
        AverageRunEndingAt(filter.Count - 1, filter);
        filter.Saved = filter.Entries[filter.Count - 1];
        filter.TapState = TapHeld;
      } else if (Spread(filter) > ThresholdOf(filter)) {
        filter.TapState = TapMoving;
      }
      break;
    case TapHeld:
      if (point.down == 0) {
        filter.TapState = TapIdle;
      } else if (SaturatingAdd(SquaredDifference(point.x, filter.Saved.x),
                               SquaredDifference(point.y, filter.Saved.y)) < ThresholdOf(filter)) {
        filter.Entries[filter.Count - 1] = filter.Saved;
      } else {
        filter.TapState = TapMoving;
      }
      break;
    default:  // TapPass
      break;
  }
}

std::int32_t TapFilterExtract(std::array<TouchPoint, kPointListCapacity>& output,
                              TapFilterState& filter) {
  if (filter.TapState == TapSettling) {
    // One held-back point per scan while the touch settles.
    output[0].down = 0;
    return 1;
  }
  const std::int32_t n = std::clamp<std::int32_t>(filter.Count, 0, kPointListCapacity);
  std::copy_n(filter.Entries.begin(), n, output.begin());
  filter.Count = 0;
  return n;
}

}  // namespace lumaro
