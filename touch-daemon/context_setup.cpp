#include "touch-daemon/context_setup.h"

#include <cstdint>

#include "touch-daemon/calib_transform.h"
#include "touch-daemon/curve_queue.h"
#include "touch-daemon/tap_filter.h"

namespace lumaro {

namespace {

// Tap filter: 200 / 16 = 12 buffered points, distance threshold 0.
constexpr std::int32_t kTapSpan = 200;
constexpr std::int32_t kTapStep = 16;
constexpr std::int32_t kTapRadius = 0;
// Curve queues: gain 0, one interpolated point per input.
constexpr std::int32_t kCurveGain = 0;

}  // namespace

void SetUpCameraPipeline(DeviceContext& ctx) {
  ctx.engine.Reset(ctx.Geometry, ctx.LensA, ctx.LensB);
  TapFilterReset(ctx.TapFilter);
  CurveQueueClear(ctx.Stage1Curve);
  CurveQueueClear(ctx.Stage2Curve0);
  CurveQueueClear(ctx.Stage2Curve1);
  TapFilterConfigure(kTapSpan, kTapStep, kTapRadius, geometry::DeviceWidth(ctx.Geometry),
                     geometry::DeviceHeight(ctx.Geometry), ctx.TapFilter);
  CurveQueueSetGain(kCurveGain, ctx.Stage1Curve);
  CurveQueueSetGain(kCurveGain, ctx.Stage2Curve0);
  CurveQueueSetGain(kCurveGain, ctx.Stage2Curve1);
  CalibSetup(ctx);
}

void CalibSetup(DeviceContext& ctx) {
  if (IsCalibrated(device_config::CalibState(ctx.DeviceConfig))) {
    ctx.Transform = {ctx.CalibX, ctx.CalibY};
    return;
  }
  ctx.Transform = IdentityTransform();
  ctx.DeviceConfig.fill(0);
  device_config::SetAreaRight(ctx.DeviceConfig,
                              static_cast<std::uint16_t>(geometry::DeviceWidth(ctx.Geometry)));
  device_config::SetAreaBottom(ctx.DeviceConfig,
                               static_cast<std::uint16_t>(geometry::DeviceHeight(ctx.Geometry)));
}

}  // namespace lumaro
