// The touch engine: set up from the controller's geometry and lens blocks,
// it turns the two line images of each scan into two touch points in report
// units.
#pragma once

#include <cstdint>
#include <span>

#include "driver-interface/blocks.h"
#include "touch-daemon/engine/records.h"

namespace lumaro {

// What each stage of one scan produced, for diagnostics. Filled only when
// asked for; [0] is camera A, [1] camera B.
struct ScanStages {
  std::array<LineRuns, 2> Lines;      // the decoded line images
  std::array<ShadowList, 2> Found;    // shadows found in each lens window
  std::array<ShadowList, 2> Shadows;  // after the merged-shadow trackers
  // Their viewing angles, as converted (pairing may still merge a pair).
  std::array<std::array<ShadowAngles, kMaxShadows>, 2> Angles;
  // Both cameras kept two shadows: how far apart the size agreement of the
  // two pairings of the four intersections was (0: a tie). -1 otherwise.
  double PairingMargin;
  EnginePair Located;   // the touches paired this scan
  EnginePair Smoothed;  // the slots two scans back, smoothed
  TouchPair Touches;    // the result in report units
};

class Engine {
 public:
  // Sets the scale and lens models from the blocks and clears the tracking
  // state: the split trackers, both histories, the point pairs, the hold
  // count and the occluded-pair mark. Returns true only when all three blocks
  // were valid (invalid ones give defaults; an invalid geometry keeps the
  // span of the last valid one).
  bool Reset(const ParamBlock& geometry, const ParamBlock& lens_a, const ParamBlock& lens_b);

  // One scan: the code bytes of camera A's and camera B's line images in,
  // slot 0 and slot 1 out, in report units. Fills stages when given.
  TouchPair ProcessScan(std::span<const std::uint8_t> code_a, std::span<const std::uint8_t> code_b,
                        ScanStages* stages = nullptr);

  const EngineState& state() const { return state_; }

 private:
  EngineState state_{};
};

// A smoothed point in report units. Values beyond the int32 range saturate;
// NaN gives 0.
TouchPoint ToReportUnits(const EnginePoint& point, const EngineScale& scale);

}  // namespace lumaro
