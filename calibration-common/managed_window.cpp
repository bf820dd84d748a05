#include "calibration-common/managed_window.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <time.h>

#include <cerrno>

#include "calibration-common/interruption.h"

namespace lumaro {
namespace {

long NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// The request for full screen that a window manager takes for a mapped
// window: some read the state property only then, not at the mapping.
void RequestFullScreen(Display* display, Window window) {
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = window;
  request.xclient.message_type = XInternAtom(display, "_NET_WM_STATE", False);
  request.xclient.format = 32;
  request.xclient.data.l[0] = 1;  // _NET_WM_STATE_ADD
  request.xclient.data.l[1] =
      static_cast<long>(XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False));
  request.xclient.data.l[3] = 1;  // from a normal application
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &request);
  XFlush(display);
}

}  // namespace

bool IsXwayland(Display* display, Window root) {
  int opcode = 0, event = 0, error = 0;
  if (XQueryExtension(display, "XWAYLAND", &opcode, &event, &error)) return true;
  if (!XRRQueryExtension(display, &event, &error)) return false;
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, root);
  if (resources == nullptr) return false;
  bool xwayland = false;
  for (int i = 0; i < resources->noutput && !xwayland; ++i) {
    XRROutputInfo* output = XRRGetOutputInfo(display, resources, resources->outputs[i]);
    if (output == nullptr) continue;
    xwayland = IsXwaylandOutputName(output->name);
    XRRFreeOutputInfo(output);
  }
  XRRFreeScreenResources(resources);
  return xwayland;
}

void AskForFullScreen(Display* display, Window window, const char* name) {
  XStoreName(display, window, name);
  XClassHint class_hint{};
  class_hint.res_name = const_cast<char*>(name);
  class_hint.res_class = const_cast<char*>(name);
  XSetClassHint(display, window, &class_hint);
  XWMHints hints{};
  hints.flags = InputHint | StateHint;
  hints.input = True;
  hints.initial_state = NormalState;
  XSetWMHints(display, window, &hints);
  // The state property before mapping is how a client asks for full screen
  // from the start; the request once mapped follows for managers that only
  // take that.
  const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
  const Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
  XChangeProperty(display, window, state, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&fullscreen), 1);
}

void AwaitFullScreen(Display* display, Window window, std::uint32_t& width, std::uint32_t& height) {
  FullScreenWait wait(width, height, NowMs(), kFullScreenTimeoutMs);
  pollfd connection = {ConnectionNumber(display), POLLIN, 0};
  for (long now = NowMs(); !wait.Done(now); now = NowMs()) {
    XEvent event;
    if (XCheckWindowEvent(display, window, StructureNotifyMask, &event)) {
      if (event.type == MapNotify) {
        wait.Mapped(NowMs());
        RequestFullScreen(display, window);
      }
      if (event.type == ConfigureNotify) {
        wait.Configured(static_cast<std::uint32_t>(event.xconfigure.width),
                        static_cast<std::uint32_t>(event.xconfigure.height), NowMs());
      }
      continue;
    }
    const int timeout = static_cast<int>(wait.Remaining(now));
    // A stop signal ends the wait; the main loop then ends the session.
    if (poll(&connection, 1, timeout) < 0 && errno == EINTR && StopSignal() != 0) break;
  }
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) != 0) {
    width = static_cast<std::uint32_t>(attributes.width);
    height = static_cast<std::uint32_t>(attributes.height);
  }
}

}  // namespace lumaro
