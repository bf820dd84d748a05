#include "touch-daemon/frame_intake.h"

#include <algorithm>

#include "driver-interface/blocks.h"
#include "touch-daemon/curve_queue.h"
#include "touch-daemon/engine/pairing.h"
#include "touch-daemon/engine/smoothing.h"
#include "touch-daemon/report_output.h"
#include "touch-daemon/tap_filter.h"

namespace lumaro {
namespace {

// The line data of a half-frame: L - 1 bytes from byte 5, where L is the
// length byte. A length byte of 0 or 1 gives an empty image.
std::int32_t LineLength(std::uint8_t length_byte) {
  return std::int32_t{length_byte} - 1;
}

// Runs the filter stages over the scan's two points and writes one report
// per filtered pair.
void FilterAndReport(DeviceContext& ctx, DeviceIo& io, const TouchPoint& slot0,
                     const TouchPoint& slot1) {
  // Stage 1: the tap filter on slot 0; slot 1 resampled to as many points as
  // the tap filter released.
  std::int32_t m = 0;
  TapFilterStep(slot0, ctx.TapFilter);
  CurveQueuePush(slot1, ctx.Stage1Curve);
  TapFilterExtract(ctx.Stage1Slot0, m, ctx.TapFilter);
  CurveQueueInterpolate(ctx.Stage1Slot1, m, ctx.Stage1Curve);

  // Stage 2: one more queue per slot, then the reports.
  for (std::int32_t i = 0; i < m; ++i) {
    CurveQueuePush(ctx.Stage1Slot0[i], ctx.Stage2Curve0);
    CurveQueuePush(ctx.Stage1Slot1[i], ctx.Stage2Curve1);
    std::int32_t n = CurveQueueSteps(ctx.Stage2Curve0);
    CurveQueueInterpolate(ctx.Stage2Slot0, n, ctx.Stage2Curve0);
    CurveQueueInterpolate(ctx.Stage2Slot1, n, ctx.Stage2Curve1);
    if (!HasPointArrays(ctx) || ctx.MaxPoints < kReportContacts) continue;
    for (std::int32_t j = 0; j < n; ++j) {
      ctx.pPoints[0] = ctx.Stage2Slot0[j];
      ctx.pPoints[1] = ctx.Stage2Slot1[j];
      WriteReport(ctx, io);
    }
  }
}

}  // namespace

void FrameIntake(DeviceContext& ctx, FirstHalfFrame& first_half, DeviceIo& io,
                 const FrameBuffer& frame) {
  if (frame[kFrameTypeOffset] != kLineFrameType) return;
  const std::uint8_t half = frame[kFrameHalfOffset];
  if (half == 0) {
    std::copy_n(frame.begin(), first_half.size(), first_half.begin());
    ctx.HalfFramePending = 1;
    return;
  }
  if (half != 1 || ctx.HalfFramePending == 0) return;

  // The first half keeps only its stored bytes: at most 59 of line data.
  constexpr std::int32_t kFirstHalfMaxData = kFirstHalfFrameSize - kFrameDataOffset;
  const std::uint8_t* first_data = first_half.data() + kFrameDataOffset;
  const std::int32_t first_length =
      std::min(LineLength(first_half[kFrameLengthOffset]), kFirstHalfMaxData);
  const std::uint8_t* second_data = frame.data() + kFrameDataOffset;
  const std::int32_t second_length = LineLength(frame[kFrameLengthOffset]);

  // Orientation bits 0-1 of camera B's lens block say which half is camera A.
  const bool first_is_a = (lens::Orientation(ctx.LensB) & 3) != 0;
  const std::uint8_t* image_a = first_is_a ? first_data : second_data;
  const std::int32_t length_a = first_is_a ? first_length : second_length;
  const std::uint8_t* image_b = first_is_a ? second_data : first_data;
  const std::int32_t length_b = first_is_a ? second_length : first_length;

  EngineProcessFrame(image_a, length_a, image_b, length_b, &ctx.engine);
  TouchPoint slot0{};
  TouchPoint slot1{};
  ExportTouchPoints(&slot0, &slot1, ctx.engine);
  FilterAndReport(ctx, io, slot0, slot1);
  ctx.HalfFramePending = 0;
}

}  // namespace lumaro
