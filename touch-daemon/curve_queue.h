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

// Shifts the point in as the newest, P3.
void CurveQueuePush(const TouchPoint& point, CurveQueue& queue);

// Path length of the window's middle segment times the gain, truncated
// toward zero; 0 unless P1 and P2 are down.
std::int32_t CurveQueueSteps(const CurveQueue& queue);

// Resamples the segment from P1 to P2 into `count` points of `output`
// (room for kPointListCapacity), the count limited to 1 .. 60. Returns the
// number of points written.
std::int32_t CurveQueueInterpolate(std::array<TouchPoint, kPointListCapacity>& output,
                                   std::int32_t count, const CurveQueue& queue);

}  // namespace lumaro
