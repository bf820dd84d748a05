#include "touch-daemon/curve_queue.h"

namespace lumaro {

void CurveQueueClear(CurveQueue& queue) {
  for (TouchPoint& point : queue.Points) point.down = 0;
  queue.Gain = 0.0f;
}

void CurveQueueSetGain(std::int32_t a, CurveQueue& queue) {
  queue.Gain = static_cast<float>(a) * 0.000030517578125f;
}

}  // namespace lumaro
