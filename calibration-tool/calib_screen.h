// Where tapalign's screen puts things, from the screen size W x H in pixels
// (unsigned 32-bit arithmetic throughout).
#pragma once

#include <cstdint>

#include "calibration-common/button_row.h"
#include "calibration-common/screen.h"
#include "calibration-common/screen_geometry.h"

namespace lumaro {

// Units of a recorded target: 1/32768 of the screen width or height.
inline constexpr float kTargetScale = 32768.0f;

// The crosshair of start-up and "ReCalibrate": (W/20, H/18).
PixelPoint FirstCrosshair(ScreenSize s);
// 16-point targets: a 4 x 4 grid from (W/20, H/20), row by row.
PixelPoint GridTarget(ScreenSize s, std::int32_t col, std::int32_t row);
// A pixel coordinate in target units: (32768 / extent) * pixel in single
// precision, the quotient first.
float TargetUnits(std::uint32_t pixel, std::uint32_t extent);

// The result buttons: 120 x 90, left edges W/2 - 190, W/2 - 60, W/2 + 70,
// top H/2; the hit boxes are the same rectangles, bounds excluded.
ButtonRowLayout ResultButtons(ScreenSize s);

// The texts (title, instruction, version, and the packet counter while a
// pass collects), shown on the result face too, and the result buttons.
ScreenFace CalibFace(ScreenSize s);

}  // namespace lumaro
