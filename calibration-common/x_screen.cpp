#include "calibration-common/x_screen.h"

#include "calibration-common/figures.h"

namespace lumaro {

void XCalibrationScreen::DrawText(const FaceText& text, const std::string& shown) {
  XDrawString(d_.display, d_.window, d_.gc, static_cast<int>((d_.width >> 1) + text.dx),
              static_cast<int>((d_.height >> 2) + text.dy), shown.c_str(),
              static_cast<int>(shown.size()));
}

void XCalibrationScreen::DrawTexts(std::optional<std::int32_t> counter) {
  XSetForeground(d_.display, d_.gc, d_.palette[kPaletteWhite]);
  XSetLineAttributes(d_.display, d_.gc, 2, LineSolid, CapRound, JoinRound);
  for (const FaceText& text : face_.texts) DrawText(text, text.text);
  if (counter) DrawText(face_.counter, face_.counter.text + std::to_string(*counter));
}

void XCalibrationScreen::DrawCrosshair(PixelPoint at, std::optional<std::int32_t> counter) {
  XClearWindow(d_.display, d_.window);
  DrawTexts(counter);
  DrawCrosshairFigure(d_.display, d_.window, d_.gc, static_cast<int>(at.x), static_cast<int>(at.y));
  XFlush(d_.display);
}

void XCalibrationScreen::DrawButtons(int pressed, std::optional<std::int32_t> counter) {
  if (face_.texts_on_buttons) DrawTexts(counter);
  DrawButtonRow(d_.display, d_.window, d_.gc, face_.buttons, PressedFills(d_.palette, pressed),
                d_.palette[kPaletteBlack]);
  XFlush(d_.display);
}

void XCalibrationScreen::DrawNote(const std::string& text) {
  const int length = static_cast<int>(text.size());
  const int width = XTextWidth(d_.font, text.c_str(), length);
  const int line = d_.font->ascent + d_.font->descent;
  const int bottom = static_cast<int>(face_.buttons.top + face_.buttons.height);
  XSetForeground(d_.display, d_.gc, d_.palette[kPaletteWhite]);
  XDrawString(d_.display, d_.window, d_.gc, static_cast<int>(d_.width >> 1) - width / 2,
              bottom + 2 * line, text.c_str(), length);
  XFlush(d_.display);
}

void XCalibrationScreen::Clear() {
  XClearWindow(d_.display, d_.window);
}

void XCalibrationScreen::ShowPointer() {
  lumaro::ShowPointer(d_);
}

void XCalibrationScreen::HidePointer() {
  lumaro::HidePointer(d_);
}

void XCalibrationScreen::Release() {
  ReleaseCalibDisplay(d_);
}

}  // namespace lumaro
