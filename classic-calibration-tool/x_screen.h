// tapalign-classic's screen on X: the crosshair with its three texts and the
// result buttons in the calibration window.
#pragma once

#include "calibration-common/calib_display.h"
#include "classic-calibration-tool/classic_flow.h"

namespace lumaro {

class XClassicScreen final : public ClassicScreen {
 public:
  explicit XClassicScreen(CalibDisplay& d) : d_(d), buttons_(ClassicButtons({d.width, d.height})) {}

  void DrawCrosshair(PixelPoint at) override;
  void DrawButtons(int pressed) override;
  void Clear() override;
  void ShowPointer() override;
  void HidePointer() override;
  void Release() override;

 private:
  CalibDisplay& d_;
  ButtonRowLayout buttons_;
};

}  // namespace lumaro
