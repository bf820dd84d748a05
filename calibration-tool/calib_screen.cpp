#include "calibration-tool/calib_screen.h"

#include <string>

#include "calibration-common/versions.h"

namespace lumaro {

PixelPoint FirstCrosshair(ScreenSize s) {
  return {s.width / 20, s.height / 18};
}

PixelPoint GridTarget(ScreenSize s, std::int32_t col, std::int32_t row) {
  const std::uint32_t mx = s.width / 20;
  const std::uint32_t my = s.height / 20;
  return {mx + ((s.width - 2 * mx) / 3) * static_cast<std::uint32_t>(col),
          my + ((s.height - 2 * my) / 3) * static_cast<std::uint32_t>(row)};
}

float TargetUnits(std::uint32_t pixel, std::uint32_t extent) {
  const float scale = kTargetScale / static_cast<float>(extent);
  return scale * static_cast<float>(pixel);
}

ButtonRowLayout ResultButtons(ScreenSize s) {
  const std::uint32_t cx = s.width >> 1;
  const std::uint32_t top = s.height >> 1;
  // Line width 0: the texts drawn first leave it at 2.
  return MakeButtonRow({cx - 190, cx - 60, cx + 70}, top, 120, 90, {cx - 165, cx - 2, cx + 113},
                       top + 47, 0, HitArea::kOutline);
}

ScreenFace CalibFace(ScreenSize s) {
  return {{{{"Lumaro Device Calibration Utility", -130, 0},
            {"Touch crosshair to calibrate", -95, 30},
            {std::string("Version ") + kCalibVersion, -68, 60}}},
          {"Collect packets:", -55, 90},
          true,
          ResultButtons(s)};
}

}  // namespace lumaro
