#include "touch-daemon/point_arrays.h"

#include <new>

namespace lumaro {

PointAllocator DefaultPointAllocator() {
  return {
      [](std::size_t count) -> TouchPoint* { return new (std::nothrow) TouchPoint[count](); },
      [](TouchPoint* points) { delete[] points; },
  };
}

PointAllocation PointArrays::Allocate() {
  if (last_ == nullptr) {
    last_.reset(allocator_.allocate(kReportContacts));
    if (last_ == nullptr) {
      Free();
      return PointAllocation::kLastPointFailed;
    }
  }
  if (now_ == nullptr) {
    now_.reset(allocator_.allocate(kReportContacts));
    if (now_ == nullptr) {
      Free();
      return PointAllocation::kPointsFailed;
    }
  }
  return PointAllocation::kReady;
}

void PointArrays::Free() {
  last_.reset();
  now_.reset();
}

}  // namespace lumaro
