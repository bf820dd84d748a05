// A four-point window through which a point stream is resampled along a
// cubic Bezier segment.
#pragma once

#include <array>
#include <cstdint>

#include "touch-daemon/touch_point.h"

namespace lumaro {

struct CurveQueue {
  std::array<TouchPoint, 4> Points;  // P0 .. P3, oldest first
  float Gain;                        // steps per unit of path length
};

// All four points not down, gain 0.
void CurveQueueClear(CurveQueue& queue);

// Gain = a / 32768.
void CurveQueueSetGain(std::int32_t a, CurveQueue& queue);

}  // namespace lumaro
