#include "classic-calibration-tool/x_screen.h"

#include <cstring>

#include "calibration-common/figures.h"

namespace lumaro {

void XClassicScreen::DrawCrosshair(PixelPoint at) {
  XClearWindow(d_.display, d_.window);
  XSetForeground(d_.display, d_.gc, d_.palette[kPaletteWhite]);
  XSetLineAttributes(d_.display, d_.gc, 2, LineSolid, CapRound, JoinRound);
  DrawCrosshairFigure(d_.display, d_.window, d_.gc, static_cast<int>(at.x), static_cast<int>(at.y));
  const std::uint32_t cx = d_.width >> 1;
  const std::uint32_t cy = d_.height >> 2;
  for (const ClassicText& t : kClassicTexts) {
    XDrawString(d_.display, d_.window, d_.gc, static_cast<int>(cx + t.dx),
                static_cast<int>(cy + t.dy), t.text, static_cast<int>(std::strlen(t.text)));
  }
  XFlush(d_.display);
}

void XClassicScreen::DrawButtons(int pressed) {
  DrawButtonRow(d_.display, d_.window, d_.gc, buttons_, PressedFills(d_.palette, pressed),
                d_.palette[kPaletteBlack]);
  XFlush(d_.display);
}

void XClassicScreen::Clear() {
  XClearWindow(d_.display, d_.window);
}

void XClassicScreen::ShowPointer() {
  lumaro::ShowPointer(d_);
}

void XClassicScreen::HidePointer() {
  lumaro::HidePointer(d_);
}

void XClassicScreen::Release() {
  ReleaseCalibDisplay(d_);
}

}  // namespace lumaro
