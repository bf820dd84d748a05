// The daemon's frame path over a trace, in memory: the controller is
// identified and set up by the daemon's own session code, then frames go
// through the daemon's own FramePipeline (intake, engine, filters and report
// assembly).
// Reports are built but go to a device that drops them. Frames are decoded
// from the trace up front, so feeding them does no work of its own: this is
// what the benchmarks measure and what the allocation test watches.
#pragma once

#include <memory>
#include <vector>

#include "touch-daemon/device_context.h"
#include "touch-daemon/frame_pipeline.h"
#include "trace/trace.h"

namespace lumaro::tools {

class FramePath {
 public:
  explicit FramePath(const trace::Trace& trace);
  ~FramePath();
  FramePath(const FramePath&) = delete;
  FramePath& operator=(const FramePath&) = delete;

  std::size_t frame_count() const { return frames_.size(); }
  // Reads frame i (modulo the count) into the one frame buffer and hands it
  // to the pipeline, which fills stages when given.
  void Feed(std::size_t i, FrameStages* stages = nullptr);
  const DeviceContext& context() const { return *ctx_; }

 private:
  class DroppingIo;
  std::unique_ptr<DroppingIo> io_;
  std::unique_ptr<DeviceContext> ctx_;
  std::unique_ptr<FramePipeline> pipeline_;
  std::vector<std::vector<std::uint8_t>> frames_;
  FrameBuffer buffer_{};
};

}  // namespace lumaro::tools
