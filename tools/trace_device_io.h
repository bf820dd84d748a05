// A DeviceIo that plays a trace instead of a device node: the daemon's own
// loop runs over it offline. The controller behind it is the simulator's, so
// a replay and a live run under lumaro-sim see the same answers; only time
// passes differently (waits are ignored).
#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "driver-interface/device_io.h"
#include "simulator/camera_controller.h"
#include "simulator/sim_log.h"
#include "trace/trace.h"

namespace lumaro::tools {

class TraceDeviceIo final : public DeviceIo {
 public:
  // Reports written to the device are printed to `reports` as trace lines
  // (dropped when it is null); the controller logs its side to `device_log`
  // as the simulator does (nothing when it is null). With `decoded` reports
  // are printed as their contact records (trace/report_line.h).
  TraceDeviceIo(const trace::Trace* trace, std::FILE* reports, std::FILE* device_log = nullptr,
                bool decoded = false);

  // True once playback has reached the end of the trace.
  bool exhausted() const { return exhausted_; }

  int Open(const char* path, int flags) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buffer, std::size_t count) override;
  ssize_t Write(int fd, const void* buffer, std::size_t count) override;
  int Ioctl(int fd, unsigned long request, void* block) override;
  int Access(const char* path, int mode) override;

 private:
  static constexpr int kFd = 3;
  bool Valid(int fd) const { return open_ && fd == kFd; }

  sim::SimLog log_;
  sim::CameraController controller_;
  std::FILE* reports_;
  bool decoded_;
  bool open_ = false;
  bool unplugged_ = false;
  bool exhausted_ = false;
};

}  // namespace lumaro::tools
