#include "touch-daemon/context_setup.h"

#include <cstdint>

#include "touch-daemon/calib_transform.h"
#include "touch-daemon/curve_queue.h"
#include "touch-daemon/engine_setup.h"
#include "touch-daemon/tap_filter.h"

namespace lumaro {

namespace {

// Tap filter: 200 / 16 = 12 buffered points, distance threshold 0.
constexpr std::int32_t kTapSpan = 200;
constexpr std::int32_t kTapStep = 16;
constexpr std::int32_t kTapRadius = 0;
// Curve queues: gain 0, one interpolated point per input.
constexpr std::int32_t kCurveGain = 0;

// v device units in report units, kept to 16 bits. The product is formed in
// 64 bits, where it cannot overflow; divisor is never 0.
std::uint16_t ToReportUnits(std::uint16_t v, std::int32_t divisor) {
  return static_cast<std::uint16_t>(std::int64_t{v} * 32768 / divisor);
}

}  // namespace

void KixUSBInitCore_0x0c20(DeviceContext& ctx) {
  EngineReset(ctx.engine, ctx.Geometry, ctx.LensA, ctx.LensB);
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
  const bool calibrated = DecodeCalibState(device_config::CalibState(ctx.DeviceConfig)).calibrated;
  const std::int32_t width = geometry::DeviceWidth(ctx.Geometry);
  const std::int32_t height = geometry::DeviceHeight(ctx.Geometry);
  CalibTransform& transform = ctx.Transform;
  SetIdentityTransform(transform);
  if (!calibrated) {
    ctx.DeviceConfig.fill(0);
    device_config::SetAreaRight(ctx.DeviceConfig, static_cast<std::uint16_t>(width));
    device_config::SetAreaBottom(ctx.DeviceConfig, static_cast<std::uint16_t>(height));
    return;
  }
  transform.XPart = ctx.CalibX;
  transform.YPart = ctx.CalibY;
  const float cx_u = calib::Coefficient(ctx.CalibX, calib::kTermU);
  const float cy_v = calib::Coefficient(ctx.CalibY, calib::kTermV);
  transform.WidthScale = cx_u * cx_u + cy_v * cy_v;
  if (width != 0) {
    transform.BoundLeft = ToReportUnits(device_config::AreaLeft(ctx.DeviceConfig), width);
    transform.BoundRight = ToReportUnits(device_config::AreaRight(ctx.DeviceConfig), width);
  }
  if (height != 0) {
    transform.BoundTop = ToReportUnits(device_config::AreaTop(ctx.DeviceConfig), height);
    transform.BoundBottom = ToReportUnits(device_config::AreaBottom(ctx.DeviceConfig), height);
  }
}

}  // namespace lumaro
