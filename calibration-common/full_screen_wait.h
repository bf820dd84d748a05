// The X-free parts of the managed calibration window (managed_window.h):
// recognising Xwayland's outputs, and when the wait for full screen is over.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace lumaro {

// Whether an output of this name belongs to Xwayland, which names every
// output "XWAYLAND<n>".
inline bool IsXwaylandOutputName(const char* name) {
  return std::strncmp(name, "XWAYLAND", 8) == 0;
}

// Waiting for the window manager to show the window full screen: done once
// the window, created at the wanted size, is mapped and has kept that size
// for a settling time since the mapping and since its last change of size,
// or at the deadline (a manager that gives another size, or none at all),
// after which the window keeps whatever size it has. The settling time is
// there because a manager may map the window first and only then shrink it
// to a tile before it grants full screen: done at the mapping, the window
// would be laid out for the tile. Times in milliseconds on any monotonic
// clock.
class FullScreenWait {
 public:
  static constexpr long kSettleMs = 300;

  FullScreenWait(std::uint32_t width, std::uint32_t height, long start_ms, long timeout_ms)
      : width_(width), height_(height), deadline_ms_(start_ms + timeout_ms) {}

  void Mapped(long now_ms) {
    mapped_ = true;
    changed_ms_ = now_ms;
  }
  void Configured(std::uint32_t width, std::uint32_t height, long now_ms) {
    const bool full = width == width_ && height == height_;
    if (full != full_) changed_ms_ = now_ms;
    full_ = full;
  }
  bool Done(long now_ms) const { return Remaining(now_ms) == 0; }
  // How long a wait for the next event may last, 0 when done.
  long Remaining(long now_ms) const {
    long until = deadline_ms_;
    if (mapped_ && full_) until = std::min(until, changed_ms_ + kSettleMs);
    return std::max(0L, until - now_ms);
  }

 private:
  std::uint32_t width_;
  std::uint32_t height_;
  long deadline_ms_;
  long changed_ms_ = 0;
  bool mapped_ = false;
  bool full_ = true;
};

}  // namespace lumaro
