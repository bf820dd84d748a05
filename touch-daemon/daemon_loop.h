// The daemon's device loop: keeps the touch node open, identifies the
// controller, hands every frame to the frame pipeline, and recovers from every device
// failure by closing, releasing and reopening.
//
// All device access goes through the DeviceIo given, so an offline replay
// can run the same loop on a recorded trace: its keep_running hook answers
// false once the trace is exhausted, and Run returns.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>

#include "driver-interface/device_io.h"
#include "touch-daemon/device_context.h"
#include "touch-daemon/device_session.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/frame_pipeline.h"
#include "touch-daemon/point_arrays.h"

namespace lumaro {

// Seconds between open attempts, and before reopening after a read failure.
inline constexpr unsigned int kOpenRetrySeconds = 2;
inline constexpr unsigned int kReopenDelaySeconds = 1;

// sleep and keep_running are required.
struct LoopHooks {
  std::function<void(unsigned int seconds)> sleep;
  // Asked before every open attempt and every read; Run returns on false.
  std::function<bool()> keep_running;
  // Optional: shown the stages of every frame that completed a scan, right
  // after its reports were written.
  std::function<void(const FrameStages& stages)> on_scan = nullptr;
};

class DaemonLoop {
 public:
  // Allocates the zero-filled context and frame buffer (and the stage
  // record for an on_scan hook).
  DaemonLoop(DeviceIo& io, DiagnosticSink& log, LoopHooks hooks,
             PointAllocator allocator = DefaultPointAllocator());
  // Closes a descriptor still open and frees the point arrays, silently.
  ~DaemonLoop();
  DaemonLoop(const DaemonLoop&) = delete;
  DaemonLoop& operator=(const DaemonLoop&) = delete;

  // Prints "process enter", then opens, reads and reopens until keep_running
  // answers false. Call once.
  void Run();

  DeviceContext& context() { return *ctx_; }
  const DeviceSession& session() const { return session_; }

 private:
  // One open attempt; on success the session starts.
  void OpenDevice();
  void HandleFrame();
  // Ends the session after a read that returned n with errno error.
  void EndSession(ssize_t n, int error);

  DeviceIo& io_;
  DiagnosticSink& log_;
  LoopHooks hooks_;
  FrameBuffer frame_{};
  std::unique_ptr<DeviceContext> ctx_;
  DeviceSession session_;
  FramePipeline pipeline_;
  std::unique_ptr<FrameStages> stages_;  // only with an on_scan hook
  bool in_session_ = false;
};

}  // namespace lumaro
