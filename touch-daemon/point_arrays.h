// The two point arrays of a device session: allocated by DeviceInit, freed
// when the session ends.
#pragma once

#include <cstddef>
#include <functional>

#include "touch-daemon/device_context.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/touch_point.h"

namespace lumaro {

// Where the arrays come from; tests substitute one that fails.
struct PointAllocator {
  // count zero-filled records, or nullptr when no memory is left.
  std::function<TouchPoint*(std::size_t count)> allocate;
  // Returns an array of allocate; never called with nullptr.
  std::function<void(TouchPoint* points)> release;
};

// Plain heap arrays.
PointAllocator DefaultPointAllocator();

// Gives the context both arrays of MaxPoints zero-filled records, pLastPoint
// first. Arrays the context already holds are kept with their contents, so
// a re-identification during a session loses nothing. On a failed allocation
// prints "pLastPoint memory: allocate failed." or "pPoints memory: allocate
// failed.", leaves the context with neither array and returns false.
bool AllocatePoints(DeviceContext& ctx, const PointAllocator& allocator, DiagnosticSink& log);

// Frees pLastPoint, then pPoints, each only when present, and sets both to
// nullptr.
void FreePoints(DeviceContext& ctx, const PointAllocator& allocator);

}  // namespace lumaro
