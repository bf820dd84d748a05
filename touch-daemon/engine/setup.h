// Set-up of the engine from the controller's geometry and lens blocks.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "driver-interface/blocks.h"
#include "touch-daemon/engine/records.h"

namespace lumaro {

// Scale used when the geometry block is not valid.
inline constexpr float kDefaultXScale = 32768.0f;
inline constexpr float kDefaultYScale = 32768.0f * 4.0f / 3.0f;
inline constexpr float kDefaultZScale = 32768.0f;
inline constexpr float kDefaultRatio = 0.25f;
static_assert(std::bit_cast<std::uint32_t>(kDefaultYScale) == 0x472AAAABu);

// Lens model used when a lens block is not valid (camera B's k1 is negated).
inline constexpr float kDefaultLensK1 = 1.15f;
inline constexpr std::int32_t kDefaultPixelStart = 0;
inline constexpr std::int32_t kDefaultPixelEnd = kLinePixels;

struct ScaleSetup {
  EngineScale Scale;
  bool Valid;
};

// The scale from a Geometry block, in single precision. Not valid, and the
// default scale with the given span, when RatioDen, DeviceWidth,
// DeviceHeight, RatioNum or Guard30 is 0, or Guard34 lies outside [0, 1).
ScaleSetup ScaleFromGeometry(const ParamBlock& geometry, float span);

struct LensSetup {
  LensModel LensA;
  LensModel LensB;
  bool Valid;  // both blocks were valid
};

// Camera A's model from lens_a and camera B's from lens_b, camera B's
// coefficients negated, both windows doubled. A block whose c1 is not within
// 0.8 .. 1.5 in magnitude gives that camera the default model.
LensSetup LensModelsFromBlocks(const ParamBlock& lens_a, const ParamBlock& lens_b);

}  // namespace lumaro
