// Shadow detection: decodes each camera's run-length-coded line image into
// 1280 two-valued pixels, finds at most two shadows inside the camera's pixel
// window, and keeps two shadows alive while two touches overlap in one
// camera's view.
#pragma once

#include <array>
#include <cstdint>

#include "touch-daemon/engine/engine_state.h"

namespace lumaro {

// The detection steps of one frame: decodes both images into the engine's
// line images, finds the shadows of each camera in its lens window, and runs
// both merged-shadow trackers. imageA/imageB hold lengthA/lengthB code bytes
// (a length of 0 or less is an all-lit line); no byte past a length is read.
void DetectShadows(const std::uint8_t* imageA, std::int32_t lengthA, const std::uint8_t* imageB,
                   std::int32_t lengthB, EngineState& engine);

// Decodes `length` code bytes into `line`. Runs that pass pixel 1279 are cut
// there; the rest of the line after the last run is lit.
void DecodeLineImage(const std::uint8_t* code, std::int32_t length, LineImage& line);

// Finds the shadows between pixel `start` (inclusive) and `end` (exclusive),
// closing short and surplus lit gaps in `line` itself. Writes at most
// maxShadows spans (2 at most) and their number. A window outside 0..1280 is
// clamped into it.
void FindShadows(LineImage& line, std::int32_t start, std::int32_t end, std::int32_t maxShadows,
                 std::array<ShadowSpan, kMaxShadows>& spans, std::int32_t& count);

// The merged-shadow tracker of one camera; may rewrite the spans and raise
// count from 1 to 2.
void SplitMergedShadow(std::array<ShadowSpan, kMaxShadows>& spans, std::int32_t& count,
                       std::int32_t otherCount, SplitTracker& tracker);

}  // namespace lumaro
