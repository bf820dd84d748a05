// tapalign's screen on X: the texts with the packet counter, the crosshair
// and the result buttons in the calibration window.
#pragma once

#include "calibration-common/calib_display.h"
#include "calibration-tool/calib_screen.h"

namespace lumaro {

class XCalibScreen final : public CalibScreen {
 public:
  explicit XCalibScreen(CalibDisplay& d) : d_(d), buttons_(ResultButtons({d.width, d.height})) {}

  void DrawCrosshair(PixelPoint at, std::optional<std::int32_t> counter) override;
  void DrawButtons(int pressed, std::optional<std::int32_t> counter) override;
  void Clear() override;
  void ShowPointer() override;
  void HidePointer() override;

 private:
  // The title, the instruction, the version and, when given, the counter, in
  // white with line width 2.
  void DrawTexts(std::optional<std::int32_t> counter);
  void DrawText(std::uint32_t x, std::uint32_t y, const char* text);

  CalibDisplay& d_;
  ButtonRowLayout buttons_;
};

}  // namespace lumaro
