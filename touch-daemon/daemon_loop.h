// The daemon's device loop: keeps the touch node open, identifies the
// controller, hands every frame to the frame pipeline and writes the reports
// it returns, and recovers from every device failure by closing, releasing
// and reopening. It does all of the daemon's device I/O.
//
// All device access goes through the DeviceIo given, so an offline replay
// can run the same loop on a recorded trace: its keep_running hook answers
// false once the trace is exhausted, and Run returns.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>

#include "driver-interface/device_io.h"
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
  // Optional: shown the result of every frame, right after its reports were
  // written.
  std::function<void(const FrameResult& result)> on_frame = nullptr;
  // Whether the results shown to on_frame carry the stages of their scans.
  bool with_stages = false;
};

class DaemonLoop {
 public:
  // The pipeline's point arrays come from allocator.
  DaemonLoop(DeviceIo& io, DiagnosticSink& log, LoopHooks hooks,
             PointAllocator allocator = DefaultPointAllocator());
  // Closes a descriptor still open; the point arrays go silently.
  ~DaemonLoop();
  DaemonLoop(const DaemonLoop&) = delete;
  DaemonLoop& operator=(const DaemonLoop&) = delete;

  // Prints "process enter", then opens, reads and reopens until keep_running
  // answers false. Call once.
  void Run();

  const ControllerIdentity& identity() const { return session_.identity(); }
  const FramePipeline& pipeline() const { return *pipeline_; }

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
  std::unique_ptr<FramePipeline> pipeline_;
  DeviceSession session_;
  int fd_ = -1;  // the open touch node; -1 outside a session
  bool in_session_ = false;
};

}  // namespace lumaro
