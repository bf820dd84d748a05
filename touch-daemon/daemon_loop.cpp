#include "touch-daemon/daemon_loop.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"

namespace lumaro {

DaemonLoop::DaemonLoop(DeviceIo& io, DiagnosticSink& log, LoopHooks hooks, PointAllocator allocator)
    : io_(io),
      log_(log),
      hooks_(std::move(hooks)),
      pipeline_(std::make_unique<FramePipeline>(std::move(allocator))),
      session_(io, log, *pipeline_) {}

DaemonLoop::~DaemonLoop() {
  if (in_session_) io_.Close(fd_);
}

void DaemonLoop::Run() {
  log_.Line("process enter");
  while (hooks_.keep_running()) {
    if (!in_session_) {
      OpenDevice();
      continue;
    }
    const ssize_t n = io_.Read(fd_, frame_.data(), frame_.size());
    const int error = errno;
    switch (ClassifyRead(n, error)) {
      case ReadOutcome::kFrame:
        HandleFrame();
        break;
      case ReadOutcome::kTimedOut:
        break;
      case ReadOutcome::kSessionEnd:
        EndSession(n, error);
        break;
    }
  }
}

void DaemonLoop::OpenDevice() {
  // Any descriptor, 0 included, is a success: only a negative result fails.
  fd_ = io_.Open(kTouchNodePath, O_RDWR);
  if (fd_ < 0) {
    fd_ = -1;
    log_.Line("open touch error");
    hooks_.sleep(kOpenRetrySeconds);
    return;
  }
  log_.Line("open touch success");
  in_session_ = true;
  session_.DeviceInit(fd_);
}

void DaemonLoop::HandleFrame() {
  if (frame_[0] == kReinitFrameMarker) session_.DeviceInit(fd_);
  const bool with_stages = hooks_.on_frame && hooks_.with_stages;
  const FrameResult& result = pipeline_->TakeFrame(
      frame_, with_stages ? StageDetail::kWithStages : StageDetail::kWithoutStages);
  // A failed or short write is not retried: the next report follows as usual.
  for (const ReportBytes& report : result.Reports())
    (void)io_.Write(fd_, report.data(), report.size());
  if (hooks_.on_frame) hooks_.on_frame(result);
}

void DaemonLoop::EndSession(ssize_t n, int error) {
  io_.Close(fd_);
  session_.ReleaseDevice();
  fd_ = -1;
  in_session_ = false;
  // A read of 0 bytes leaves errno without meaning: the device has nothing
  // more to deliver.
  log_.Line("read error %d :%s", static_cast<int>(n),
            n == 0 ? "end of file" : std::strerror(error));
  hooks_.sleep(kReopenDelaySeconds);
}

}  // namespace lumaro
