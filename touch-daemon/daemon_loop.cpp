#include "touch-daemon/daemon_loop.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "driver-interface/requests.h"

namespace lumaro {

namespace {
// The driver may report a timed-out read as this result instead of -1.
constexpr ssize_t kTimedOutResult = -110;
}  // namespace

DaemonLoop::DaemonLoop(DeviceIo& io, DiagnosticSink& log, LoopHooks hooks, PointAllocator allocator)
    : io_(io),
      log_(log),
      hooks_(std::move(hooks)),
      ctx_(std::make_unique<DeviceContext>()),
      session_(*ctx_, io, log, std::move(allocator)),
      pipeline_(*ctx_, io),
      stages_(hooks_.on_scan ? std::make_unique<FrameStages>() : nullptr) {}

DaemonLoop::~DaemonLoop() {
  if (in_session_) io_.Close(ctx_->fd);
  FreePoints(*ctx_, session_.allocator());
}

void DaemonLoop::Run() {
  log_.Line("process enter");
  while (hooks_.keep_running()) {
    if (!in_session_) {
      OpenDevice();
      continue;
    }
    const ssize_t n = io_.Read(ctx_->fd, frame_.data(), frame_.size());
    const int error = errno;
    if (n > 0) {
      HandleFrame();
    } else if (n == kTimedOutResult || (n < 0 && (error == ETIMEDOUT || error == ETIME))) {
      // No frame yet; read again.
    } else {
      EndSession(n, error);
    }
  }
}

void DaemonLoop::OpenDevice() {
  // Any descriptor, 0 included, is a success: only a negative result fails.
  ctx_->fd = io_.Open(kTouchNodePath, O_RDWR);
  if (ctx_->fd < 0) {
    ctx_->fd = -1;
    log_.Line("open touch error");
    hooks_.sleep(kOpenRetrySeconds);
    return;
  }
  log_.Line("open touch success");
  in_session_ = true;
  session_.DeviceInit();
}

void DaemonLoop::HandleFrame() {
  if (frame_[0] == kReinitFrameMarker) session_.DeviceInit();
  pipeline_.TakeFrame(frame_, stages_.get());
  if (stages_ != nullptr && stages_->Scanned) hooks_.on_scan(*stages_);
}

void DaemonLoop::EndSession(ssize_t n, int error) {
  io_.Close(ctx_->fd);
  session_.ReleaseDevice();
  ctx_->fd = -1;
  in_session_ = false;
  // A read of 0 bytes leaves errno without meaning: the device has nothing
  // more to deliver.
  log_.Line("read error %d :%s", static_cast<int>(n),
            n == 0 ? "end of file" : std::strerror(error));
  hooks_.sleep(kReopenDelaySeconds);
}

}  // namespace lumaro
