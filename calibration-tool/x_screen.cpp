#include "calibration-tool/x_screen.h"

#include <cstdio>
#include <cstring>

#include "calibration-common/figures.h"
#include "calibration-common/versions.h"

namespace lumaro {

void XCalibScreen::DrawText(std::uint32_t x, std::uint32_t y, const char* text) {
  XDrawString(d_.display, d_.window, d_.gc, static_cast<int>(x), static_cast<int>(y), text,
              static_cast<int>(std::strlen(text)));
}

void XCalibScreen::DrawTexts(std::optional<std::int32_t> counter) {
  char version[32];
  std::snprintf(version, sizeof version, "Version %s", kCalibVersion);
  const std::uint32_t cx = d_.width >> 1;
  const std::uint32_t y = d_.height >> 2;
  XSetForeground(d_.display, d_.gc, d_.palette[kPaletteWhite]);
  XSetLineAttributes(d_.display, d_.gc, 2, LineSolid, CapRound, JoinRound);
  DrawText(cx - 130, y, "Lumaro Device Calibration Utility");
  DrawText(cx - 95, y + 30, "Touch crosshair to calibrate");
  DrawText(cx - 68, y + 60, version);
  if (counter) {
    char text[32];
    std::snprintf(text, sizeof text, "Collect packets:%d", static_cast<int>(*counter));
    DrawText(cx - 55, y + 90, text);
  }
}

void XCalibScreen::DrawCrosshair(PixelPoint at, std::optional<std::int32_t> counter) {
  XClearWindow(d_.display, d_.window);
  XSetForeground(d_.display, d_.gc, d_.palette[kPaletteWhite]);
  XSetLineAttributes(d_.display, d_.gc, 2, LineSolid, CapRound, JoinRound);
  DrawTexts(counter);
  DrawCrosshairFigure(d_.display, d_.window, d_.gc, static_cast<int>(at.x), static_cast<int>(at.y));
  XFlush(d_.display);
}

void XCalibScreen::DrawButtons(int pressed, std::optional<std::int32_t> counter) {
  DrawTexts(counter);
  DrawButtonRow(d_.display, d_.window, d_.gc, buttons_, PressedFills(d_.palette, pressed),
                d_.palette[kPaletteBlack]);
  XFlush(d_.display);
}

void XCalibScreen::Clear() {
  XClearWindow(d_.display, d_.window);
}

void XCalibScreen::ShowPointer() {
  lumaro::ShowPointer(d_);
}

void XCalibScreen::HidePointer() {
  lumaro::HidePointer(d_);
}

}  // namespace lumaro
