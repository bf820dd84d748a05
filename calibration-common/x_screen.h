// A calibration flow's screen on X: the face's texts, the crosshair and the
// result buttons in the calibration window, all in white with line width 2
// except the buttons.
#pragma once

#include "calibration-common/calib_display.h"
#include "calibration-common/screen.h"

namespace lumaro {

class XCalibrationScreen final : public CalibrationScreen {
 public:
  XCalibrationScreen(CalibDisplay& d, ScreenFace face) : d_(d), face_(std::move(face)) {}

  void DrawCrosshair(PixelPoint at, std::optional<std::int32_t> counter) override;
  void DrawButtons(int pressed, std::optional<std::int32_t> counter) override;
  void DrawNote(const std::string& text) override;
  void Clear() override;
  void ShowPointer() override;
  void HidePointer() override;
  void Release() override;

 private:
  void DrawTexts(std::optional<std::int32_t> counter);
  void DrawText(const FaceText& text, const std::string& shown);

  CalibDisplay& d_;
  ScreenFace face_;
};

}  // namespace lumaro
