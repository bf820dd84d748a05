#include "calibration-common/figures.h"

#include <cstring>

namespace lumaro {

void DrawCrosshairFigure(Display* display, Drawable drawable, GC gc, int x, int y) {
  struct Line {
    int x1, y1, x2, y2;
  };
  const Line lines[] = {
      {x - 20, y, x + 20, y},          {x, y - 20, x, y + 20},
      {x - 20, y - 20, x - 20, y - 8}, {x - 20, y - 20, x - 8, y - 20},
      {x + 8, y - 20, x + 20, y - 20}, {x + 20, y - 20, x + 20, y - 8},
      {x - 20, y + 8, x - 20, y + 20}, {x - 20, y + 20, x - 8, y + 20},
      {x + 8, y + 20, x + 20, y + 20}, {x + 20, y + 8, x + 20, y + 20},
  };
  for (const Line& l : lines) XDrawLine(display, drawable, gc, l.x1, l.y1, l.x2, l.y2);
}

std::array<unsigned long, kButtonCount> PressedFills(const Palette& palette, int pressed) {
  std::array<unsigned long, kButtonCount> fills;
  for (int i = 0; i < kButtonCount; ++i)
    fills[i] = i == pressed ? palette[kPaletteRed] : BUTTON_GREY;
  return fills;
}

void DrawButtonRow(Display* display, Window window, GC gc, const ButtonRowLayout& row,
                   const std::array<unsigned long, kButtonCount>& fills, unsigned long black) {
  if (row.line_width > 0) {
    XSetLineAttributes(display, gc, static_cast<unsigned>(row.line_width), LineSolid, CapRound,
                       JoinRound);
  }
  const int top = static_cast<int>(row.top);
  for (int i = 0; i < kButtonCount; ++i) {
    const int left = static_cast<int>(row.left[i]);
    XSetForeground(display, gc, black);
    XClearArea(display, window, left, top, row.width, row.height, False);
    XDrawRectangle(display, window, gc, left, top, row.width, row.height);
    XSetForeground(display, gc, fills[i]);
    XFillRectangle(display, window, gc, left + 3, top + 3, row.fill_width, row.fill_height);
    XSetForeground(display, gc, black);
    XDrawString(display, window, gc, static_cast<int>(row.label_x[i]),
                static_cast<int>(row.label_y), kButtonLabels[i],
                static_cast<int>(std::strlen(kButtonLabels[i])));
  }
}

}  // namespace lumaro
