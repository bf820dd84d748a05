// The 160 ms tick that drives a calibration window's event handling. The
// SIGALRM handler only records the tick; the tool's touch loop handles the
// window's events. SIGALRM is blocked except while the loop's waiting request
// runs, and the handler is installed without SA_RESTART, so that request
// returns on the tick and no other request or pause is ever cut short by it.
#pragma once

#include "driver-interface/device_io.h"

namespace lumaro {

inline constexpr long kTickMicroseconds = 160000;

// Blocks SIGALRM, installs the handler and starts the interval timer: the
// first tick 160 ms from now, then every 160 ms. False when either fails.
bool StartTicks();
// Stops the timer.
void StopTicks();
// True once for each tick (or run of ticks) since the last call.
bool TakeTick();

// Forwards every call to `inner`; the request `waiting_request` (the one the
// touch loop waits in) runs with SIGALRM unblocked, and fails at once with
// EINTR while a tick is pending.
class TickGatedIo final : public DeviceIo {
 public:
  TickGatedIo(DeviceIo& inner, unsigned long waiting_request)
      : inner_(inner), waiting_request_(waiting_request) {}
  int Open(const char* path, int flags) override { return inner_.Open(path, flags); }
  int Close(int fd) override { return inner_.Close(fd); }
  ssize_t Read(int fd, void* buffer, std::size_t count) override {
    return inner_.Read(fd, buffer, count);
  }
  ssize_t Write(int fd, const void* buffer, std::size_t count) override {
    return inner_.Write(fd, buffer, count);
  }
  int Ioctl(int fd, unsigned long request, void* block) override;
  int Access(const char* path, int mode) override { return inner_.Access(path, mode); }

 private:
  DeviceIo& inner_;
  unsigned long waiting_request_;
};

}  // namespace lumaro
