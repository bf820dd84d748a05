// The figures both calibration screens draw: the crosshair that marks a
// target and the row of result buttons.
#pragma once

#include <X11/Xlib.h>

#include <array>

#include "calibration-common/button_row.h"
#include "calibration-common/palette.h"

namespace lumaro {

// The ten lines of the crosshair, in the GC's current colour and line style:
// a 40-pixel cross through (x, y) and the corners of the 40 x 40 square
// around it (each side has a 16-pixel gap in its middle).
void DrawCrosshairFigure(Display* display, Drawable drawable, GC gc, int x, int y);

// Each button in row order: clears its outline area (no exposures), draws the
// outline in `black`, fills it with its entry of `fills` and draws its label in
// `black`. Leaves the foreground black.
void DrawButtonRow(Display* display, Window window, GC gc, const ButtonRowLayout& row,
                   const std::array<unsigned long, kButtonCount>& fills, unsigned long black);

// The fills of a row whose button `pressed` (an index, or -1 for none) is
// held down: that one red, the others BUTTON_GREY.
std::array<unsigned long, kButtonCount> PressedFills(const Palette& palette, int pressed);

}  // namespace lumaro
