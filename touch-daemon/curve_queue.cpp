#include "touch-daemon/curve_queue.h"

#include <algorithm>
#include <cmath>

#include "touch-daemon/engine/saturate.h"

namespace lumaro {

void CurveQueueClear(CurveQueue& queue) {
  for (TouchPoint& point : queue.Points) point.down = 0;
  queue.Gain = 0.0f;
}

void CurveQueueSetGain(std::int32_t a, CurveQueue& queue) {
  queue.Gain = static_cast<float>(a) * 0.000030517578125f;
}

void CurveQueuePush(const TouchPoint& point, CurveQueue& queue) {
  queue.Points[0] = queue.Points[1];
  queue.Points[1] = queue.Points[2];
  queue.Points[2] = queue.Points[3];
  queue.Points[3] = point;
}

namespace {
double Norm(double dx, double dy) {
  return std::sqrt(dx * dx + dy * dy);
}
}  // namespace

std::int32_t CurveQueueSteps(const CurveQueue& queue) {
  const TouchPoint& p0 = queue.Points[0];
  const TouchPoint& p1 = queue.Points[1];
  const TouchPoint& p2 = queue.Points[2];
  const TouchPoint& p3 = queue.Points[3];
  double length = 0.0;
  if (p1.down != 0 && p2.down != 0) {
    const TouchPoint& a = p0.down != 0 ? p0 : p1;
    const TouchPoint& b = p3.down != 0 ? p3 : p2;
    const double ax = a.x, ay = a.y, bx = b.x, by = b.y;
    const double x1 = p1.x, y1 = p1.y, x2 = p2.x, y2 = p2.y;
    length = Norm(ax - x2, ay - y2) + Norm(bx - x1, by - y1) +
             Norm(5.0 * (x2 - x1) + ax - bx, 5.0 * (y2 - y1) + ay - by);
  }
  return SaturateToInt32(static_cast<float>(length) * queue.Gain);
}

namespace {

struct Vec3 {
  double x, y, z;
};

Vec3 Of(const TouchPoint& p) {
  return {double(p.x), double(p.y), double(p.z)};
}

}  // namespace

std::int32_t CurveQueueInterpolate(std::array<TouchPoint, kPointListCapacity>& output,
                                   std::int32_t count, const CurveQueue& queue) {
  const std::int32_t n = std::clamp<std::int32_t>(count, 1, kPointListCapacity);
  const TouchPoint& p0 = queue.Points[0];
  const TouchPoint& p1 = queue.Points[1];
  const TouchPoint& p2 = queue.Points[2];
  const TouchPoint& p3 = queue.Points[3];
  if (p2.down == 0) {
    for (std::int32_t i = 0; i < n; ++i) output[i].down = 0;
    return n;
  }
  // The cubic Bezier from S through C1 and C2 to E, per coordinate.
  const Vec3 e = Of(p2);
  Vec3 s = e, c1 = e, c2 = e;
  if (p1.down != 0) {
    s = Of(p1);
    c1 = s;
    c2 = e;
    if (p0.down != 0) {
      const Vec3 q = Of(p0);
      c1 = {s.x + 0.125 * (e.x - q.x), s.y + 0.125 * (e.y - q.y), s.z + 0.125 * (e.z - q.z)};
    }
    if (p3.down != 0) {
      const Vec3 q = Of(p3);
      c2 = {e.x + 0.125 * (s.x - q.x), e.y + 0.125 * (s.y - q.y), e.z + 0.125 * (s.z - q.z)};
    }
  }
  auto curve = [](double s, double c1, double c2, double e, double u) {
    const double a1 = 3 * c1 - 3 * s;
    const double a2 = 3 * s - 6 * c1 + 3 * c2;
    const double a3 = e - s + 3 * c1 - 3 * c2;
    return ((a3 * u + a2) * u + a1) * u + s;
  };
  for (std::int32_t i = 1; i <= n; ++i) {
    const double u = static_cast<double>(i) / n;
    TouchPoint& out = output[i - 1];
    out.x = SaturateToInt32(curve(s.x, c1.x, c2.x, e.x, u) + 0.5);
    out.y = SaturateToInt32(curve(s.y, c1.y, c2.y, e.y, u) + 0.5);
    out.z = std::max(0, SaturateToInt32(curve(s.z, c1.z, c2.z, e.z, u) + 0.5));
    out.down = 1;
  }
  return n;
}

}  // namespace lumaro
