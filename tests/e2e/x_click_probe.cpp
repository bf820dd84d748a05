// x-click-probe: a button-1 click that moves no pointer, for the end-to-end
// tests on servers where a pointer move cannot be scripted.
//   x-click-probe WINDOW X Y   sends WINDOW a ButtonPress and a ButtonRelease
//                              at (X, Y) of the window
// Exit status 0 when both were sent, 1 otherwise.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: x-click-probe WINDOW X Y\n");
    return 1;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "x-click-probe: cannot open the display\n");
    return 1;
  }
  const Window window = std::strtoul(argv[1], nullptr, 0);
  XEvent event{};
  event.xbutton.display = display;
  event.xbutton.window = window;
  event.xbutton.root = DefaultRootWindow(display);
  event.xbutton.x = std::atoi(argv[2]);
  event.xbutton.y = std::atoi(argv[3]);
  event.xbutton.button = Button1;
  event.xbutton.same_screen = True;
  event.type = ButtonPress;
  bool sent = XSendEvent(display, window, False, ButtonPressMask, &event) != 0;
  event.type = ButtonRelease;
  sent = XSendEvent(display, window, False, ButtonReleaseMask, &event) != 0 && sent;
  XSync(display, False);
  XCloseDisplay(display);
  return sent ? 0 : 1;
}
