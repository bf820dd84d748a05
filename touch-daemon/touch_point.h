// The point lists of the filter stages. Coordinates are report units: 0 to
// 32768 across the active area.
#pragma once

#include "touch-daemon/engine/records.h"

namespace lumaro {

// Room of every fixed point list on the frame path (filter buffers and the
// stage outputs): the most points one interpolation can yield.
inline constexpr int kPointListCapacity = 60;

}  // namespace lumaro
