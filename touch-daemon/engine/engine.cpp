#include "touch-daemon/engine/engine.h"

#include <algorithm>

#include "touch-daemon/engine/pairing.h"
#include "touch-daemon/engine/saturate.h"
#include "touch-daemon/engine/setup.h"
#include "touch-daemon/engine/shadows.h"
#include "touch-daemon/engine/smoothing.h"
#include "touch-daemon/engine/triangulation.h"

namespace lumaro {

namespace {

// Empties both slots; the position fields keep their values.
void MarkEmpty(EnginePair& pair) {
  for (EnginePoint& point : pair) point.State = PointNone;
}

// Every record is converted, whatever the count; those beyond it are never
// consulted.
AnglePair AnglesOf(const ShadowList& shadows, const LensModel& lens) {
  return {ShadowToAngles(shadows.Spans[0], lens), ShadowToAngles(shadows.Spans[1], lens)};
}

}  // namespace

bool Engine::Reset(const ParamBlock& geometry, const ParamBlock& lens_a, const ParamBlock& lens_b) {
  const ScaleSetup scale = ScaleFromGeometry(geometry, state_.Scale.Span);
  const LensSetup lenses = LensModelsFromBlocks(lens_a, lens_b);
  state_.Scale = scale.Scale;
  state_.LensA = lenses.LensA;
  state_.LensB = lenses.LensB;
  state_.SplitA.State = SplitIdle;
  state_.SplitB.State = SplitIdle;
  for (PointHistory& history : state_.History) {
    for (EnginePoint& entry : history.Ring) entry.State = PointNone;
    history.Newest = -1;
  }
  MarkEmpty(state_.RawPair);
  MarkEmpty(state_.ReferencePair);
  state_.HoldCount = 0;
  state_.OccludedPair = 0;
  return scale.Valid && lenses.Valid;
}

// The whole per-scan pipeline, top to bottom.
TouchPair Engine::ProcessScan(std::span<const std::uint8_t> code_a,
                              std::span<const std::uint8_t> code_b, ScanStages* stages) {
  EngineState& s = state_;
  const LensModel& lens_a = s.LensA;
  const LensModel& lens_b = s.LensB;

  // Decode both line images into their shadowed runs.
  const LineRuns line_a = DecodeLine(code_a);
  const LineRuns line_b = DecodeLine(code_b);

  // Detect the shadows inside each camera's lens window.
  const ShadowList found_a = FindShadows(line_a, lens_a.PixelStart, lens_a.PixelEnd, kMaxShadows);
  const ShadowList found_b = FindShadows(line_b, lens_b.PixelStart, lens_b.PixelEnd, kMaxShadows);

  // Split merged shadows; each tracker sees the other camera's count as
  // found, before any split.
  const ShadowList shadows_a = SplitMergedShadow(found_a, found_b.Count, s.SplitA);
  const ShadowList shadows_b = SplitMergedShadow(found_b, found_a.Count, s.SplitB);

  // Viewing angles of every shadow.
  AnglePair angles_a = AnglesOf(shadows_a, lens_a);
  AnglePair angles_b = AnglesOf(shadows_b, lens_b);
  if (stages != nullptr) {
    stages->Angles = {angles_a, angles_b};  // before any merge
    stages->PairingMargin =
        shadows_a.Count == 2 && shadows_b.Count == 2 ? PairingMargin(angles_a, angles_b) : -1.0;
  }

  // Triangulate and pair: the touches of this scan, in stable slots.
  const EnginePair located = PairTouches(angles_a, shadows_a.Count, angles_b, shadows_b.Count, s);

  // Smooth: each slot's history gets this scan's touch and gives back the
  // entry two scans older, which is fitted over its neighbours.
  const EnginePair centre = {HistoryPush(located[0], s.History[0]),
                             HistoryPush(located[1], s.History[1])};
  const double limit = ReachLimit(centre);
  FitWork work;
  const EnginePair smoothed = {SmoothTrack(s.ReferencePair[0], s.History[0], work, limit),
                               SmoothTrack(s.ReferencePair[1], s.History[1], work, limit)};

  // Export in report units.
  const TouchPair touches = {ToReportUnits(smoothed[0], s.Scale),
                             ToReportUnits(smoothed[1], s.Scale)};

  if (stages != nullptr) {
    stages->Lines = {line_a, line_b};
    stages->Found = {found_a, found_b};
    stages->Shadows = {shadows_a, shadows_b};
    stages->Located = located;
    stages->Smoothed = smoothed;
    stages->Touches = touches;
  }
  return touches;
}

TouchPoint ToReportUnits(const EnginePoint& point, const EngineScale& scale) {
  TouchPoint out;
  out.x = SaturateToInt32(static_cast<double>(scale.XScale) * point.X +
                          static_cast<double>(scale.XOffset));
  out.y = SaturateToInt32(static_cast<double>(scale.YScale) * point.Y +
                          static_cast<double>(scale.YOffset));
  out.z = std::max(SaturateToInt32(static_cast<double>(scale.ZScale) * point.Size), 0);
  out.down = point.State == PointMeasured ? 1 : 0;
  return out;
}

}  // namespace lumaro
