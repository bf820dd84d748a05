// Set-up of the engine from the controller's geometry and lens blocks.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "driver-interface/blocks.h"
#include "touch-daemon/engine/engine_state.h"

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

// Fills the scale from a Geometry block in single precision. Returns false
// and sets the default scale (Span keeps its value) when RatioDen,
// DeviceWidth, DeviceHeight, RatioNum or Guard30 is 0, or Guard34 lies
// outside [0, 1).
bool SetScale(EngineScale& scale, const ParamBlock& geometry);

// Fills models[1] (camera A) from lens_a and models[0] (camera B) from lens_b,
// camera B's coefficients negated, both windows doubled. A block whose c1 is
// not within 0.8 .. 1.5 in magnitude gives that camera the default model.
// Returns true only when both blocks were valid.
bool SetLensModels(std::array<LensModel, 2>& models, const ParamBlock& lens_a,
                   const ParamBlock& lens_b);

// SetScale and SetLensModels, then clears the tracking state: the split
// trackers, both histories, the three point pairs, HoldCount and
// OccludedPair. Returns true only when both set-ups succeeded.
bool EngineReset(EngineState& engine, const ParamBlock& geometry, const ParamBlock& lens_a,
                 const ParamBlock& lens_b);

}  // namespace lumaro
