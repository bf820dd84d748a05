#include "tools/trace_device_io.h"

#include <cerrno>
#include <cstring>
#include <span>
#include <string>

#include "driver-interface/blocks.h"
#include "driver-interface/requests.h"
#include "trace/report_line.h"

namespace lumaro::tools {

TraceDeviceIo::TraceDeviceIo(const trace::Trace* trace, std::FILE* reports, std::FILE* device_log,
                             bool decoded)
    : log_(device_log), controller_(trace, &log_), reports_(reports), decoded_(decoded) {}

int TraceDeviceIo::Open(const char* path, int /*flags*/) {
  if (std::strcmp(path, kTouchNodePath) != 0 || exhausted_) {
    errno = ENOENT;
    return -1;
  }
  // While unplugged, playback runs on to the `plug` at once.
  while (unplugged_) {
    const sim::UnpluggedStep step = controller_.NextUnplugged();
    if (step.kind == sim::UnpluggedStep::Kind::kPlug) unplugged_ = false;
    if (step.kind == sim::UnpluggedStep::Kind::kExhausted) {
      exhausted_ = true;
      errno = ENOENT;
      return -1;
    }
  }
  controller_.OnOpen();
  open_ = true;
  return kFd;
}

int TraceDeviceIo::Close(int fd) {
  if (!Valid(fd)) {
    errno = EBADF;
    return -1;
  }
  open_ = false;
  return 0;
}

ssize_t TraceDeviceIo::Read(int fd, void* buffer, std::size_t count) {
  if (!Valid(fd)) {
    errno = EBADF;
    return -1;
  }
  const sim::ReadStep step = controller_.NextRead();
  switch (step.kind) {
    case sim::ReadStep::Kind::kFrame: {
      const std::size_t n = std::min(count, step.bytes.size());
      std::memcpy(buffer, step.bytes.data(), n);
      return static_cast<ssize_t>(n);
    }
    case sim::ReadStep::Kind::kError:
      errno = step.error;
      return -1;
    case sim::ReadStep::Kind::kZero:
      return 0;
    case sim::ReadStep::Kind::kNoFrame:  // the daemon reads again
      errno = ETIMEDOUT;
      return -1;
    case sim::ReadStep::Kind::kUnplug:
      unplugged_ = true;
      errno = ENODEV;
      return -1;
    case sim::ReadStep::Kind::kExhausted:
      break;
  }
  // The end: a time-out the daemon reads past, after which the loop stops.
  exhausted_ = true;
  errno = ETIMEDOUT;
  return -1;
}

ssize_t TraceDeviceIo::Write(int fd, const void* buffer, std::size_t count) {
  if (!Valid(fd)) {
    errno = EBADF;
    return -1;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (reports_ != nullptr)
    std::fprintf(reports_, "%s\n",
                 (decoded_ ? trace::FormatDecodedReportLine({bytes, count})
                           : trace::FormatReportLine({bytes, count}))
                     .c_str());
  return static_cast<ssize_t>(count);
}

int TraceDeviceIo::Ioctl(int fd, unsigned long request, void* block) {
  if (!Valid(fd)) {
    errno = EBADF;
    return -1;
  }
  const std::size_t size = sim::CameraController::RequestSize(request);
  std::span<std::uint8_t> bytes(static_cast<std::uint8_t*>(block), block == nullptr ? 0 : size);
  const sim::RequestOutcome outcome = controller_.Request(request, bytes);
  if (outcome.result < 0) errno = outcome.error;
  return outcome.result;
}

int TraceDeviceIo::Access(const char* path, int /*mode*/) {
  if (std::strcmp(path, kTouchNodePath) != 0 || unplugged_) {
    errno = ENOENT;
    return -1;
  }
  return 0;
}

}  // namespace lumaro::tools
