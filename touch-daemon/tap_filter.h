// The touch-down filter of report slot 0: holds back a fresh touch until it
// moves, settles long enough to be averaged and pinned, or lifts.
#pragma once

#include <array>
#include <cstdint>

#include "touch-daemon/touch_point.h"

namespace lumaro {

// TapFilterState::TapState. TapFilterStep moves between the states on each
// point, up or down ("spread": the squared extent of the buffered points;
// "drift": the squared distance of a point from the pinned one):
//
//                     down
//     +--------+ -------------> +----------+  buffer full:   +--------+
//     |  Idle  |                | Settling | --------------> |  Held  |--+
//     +--------+ <------------- +----------+  average, pin   +--------+  |
//       ^    ^     up: average       |                         |   ^     |
//       |    |     the tap           | spread > threshold      |   +-----+
//       |    |                       v                         |   down, drift <
//       |    |      up          +--------+  drift >= threshold |   threshold:
//       |    +----------------- | Moving | <-------------------+   the pinned
//       |                       +--------+                     |   point again
//       +------------------------------------------------------+
//                               up
//
// Settling releases one point that is not down per scan and keeps the
// buffer; every other state releases the whole buffer. Pass (a filter set up
// without a buffer) lets every point through and never changes state.
enum TapState : std::uint8_t {
  TapPass = 0,  // every point passes straight through
  TapIdle = 1,
  TapMoving = 2,
  TapSettling = 3,
  TapHeld = 4,
};

struct TapFilterState {
  std::int32_t Capacity;                               // entries in use, 1 .. kPointListCapacity
  std::int32_t Threshold;                              // squared distance, report units squared
  std::array<TouchPoint, kPointListCapacity> Entries;  // oldest first
  TouchPoint Saved;                                    // pinned position of a held touch
  std::int32_t Count;                                  // buffered points
  std::uint8_t TapState;                               // lumaro::TapState
};

// Capacity 60, threshold 160000 (a radius of 400), idle and empty.
void TapFilterReset(TapFilterState& filter);

// Capacity = span / step (limited to 1 .. 60; below 1 the filter passes every
// point) and threshold = r * r with r = radius * 32768 / width. A zero width
// or height leaves the filter unchanged.
void TapFilterConfigure(std::int32_t span, std::int32_t step, std::int32_t radius,
                        std::int32_t width, std::int32_t height, TapFilterState& filter);

// Appends a point and advances the state machine. A filter whose capacity is
// below 1 (never set up) stores nothing.
void TapFilterStep(const TouchPoint& point, TapFilterState& filter);

// Releases the points this scan lets through into `output` (room for
// kPointListCapacity); returns their number.
std::int32_t TapFilterExtract(std::array<TouchPoint, kPointListCapacity>& output,
                              TapFilterState& filter);

}  // namespace lumaro
