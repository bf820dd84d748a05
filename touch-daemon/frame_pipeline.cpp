#include "touch-daemon/frame_pipeline.h"

#include <algorithm>
#include <span>

#include "driver-interface/blocks.h"
#include "touch-daemon/curve_queue.h"
#include "touch-daemon/report_output.h"
#include "touch-daemon/tap_filter.h"

namespace lumaro {
namespace {

// The line data of a half-frame: L - 1 bytes from byte 5, where L is the
// length byte. A length byte of 0 or 1 gives an empty image.
std::span<const std::uint8_t> LineCode(const std::uint8_t* frame, std::int32_t max_length) {
  const std::int32_t length = std::min(std::int32_t{frame[kFrameLengthOffset]} - 1, max_length);
  return {frame + kFrameDataOffset, static_cast<std::size_t>(std::max(length, 0))};
}

}  // namespace

void FramePipeline::TakeFrame(const FrameBuffer& frame, FrameStages* stages) {
  if (stages != nullptr) {
    stages->Scanned = false;
    stages->FilteredCount = 0;
    stages->ReportsWritten = 0;
  }
  ctx_.RawMode = frame[0] == kRawFrameMarker ? 1 : 0;
  if (frame[kFrameTypeOffset] != kLineFrameType) return;
  const std::uint8_t half = frame[kFrameHalfOffset];
  if (half == 0) {
    std::copy_n(frame.begin(), first_half_.size(), first_half_.begin());
    ctx_.HalfFramePending = 1;
    return;
  }
  if (half != 1 || ctx_.HalfFramePending == 0) return;

  // The first half keeps only its stored bytes: at most 59 of line data.
  constexpr std::int32_t kFirstHalfMaxData = kFirstHalfFrameSize - kFrameDataOffset;
  constexpr std::int32_t kSecondHalfMaxData = kFrameBufferSize - kFrameDataOffset;
  const std::span<const std::uint8_t> first = LineCode(first_half_.data(), kFirstHalfMaxData);
  const std::span<const std::uint8_t> second = LineCode(frame.data(), kSecondHalfMaxData);

  // Orientation bits 0-1 of camera B's lens block say which half is camera A.
  const bool first_is_a = (lens::Orientation(ctx_.LensB) & 3) != 0;
  const TouchPair touches =
      ctx_.engine.ProcessScan(first_is_a ? first : second, first_is_a ? second : first,
                              stages != nullptr ? &stages->Engine : nullptr);
  if (stages != nullptr) stages->Scanned = true;
  FilterAndReport(touches, stages);
  ctx_.HalfFramePending = 0;
}

void FramePipeline::FilterAndReport(const TouchPair& touches, FrameStages* stages) {
  DeviceContext& ctx = ctx_;
  // Stage 1: the tap filter on slot 0; slot 1 resampled to as many points as
  // the tap filter released.
  TapFilterStep(touches[0], ctx.TapFilter);
  CurveQueuePush(touches[1], ctx.Stage1Curve);
  std::int32_t m = TapFilterExtract(ctx.Stage1Slot0, ctx.TapFilter);
  m = CurveQueueInterpolate(ctx.Stage1Slot1, m, ctx.Stage1Curve);

  // Stage 2: one more queue per slot, then the reports.
  for (std::int32_t i = 0; i < m; ++i) {
    CurveQueuePush(ctx.Stage1Slot0[i], ctx.Stage2Curve0);
    CurveQueuePush(ctx.Stage1Slot1[i], ctx.Stage2Curve1);
    const std::int32_t steps = CurveQueueSteps(ctx.Stage2Curve0);
    const std::int32_t n = CurveQueueInterpolate(ctx.Stage2Slot0, steps, ctx.Stage2Curve0);
    CurveQueueInterpolate(ctx.Stage2Slot1, n, ctx.Stage2Curve1);
    if (!HasPointArrays(ctx) || ctx.MaxPoints < kReportContacts) continue;
    for (std::int32_t j = 0; j < n; ++j) {
      ctx.pPoints[0] = ctx.Stage2Slot0[j];
      ctx.pPoints[1] = ctx.Stage2Slot1[j];
      const bool written = WriteReport(ctx, io_);
      if (stages != nullptr) {
        if (stages->FilteredCount < kPointListCapacity) {
          stages->Filtered[stages->FilteredCount] = {ctx.pPoints[0], ctx.pPoints[1]};
        }
        ++stages->FilteredCount;
        if (written) ++stages->ReportsWritten;
      }
    }
  }
}

}  // namespace lumaro
