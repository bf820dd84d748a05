// Shadow detection: decodes each camera's run-length-coded line image into
// its shadowed runs, finds at most two shadows inside the camera's pixel
// window, and keeps two shadows alive while two touches overlap in one
// camera's view.
#pragma once

#include <cstdint>
#include <span>

#include "touch-daemon/engine/records.h"

namespace lumaro {

// Decodes the code bytes of one line (none: an all-lit line). Runs that pass
// pixel 1279 are cut there, later bytes are dropped, and the rest of the line
// after the last run is lit.
LineRuns DecodeLine(std::span<const std::uint8_t> code);

// The same line, one byte per pixel.
LineImage ExpandLine(const LineRuns& line);

// Finds the shadows between pixel `start` (inclusive) and `end` (exclusive):
// lit gaps of at most two pixels are closed, and then every surplus one but
// the longest, so that at most maxShadows (2 at most) shadows remain. Gaps
// touching a window edge stay open. A window outside 0..1280 is clamped into
// it.
ShadowList FindShadows(const LineRuns& line, std::int32_t start, std::int32_t end,
                       std::int32_t maxShadows);

// The merged-shadow tracker of one camera, given the other camera's count as
// found; may rewrite the spans and raise the count from 1 to 2.
ShadowList SplitMergedShadow(ShadowList shadows, std::int32_t otherCount, SplitTracker& tracker);

}  // namespace lumaro
