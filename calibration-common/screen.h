// What a calibration flow shows, behind an interface so that the flows run
// without X, and the face each tool gives its window: the texts above the
// targets and the row of result buttons.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "calibration-common/button_row.h"
#include "calibration-common/screen_geometry.h"

namespace lumaro {

// The keysym of Escape, which ends a session in every state.
inline constexpr unsigned long kEscapeKeysym = 0xFF1B;

// A text at (W/2 + dx, H/4 + dy), its baseline origin.
struct FaceText {
  std::string text;
  int dx;
  int dy;
};

struct ScreenFace {
  std::array<FaceText, 3> texts;  // title, instruction, version
  // The packet counter, "TEXT<count>", when the flow gives one.
  FaceText counter;
  bool texts_on_buttons;  // the result face shows the texts too
  ButtonRowLayout buttons;
};

class CalibrationScreen {
 public:
  virtual ~CalibrationScreen() = default;
  // Clears the window, draws the texts (with the packet counter when one is
  // given) and the crosshair centred on `at`.
  virtual void DrawCrosshair(PixelPoint at, std::optional<std::int32_t> counter) = 0;
  // Draws the three buttons (after the texts, when the face shows them there):
  // `pressed` (a ButtonIndex) red, the others grey.
  virtual void DrawButtons(int pressed, std::optional<std::int32_t> counter) = 0;
  // One line centred below the button row, where the face draws nothing else.
  virtual void DrawNote(const std::string& text) = 0;
  virtual void Clear() = 0;
  virtual void ShowPointer() = 0;
  virtual void HidePointer() = 0;
  // Ungrabs the keyboard, frees the GC and closes the display.
  virtual void Release() = 0;
};

}  // namespace lumaro
