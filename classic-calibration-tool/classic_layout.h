// Where tapalign-classic's screen puts things, from the screen size W x H in
// pixels (unsigned 32-bit arithmetic): the four targets, the three texts of
// the collecting face and the row of result buttons.
#pragma once

#include <array>
#include <cstdint>

#include "calibration-common/button_row.h"
#include "calibration-common/screen.h"
#include "calibration-common/screen_geometry.h"
#include "calibration-common/versions.h"

namespace lumaro {

inline constexpr char kClassicFont[] = "*-*-12-*";
inline constexpr int kClassicPoints = 4;

// The buttons: 85 x 50 outlines at W/2 - 130, W/2 - 40 and W/2 + 50, top
// H/2 - 15, drawn with line width 3; labels at H/2 + 13. Hit boxes are 80
// wide from each left edge and span H/2 - 15 to H/2 + 30, bounds excluded.
constexpr ButtonRowLayout ClassicButtons(ScreenSize s) {
  const std::uint32_t cx = s.width >> 1;
  const std::uint32_t cy = s.height >> 1;
  return MakeButtonRow({cx - 130, cx - 40, cx + 50}, cy - 15, 85, 50, {cx - 120, cx - 5, cx + 74},
                       cy + 13, 3, HitArea::kFill);
}

// The collecting face's three texts; the result face shows only the buttons.
inline ScreenFace ClassicFace(ScreenSize s) {
  return {{{{"Lumaro touchscreen calibration utility", -130, 0},
            {"Touch crosshair to calibrate", -95, 30},
            {kClassicWindowVersion, -45, 60}}},
          {"", 0, 0},
          false,
          ClassicButtons(s)};
}

}  // namespace lumaro
