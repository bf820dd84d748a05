#include "touch-daemon/engine/setup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "touch-daemon/engine/saturate.h"

namespace lumaro {

namespace {

// Doubling a window bound in double precision and saturating to int32 keeps absurd
// blocks from overflowing; detection limits the window to the line anyway.
std::int32_t DoubledPixel(std::int32_t pixel) {
  return SaturateToInt32(2.0 * pixel);
}

bool LensBlockValid(const ParamBlock& block) {
  const double c1 = std::fabs(static_cast<double>(lens::Coefficient(block, 1)));
  return c1 >= 0.8 && c1 <= 1.5;
}

// The model of one camera; sign is +1 for camera A and -1 for camera B.
bool SetLensModel(LensModel& model, const ParamBlock& block, float sign) {
  model = LensModel{};
  if (!LensBlockValid(block)) {
    model.k[1] = sign * kDefaultLensK1;
    model.PixelStart = kDefaultPixelStart;
    model.PixelEnd = kDefaultPixelEnd;
    return false;
  }
  const float gain = lens::Gain(block);
  model.k[0] = sign * (gain * lens::Coefficient(block, 0) + lens::Coefficient(block, 8));
  for (int i = 1; i < 8; ++i) model.k[i] = sign * (lens::Coefficient(block, i) * gain);
  model.PixelStart = DoubledPixel(lens::PixelStart(block));
  model.PixelEnd = DoubledPixel(lens::PixelEnd(block));
  return true;
}

}  // namespace

ScaleSetup ScaleFromGeometry(const ParamBlock& geometry, float span) {
  EngineScale scale{};
  const std::int32_t width = geometry::DeviceWidth(geometry);
  const std::int32_t height = geometry::DeviceHeight(geometry);
  const std::int32_t ratio_den = geometry::RatioDen(geometry);
  const std::int32_t ratio_num = geometry::RatioNum(geometry);
  const float guard34 = geometry::Guard34(geometry);
  const bool valid = ratio_den != 0 && width != 0 && height != 0 && ratio_num != 0 &&
                     geometry::Guard30(geometry) != 0 && guard34 >= 0.0f && guard34 < 1.0f;
  if (!valid) {
    scale.XScale = kDefaultXScale;
    scale.XOffset = 0.0f;
    scale.YScale = kDefaultYScale;
    scale.YOffset = 0.0f;
    scale.ZScale = kDefaultZScale;
    scale.Ratio = kDefaultRatio;
    scale.Span = span;
    return {scale, false};
  }
  // The integer sum in 64 bits cannot overflow; it is then rounded to float.
  span = static_cast<float>(std::int64_t{geometry::ExtentX(geometry)} -
                            geometry::OriginX(geometry) + width);
  const float fwidth = static_cast<float>(width);
  const float fheight = static_cast<float>(height);
  scale.XScale = span * 32768.0f / fwidth;
  scale.XOffset = static_cast<float>(geometry::OriginX(geometry)) * 32768.0f / fwidth;
  scale.YScale = span * 32768.0f / fheight;
  scale.YOffset = 32768.0f * static_cast<float>(geometry::OriginY(geometry)) / fheight;
  scale.ZScale = scale.XScale;
  scale.Ratio = static_cast<float>(ratio_num) / static_cast<float>(ratio_den) / span;
  scale.Span = span;
  return {scale, true};
}

LensSetup LensModelsFromBlocks(const ParamBlock& lens_a, const ParamBlock& lens_b) {
  LensSetup setup;
  const bool a_valid = SetLensModel(setup.LensA, lens_a, 1.0f);
  const bool b_valid = SetLensModel(setup.LensB, lens_b, -1.0f);
  setup.Valid = a_valid && b_valid;
  return setup;
}

}  // namespace lumaro
