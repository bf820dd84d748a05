#include "tools/frame_path.h"

#include <fcntl.h>

#include <algorithm>

namespace lumaro::tools {

FramePath::FramePath(const trace::Trace& trace)
    : device_(std::make_unique<TraceDeviceIo>(&trace, nullptr)),
      pipeline_(std::make_unique<FramePipeline>()) {
  fd_ = device_->Open(kTouchNodePath, O_RDWR);
  Identify();
  for (const trace::Record& record : trace.records) {
    if (record.kind == trace::RecordKind::kFrame) frames_.push_back(record.bytes);
  }
}

void FramePath::Identify() {
  identity_ = lumaro::Identify(*device_, fd_, identity_);
  pipeline_->SetUp(identity_);
}

const FrameResult& FramePath::Feed(std::size_t i, StageDetail detail) {
  static const FrameResult kNothing;
  if (frames_.empty()) return kNothing;
  const std::vector<std::uint8_t>& frame = frames_[i % frames_.size()];
  std::copy_n(frame.begin(), std::min(frame.size(), buffer_.size()), buffer_.begin());
  if (buffer_[0] == kReinitFrameMarker) Identify();
  return pipeline_->TakeFrame(buffer_, detail);
}

}  // namespace lumaro::tools
