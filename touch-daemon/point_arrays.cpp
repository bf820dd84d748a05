#include "touch-daemon/point_arrays.h"

#include <algorithm>
#include <new>

namespace lumaro {

namespace {

void FreeArray(TouchPoint*& points, const PointAllocator& allocator) {
  if (points == nullptr) return;
  allocator.release(points);
  points = nullptr;
}

}  // namespace

PointAllocator DefaultPointAllocator() {
  return {
      [](std::size_t count) -> TouchPoint* { return new (std::nothrow) TouchPoint[count](); },
      [](TouchPoint* points) { delete[] points; },
  };
}

bool AllocatePoints(DeviceContext& ctx, const PointAllocator& allocator, DiagnosticSink& log) {
  const auto count = static_cast<std::size_t>(std::max(ctx.MaxPoints, 0));
  if (ctx.pLastPoint == nullptr) {
    ctx.pLastPoint = allocator.allocate(count);
    if (ctx.pLastPoint == nullptr) {
      log.Line("pLastPoint memory: allocate failed.");
      FreePoints(ctx, allocator);
      return false;
    }
  }
  if (ctx.pPoints == nullptr) {
    ctx.pPoints = allocator.allocate(count);
    if (ctx.pPoints == nullptr) {
      log.Line("pPoints memory: allocate failed.");
      FreePoints(ctx, allocator);
      return false;
    }
  }
  return true;
}

void FreePoints(DeviceContext& ctx, const PointAllocator& allocator) {
  FreeArray(ctx.pLastPoint, allocator);
  FreeArray(ctx.pPoints, allocator);
}

}  // namespace lumaro
