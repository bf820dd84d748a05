#include "calibration-common/calib_display.h"

#include <time.h>

#include <cstdio>

#include "calibration-common/managed_window.h"

namespace lumaro {

bool OpenCalibDisplay(CalibDisplay& d, const char* program, std::FILE* err) {
  d.display = XOpenDisplay(nullptr);
  if (d.display == nullptr) {
    std::fprintf(err, "%s: cannot connect to X server %s\n", program, XDisplayName(nullptr));
    return false;
  }
  d.screen = DefaultScreen(d.display);
  d.root = RootWindow(d.display, d.screen);
  d.width = static_cast<std::uint32_t>(DisplayWidth(d.display, d.screen));
  d.height = static_cast<std::uint32_t>(DisplayHeight(d.display, d.screen));
  return true;
}

Cursor MakeBlankCursor(Display* display, Window root) {
  static const char kEmpty[1] = {0};
  Pixmap source = XCreateBitmapFromData(display, root, kEmpty, 1, 1);
  Pixmap mask = XCreateBitmapFromData(display, root, kEmpty, 1, 1);
  XColor colour{};
  Cursor cursor = XCreatePixmapCursor(display, source, mask, &colour, &colour, 0, 0);
  XFreePixmap(display, source);
  XFreePixmap(display, mask);
  return cursor;
}

XFontStruct* LoadCalibrationFont(Display* display, const char* name) {
  XFontStruct* font = XLoadQueryFont(display, name);
  if (font != nullptr) return font;
  std::perror("Cannot open font");
  font = XLoadQueryFont(display, "*");
  if (font != nullptr) return font;
  std::perror("Cannot open font");
  // Every server provides the "fixed" alias; the screens need some font.
  return XLoadQueryFont(display, "fixed");
}

void AllocatePalette(Display* display, Colormap colormap, Palette& palette) {
  for (std::size_t slot = 0; slot < kPaletteSize; ++slot) {
    palette[slot] = 0;
    XColor colour{};
    if (XParseColor(display, colormap, kPaletteNames[slot], &colour) == 0) continue;
    if (XAllocColor(display, colormap, &colour) == 0) continue;
    palette[slot] = colour.pixel;
  }
}

bool SetUpCalibrationWindow(CalibDisplay& d, const WindowSetup& setup, const char* program) {
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(d.display, d.screen);
  const bool managed = IsXwayland(d.display, d.root);
  attributes.override_redirect = managed ? False : True;
  attributes.event_mask = setup.window_event_mask | (managed ? StructureNotifyMask : 0);
  attributes.cursor = MakeBlankCursor(d.display, d.root);
  d.window = XCreateWindow(d.display, d.root, 0, 0, d.width, d.height, 0, CopyFromParent,
                           InputOutput, CopyFromParent,
                           CWBackPixel | CWOverrideRedirect | CWEventMask | CWCursor, &attributes);
  XFreeCursor(d.display, attributes.cursor);  // the window keeps it
  if (managed) AskForFullScreen(d.display, d.window, program);
  XMapWindow(d.display, d.window);
  // A grab needs a viewable window, and the faces need the final size.
  if (managed) AwaitFullScreen(d.display, d.window, d.width, d.height);
  for (int attempt = 0; attempt < kGrabAttempts && !d.keyboard_grabbed; ++attempt) {
    if (attempt > 0) {
      const timespec pause = {0, kGrabPauseUs * 1000};
      nanosleep(&pause, nullptr);
    }
    d.keyboard_grabbed = XGrabKeyboard(d.display, d.window, False, GrabModeAsync, GrabModeAsync,
                                       CurrentTime) == GrabSuccess;
  }

  d.font = LoadCalibrationFont(d.display, setup.font_name);
  if (d.font == nullptr) return false;

  d.gc = XCreateGC(d.display, d.window, 0, nullptr);
  XSetFont(d.display, d.gc, d.font->fid);
  XSetLineAttributes(d.display, d.gc, 5, LineSolid, CapRound, JoinRound);
  AllocatePalette(d.display, DefaultColormap(d.display, d.screen), d.palette);
  XSelectInput(d.display, d.window, setup.select_event_mask);
  XSetWindowBackground(d.display, d.window, d.palette[kPaletteBlack]);
  XClearWindow(d.display, d.window);
  return true;
}

void ShowPointer(CalibDisplay& d) {
  XSetWindowAttributes attributes{};
  attributes.cursor = None;
  XChangeWindowAttributes(d.display, d.window, CWCursor, &attributes);
  XFlush(d.display);
}

void HidePointer(CalibDisplay& d) {
  XSetWindowAttributes attributes{};
  attributes.cursor = MakeBlankCursor(d.display, d.root);
  XChangeWindowAttributes(d.display, d.window, CWCursor, &attributes);
  XFreeCursor(d.display, attributes.cursor);  // the window keeps it
}

void ReleaseCalibDisplay(CalibDisplay& d) {
  if (d.display == nullptr) return;
  XUngrabKeyboard(d.display, CurrentTime);
  if (d.gc != nullptr) XFreeGC(d.display, d.gc);
  if (d.font != nullptr) XFreeFont(d.display, d.font);
  XCloseDisplay(d.display);
  d = CalibDisplay{};
}

}  // namespace lumaro
