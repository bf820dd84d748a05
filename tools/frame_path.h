// The daemon's frame path over a trace, in memory: the controller is
// identified and the daemon's own FramePipeline set up from its identity,
// then frames go through the pipeline (intake, engine, filters and report
// assembly), re-identifying for a frame marked kReinitFrameMarker as the
// daemon does. The reports are built and dropped. Frames are decoded from the
// trace up front, so feeding them does no work of its own: this is what the
// benchmarks measure and what the allocation test watches.
#pragma once

#include <memory>
#include <vector>

#include "driver-interface/identity.h"
#include "tools/trace_device_io.h"
#include "touch-daemon/frame_pipeline.h"
#include "trace/trace.h"

namespace lumaro::tools {

class FramePath {
 public:
  explicit FramePath(const trace::Trace& trace);
  FramePath(const FramePath&) = delete;
  FramePath& operator=(const FramePath&) = delete;

  std::size_t frame_count() const { return frames_.size(); }
  // Reads frame i (modulo the count) into the one frame buffer and hands it
  // to the pipeline.
  const FrameResult& Feed(std::size_t i, StageDetail detail = StageDetail::kWithoutStages);
  const ControllerIdentity& identity() const { return identity_; }

 private:
  void Identify();

  std::unique_ptr<TraceDeviceIo> device_;  // the trace's controller answers identification
  int fd_ = -1;
  ControllerIdentity identity_;
  std::unique_ptr<FramePipeline> pipeline_;
  std::vector<std::vector<std::uint8_t>> frames_;
  FrameBuffer buffer_{};
};

}  // namespace lumaro::tools
