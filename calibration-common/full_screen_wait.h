// The X-free parts of the managed calibration window (managed_window.h):
// recognising Xwayland's outputs, and when the wait for full screen is over.
#pragma once

#include <cstdint>
#include <cstring>

namespace lumaro {

// Whether an output of this name belongs to Xwayland, which names every
// output "XWAYLAND<n>".
inline bool IsXwaylandOutputName(const char* name) {
  return std::strncmp(name, "XWAYLAND", 8) == 0;
}

// Waiting for the window manager to show the window full screen: done once
// the window, created at the wanted size, is mapped and has that size (again),
// or at the deadline (a manager that gives another size, or none at all),
// after which the window keeps whatever size it has. Times in milliseconds
// on any monotonic clock.
class FullScreenWait {
 public:
  FullScreenWait(std::uint32_t width, std::uint32_t height, long start_ms, long timeout_ms)
      : width_(width), height_(height), deadline_ms_(start_ms + timeout_ms) {}

  void Mapped() { mapped_ = true; }
  void Configured(std::uint32_t width, std::uint32_t height) {
    full_ = width == width_ && height == height_;
  }
  bool Done(long now_ms) const { return (mapped_ && full_) || now_ms >= deadline_ms_; }
  // How long a wait for the next event may last, 0 when done.
  long Remaining(long now_ms) const { return Done(now_ms) ? 0 : deadline_ms_ - now_ms; }

 private:
  std::uint32_t width_;
  std::uint32_t height_;
  long deadline_ms_;
  bool mapped_ = false;
  bool full_ = true;
};

}  // namespace lumaro
