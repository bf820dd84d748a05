#include "tools/frame_path.h"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>

#include "tools/trace_device_io.h"
#include "touch-daemon/device_session.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/point_arrays.h"

namespace lumaro::tools {

// A device that accepts every report and keeps none.
class FramePath::DroppingIo final : public DeviceIo {
 public:
  int Open(const char*, int) override { return 3; }
  int Close(int) override { return 0; }
  ssize_t Read(int, void*, std::size_t) override { return 0; }
  ssize_t Write(int, const void*, std::size_t count) override {
    return static_cast<ssize_t>(count);
  }
  int Ioctl(int, unsigned long, void*) override { return -1; }
  int Access(const char*, int) override { return 0; }
};

FramePath::FramePath(const trace::Trace& trace)
    : io_(std::make_unique<DroppingIo>()),
      ctx_(std::make_unique<DeviceContext>()),
      pipeline_(std::make_unique<FramePipeline>(*ctx_, *io_)) {
  // Identification and set-up, answered by the trace's controller.
  TraceDeviceIo device(&trace, nullptr);
  DiagnosticSink quiet(nullptr);
  ctx_->fd = device.Open(kTouchNodePath, O_RDWR);
  DeviceSession session(*ctx_, device, quiet, DefaultPointAllocator());
  session.DeviceInit();
  for (const trace::Record& record : trace.records) {
    if (record.kind == trace::RecordKind::kFrame) frames_.push_back(record.bytes);
  }
}

FramePath::~FramePath() {
  FreePoints(*ctx_, DefaultPointAllocator());
}

void FramePath::Feed(std::size_t i, FrameStages* stages) {
  if (frames_.empty()) return;
  const std::vector<std::uint8_t>& frame = frames_[i % frames_.size()];
  std::copy_n(frame.begin(), std::min(frame.size(), buffer_.size()), buffer_.begin());
  pipeline_->TakeFrame(buffer_, stages);
}

}  // namespace lumaro::tools
