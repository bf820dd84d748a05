// The frame path as a pure function of its state: every frame read from the
// device goes through one FramePipeline, which pairs the two half-frames of a
// scan, runs the engine, drives both report contacts through the filters and
// builds the resulting reports. It does no I/O: the caller writes the reports
// of each FrameResult to the device.
//
//   FramePipeline pipeline;                      // once per process
//   pipeline.SetUp(identity);                    // after each identification
//   const FrameResult& r = pipeline.TakeFrame(frame);
//   for (const ReportBytes& report : r.Reports()) write(report);
//   pipeline.EndSession();                       // when the device goes away
//
// State kept across a session end: the engine, the filters, the transform
// and a first half-frame still waiting for its partner. The last report
// written goes with the session (its array is freed); SetUp resets the
// engine, filters and transform of a camera controller and nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "driver-interface/identity.h"
#include "driver-interface/protocol.h"
#include "touch-daemon/calib_transform.h"
#include "touch-daemon/curve_queue.h"
#include "touch-daemon/engine/engine.h"
#include "touch-daemon/point_arrays.h"
#include "touch-daemon/report_output.h"
#include "touch-daemon/tap_filter.h"

namespace lumaro {

using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;
using PointList = std::array<TouchPoint, kPointListCapacity>;

// Bytes 0 to 63 of the latest first half-frame, kept until its partner comes.
inline constexpr std::size_t kFirstHalfFrameSize = 64;
using FirstHalfFrame = std::array<std::uint8_t, kFirstHalfFrameSize>;

// Most reports one frame yields: one per point the tap filter releases (the
// report curves resample each step to one point).
inline constexpr std::int32_t kMaxReportsPerFrame = kPointListCapacity;

// Why a frame, or the first half-frame before it, went unused.
enum class FrameDrop : std::uint8_t {
  kNone,
  kNotALineFrame,      // this frame's type byte is not a line frame
  kUnknownHalf,        // this frame's half byte is neither 0 nor 1
  kSecondHalfAlone,    // this second half-frame has no first half waiting
  kFirstHalfReplaced,  // a new first half came: the one waiting is dropped
};

// What one frame produced at each stage, for diagnostics.
struct FrameStages {
  ScanStages engine;  // the engine's stages of the scan, when one ran
  // The pairs that left the filters, each offered as one report (the first
  // kPointListCapacity of them are kept).
  std::array<TouchPair, kPointListCapacity> filtered;
  std::int32_t filtered_count;
};

// What taking one frame produced. Valid until the next TakeFrame.
class FrameResult {
 public:
  // The reports to write, in order.
  std::span<const ReportBytes> Reports() const {
    return {reports_.data(), static_cast<std::size_t>(report_count_)};
  }

  bool scanned = false;  // the frame completed a scan and the engine ran
  FrameDrop drop = FrameDrop::kNone;
  // Reports beyond kMaxReportsPerFrame, lost; the filters' settings make
  // this impossible, it is counted rather than assumed.
  std::int32_t reports_lost = 0;
  bool has_stages = false;  // stages filled: asked for and the engine ran
  FrameStages stages{};

 private:
  friend class FramePipeline;
  std::array<ReportBytes, kMaxReportsPerFrame> reports_{};
  std::int32_t report_count_ = 0;
};

enum class StageDetail : std::uint8_t { kWithoutStages, kWithStages };

class FramePipeline {
 public:
  explicit FramePipeline(PointAllocator allocator = DefaultPointAllocator());
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // After every identification: allocates the point arrays (kept when held)
  // and, for a camera controller, sets up the engine, filters and transform
  // from its blocks. Returns how the allocation went; without the arrays no
  // report is built until a later SetUp allocates them.
  PointAllocation SetUp(const ControllerIdentity& identity);

  // The session ended: frees the point arrays.
  void EndSession() { points_.Free(); }

  // Takes one frame as read from the device. Allocates nothing.
  const FrameResult& TakeFrame(const FrameBuffer& frame,
                               StageDetail detail = StageDetail::kWithoutStages);

  const EngineState& engine_state() const { return engine_.state(); }

 private:
  void SetUpCamera(const ControllerIdentity& identity);
  // Runs the filters over the scan's two touches and builds one report per
  // filtered pair.
  void FilterAndReport(const TouchPair& touches, FrameStages* stages);

  Engine engine_;
  FirstHalfFrame first_half_{};
  bool first_half_pending_ = false;
  bool raw_ = false;                     // the latest frame began with kRawFrameMarker
  std::uint8_t lens_b_orientation_ = 0;  // of the camera set up last
  CalibTransform transform_{};
  // Contact 0 passes the tap filter; contact 1 follows it, resampled to as
  // many points as the tap filter released. Both then pass a report curve.
  TapFilterState tap_filter_{};
  CurveQueue follow_curve_{};
  PointList tapped_{};
  PointList followed_{};
  std::array<CurveQueue, kReportContacts> report_curves_{};
  std::array<PointList, kReportContacts> report_points_{};
  PointArrays points_;
  FrameResult result_;
};

}  // namespace lumaro
