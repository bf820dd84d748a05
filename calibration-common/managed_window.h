// The calibration window under Xwayland. The compositors that run Xwayland
// (kiosk shells among them) neither show nor focus a full-screen
// override-redirect window, so there the window is a managed one that asks
// its window manager for full screen, and the screens are laid out in the
// size the compositor then gives it. On any other X server the window stays
// override-redirect.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include "calibration-common/full_screen_wait.h"

namespace lumaro {

// Whether `display` is an Xwayland server: it offers the XWAYLAND extension
// (Xwayland 23.1 and later), or one of its RandR outputs has an Xwayland name
// (every version, including those without the extension).
bool IsXwayland(Display* display, Window root);

inline constexpr long kFullScreenTimeoutMs = 5000;

// Names the window, lets it take the input focus and asks for full screen
// (_NET_WM_STATE_FULLSCREEN), before it is mapped.
void AskForFullScreen(Display* display, Window window, const char* name);

// Waits, with FullScreenWait and kFullScreenTimeoutMs, for the window
// (selected for StructureNotifyMask) to be mapped, asks for full screen once
// more when it is, and waits for it to be shown at `width` x `height`; then
// returns its actual size through `width` and `height`.
void AwaitFullScreen(Display* display, Window window, std::uint32_t& width, std::uint32_t& height);

}  // namespace lumaro
