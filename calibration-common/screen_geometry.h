// Screen sizes and pixel positions of the calibration screens, with the four
// corner targets both tools share. Unsigned 32-bit arithmetic throughout, as
// on the screen's width and height.
#pragma once

#include <cstdint>

namespace lumaro {

struct ScreenSize {
  std::uint32_t width;   // W
  std::uint32_t height;  // H
};

struct PixelPoint {
  std::uint32_t x;
  std::uint32_t y;
};

// The 4-point targets by index: top left (W/20, H/18), top right, bottom
// left, bottom right, at 19 * (W/20) and 17 * (H/18) on the far sides.
constexpr PixelPoint CornerTarget(ScreenSize s, std::int32_t index) {
  const std::uint32_t left = s.width / 20;
  const std::uint32_t top = s.height / 18;
  const bool right = index == 1 || index == 3;
  const bool bottom = index >= 2;
  return {right ? 19 * left : left, bottom ? 17 * top : top};
}

}  // namespace lumaro
