// The full-screen calibration window shared by both calibration tools: the
// display connection, an override-redirect window (under Xwayland a managed
// full-screen one, see managed_window.h) with the keyboard grabbed,
// the font, the one graphics context and the palette. Each tool supplies the
// values in which it differs (event masks, font name).
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <cstdio>

#include "calibration-common/palette.h"

namespace lumaro {

struct CalibDisplay {
  Display* display = nullptr;
  int screen = 0;
  Window root = 0;
  std::uint32_t width = 0;   // W, pixels: the screen's, then the window's
  std::uint32_t height = 0;  // H, pixels
  Window window = 0;
  XFontStruct* font = nullptr;
  GC gc = nullptr;
  Palette palette{};
  bool keyboard_grabbed = false;
};

// Attempts at grabbing the keyboard, kGrabPauseUs apart: another client may
// hold the grab for a moment (a menu closing, a compositor starting up).
inline constexpr int kGrabAttempts = 20;
inline constexpr long kGrabPauseUs = 50000;

struct WindowSetup {
  long window_event_mask;  // the event mask among the window's creation attributes
  long select_event_mask;  // XSelectInput once the palette is filled
  const char* font_name;   // tried first, then "*", then the server's "fixed"
};

// Opens the display named by the environment and takes its default screen,
// root window and size. On failure writes
// "PROGRAM: cannot connect to X server NAME" to `err` and returns false.
bool OpenCalibDisplay(CalibDisplay& d, const char* program, std::FILE* err);

// A cursor that shows nothing: a 1x1 pixmap cursor with an empty mask.
Cursor MakeBlankCursor(Display* display, Window root);

// Loads `name`; on failure reports through perror("Cannot open font") and
// tries "*", reporting the same way again, then "fixed". Null when none loads.
XFontStruct* LoadCalibrationFont(Display* display, const char* name);

// Allocates each named slot in `colormap`. A slot whose name does not parse
// or cannot be allocated keeps the pixel value 0.
void AllocatePalette(Display* display, Colormap colormap, Palette& palette);

// Creates the W x H override-redirect window at (0, 0) on the root window
// (black background, blank cursor), maps it, grabs the keyboard (up to
// kGrabAttempts times; keyboard_grabbed says whether it was), loads the
// font, creates the GC (font set, line width 5, solid, round caps and joins),
// fills the palette, selects input, sets the background to palette slot 0 and
// clears. Under Xwayland the window is managed instead: named `program`, it
// asks for full screen, and once mapped W and H become the size it was
// given, before the grab. Returns false, with the window up but no GC, when
// no font loads.
bool SetUpCalibrationWindow(CalibDisplay& d, const WindowSetup& setup, const char* program);

// Gives the window the normal pointer back (cursor None) and flushes.
void ShowPointer(CalibDisplay& d);
// Hides the pointer over the window behind a fresh blank cursor.
void HidePointer(CalibDisplay& d);

// Ungrabs the keyboard, frees the GC and font and closes the display.
void ReleaseCalibDisplay(CalibDisplay& d);

}  // namespace lumaro
