#include "touch-daemon/frame_pipeline.h"

#include <algorithm>
#include <span>
#include <utility>

#include "driver-interface/blocks.h"

namespace lumaro {
namespace {

// Tap filter: 200 / 16 = 12 buffered points, distance threshold 0.
constexpr std::int32_t kTapSpan = 200;
constexpr std::int32_t kTapStep = 16;
constexpr std::int32_t kTapRadius = 0;
// Curve queues: gain 0, one interpolated point per input.
constexpr std::int32_t kCurveGain = 0;

// The line data of a half-frame: L - 1 bytes from byte 5, where L is the
// length byte. A length byte of 0 or 1 gives an empty image.
std::span<const std::uint8_t> LineCode(const std::uint8_t* frame, std::int32_t max_length) {
  const std::int32_t length = std::min(std::int32_t{frame[kFrameLengthOffset]} - 1, max_length);
  return {frame + kFrameDataOffset, static_cast<std::size_t>(std::max(length, 0))};
}

}  // namespace

FramePipeline::FramePipeline(PointAllocator allocator) : points_(std::move(allocator)) {}

PointAllocation FramePipeline::SetUp(const ControllerIdentity& identity) {
  const PointAllocation allocation = points_.Allocate();
  if (identity.IsCamera()) SetUpCamera(identity);
  return allocation;
}

// In this order: the engine's reset, the filters' reset, their settings, the
// transform. Calibrated: the coefficient blocks; otherwise the identity.
void FramePipeline::SetUpCamera(const ControllerIdentity& identity) {
  const ParamBlock& geometry = identity.Geometry();
  engine_.Reset(geometry, identity.LensA(), identity.LensB());
  lens_b_orientation_ = lens::Orientation(identity.LensB());
  TapFilterReset(tap_filter_);
  CurveQueueClear(follow_curve_);
  for (CurveQueue& curve : report_curves_) CurveQueueClear(curve);
  TapFilterConfigure(kTapSpan, kTapStep, kTapRadius, geometry::DeviceWidth(geometry),
                     geometry::DeviceHeight(geometry), tap_filter_);
  CurveQueueSetGain(kCurveGain, follow_curve_);
  for (CurveQueue& curve : report_curves_) CurveQueueSetGain(kCurveGain, curve);
  transform_ = IsCalibrated(device_config::CalibState(identity.DeviceConfig()))
                   ? CalibTransform{identity.CalibX(), identity.CalibY()}
                   : IdentityTransform();
}

const FrameResult& FramePipeline::TakeFrame(const FrameBuffer& frame, StageDetail detail) {
  FrameResult& r = result_;
  r.scanned = false;
  r.drop = FrameDrop::kNone;
  r.reports_lost = 0;
  r.report_count_ = 0;
  r.has_stages = false;
  r.stages.filtered_count = 0;

  raw_ = frame[0] == kRawFrameMarker;
  if (frame[kFrameTypeOffset] != kLineFrameType) {
    r.drop = FrameDrop::kNotALineFrame;
    return r;
  }
  const std::uint8_t half = frame[kFrameHalfOffset];
  if (half == 0) {
    if (first_half_pending_) r.drop = FrameDrop::kFirstHalfReplaced;
    std::copy_n(frame.begin(), first_half_.size(), first_half_.begin());
    first_half_pending_ = true;
    return r;
  }
  if (half != 1) {
    r.drop = FrameDrop::kUnknownHalf;
    return r;
  }
  if (!first_half_pending_) {
    r.drop = FrameDrop::kSecondHalfAlone;
    return r;
  }

  // The first half keeps only its stored bytes: at most 59 of line data.
  constexpr std::int32_t kFirstHalfMaxData = kFirstHalfFrameSize - kFrameDataOffset;
  constexpr std::int32_t kSecondHalfMaxData = kFrameBufferSize - kFrameDataOffset;
  const std::span<const std::uint8_t> first = LineCode(first_half_.data(), kFirstHalfMaxData);
  const std::span<const std::uint8_t> second = LineCode(frame.data(), kSecondHalfMaxData);

  // Orientation bits 0-1 of camera B's lens block say which half is camera A.
  const bool first_is_a = (lens_b_orientation_ & 3) != 0;
  FrameStages* stages = detail == StageDetail::kWithStages ? &r.stages : nullptr;
  const TouchPair touches =
      engine_.ProcessScan(first_is_a ? first : second, first_is_a ? second : first,
                          stages != nullptr ? &stages->engine : nullptr);
  r.scanned = true;
  r.has_stages = stages != nullptr;
  FilterAndReport(touches, stages);
  first_half_pending_ = false;
  return r;
}

void FramePipeline::FilterAndReport(const TouchPair& touches, FrameStages* stages) {
  FrameResult& r = result_;
  // Contact 0 through the tap filter; contact 1 resampled to as many points
  // as the tap filter released.
  TapFilterStep(touches[0], tap_filter_);
  CurveQueuePush(touches[1], follow_curve_);
  std::int32_t m = TapFilterExtract(tapped_, tap_filter_);
  m = CurveQueueInterpolate(followed_, m, follow_curve_);

  // Each released pair through the report curves, then the reports.
  for (std::int32_t i = 0; i < m; ++i) {
    CurveQueuePush(tapped_[i], report_curves_[0]);
    CurveQueuePush(followed_[i], report_curves_[1]);
    const std::int32_t steps = CurveQueueSteps(report_curves_[0]);
    const std::int32_t n = CurveQueueInterpolate(report_points_[0], steps, report_curves_[0]);
    CurveQueueInterpolate(report_points_[1], n, report_curves_[1]);
    if (!points_.Ready()) continue;
    for (std::int32_t j = 0; j < n; ++j) {
      const std::span<TouchPoint, kReportContacts> now = points_.Now();
      now[0] = report_points_[0][j];
      now[1] = report_points_[1][j];
      ReportBytes scratch;  // BuildReport writes every byte
      ReportBytes& out =
          r.report_count_ < kMaxReportsPerFrame ? r.reports_[r.report_count_] : scratch;
      if (BuildReport(transform_, raw_, now, points_.Last(), out)) {
        if (r.report_count_ < kMaxReportsPerFrame) {
          ++r.report_count_;
        } else {
          ++r.reports_lost;
        }
      }
      if (stages != nullptr) {
        if (stages->filtered_count < kPointListCapacity) {
          stages->filtered[stages->filtered_count] = {now[0], now[1]};
        }
        ++stages->filtered_count;
      }
    }
  }
}

}  // namespace lumaro
