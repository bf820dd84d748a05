#include "touch-daemon/monitor/monitored_io.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "driver-interface/blocks.h"
#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"

namespace lumaro::monitor {

std::uint64_t MonotonicNs() {
  // The coarse clock (a few milliseconds) is all `last SECONDS` and a
  // reader's lag need, and costs the frame path least.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

void MonitoredIo::Publish(EntryKind kind, std::uint32_t value, const void* bytes,
                          std::size_t size) {
  ring_.Publish(kind, value, static_cast<const std::uint8_t*>(bytes), size, MonotonicNs());
}

void MonitoredIo::ReleaseHeldFrame() {
  if (!held_) return;
  held_ = false;
  Publish(EntryKind::kFrame, 0, held_frame_, held_size_);
}

int MonitoredIo::Open(const char* path, int flags) {
  const int fd = device_.Open(path, flags);
  const int error = errno;
  if (std::strcmp(path, kTouchNodePath) == 0) {
    if (fd < 0) {
      if (ended_) {
        Publish(EntryKind::kUnplug, 0);
        unplugged_ = true;
        ended_ = false;
      }
    } else {
      if (ended_) Publish(end_kind_, end_errno_);
      if (unplugged_) Publish(EntryKind::kPlug, 0);
      ended_ = false;
      unplugged_ = false;
    }
  }
  errno = error;
  return fd;
}

int MonitoredIo::Close(int fd) {
  ReleaseHeldFrame();
  return device_.Close(fd);
}

ssize_t MonitoredIo::Read(int fd, void* buffer, std::size_t count) {
  ReleaseHeldFrame();
  const ssize_t n = device_.Read(fd, buffer, count);
  const int error = errno;
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  const ReadOutcome outcome = ClassifyRead(n, error);
  if (outcome == ReadOutcome::kFrame) {
    const std::size_t size = std::min(static_cast<std::size_t>(n), kMaxEntryBytes);
    if (bytes[0] == kReinitFrameMarker) {
      std::memcpy(held_frame_, bytes, size);
      held_size_ = size;
      held_ = true;
    } else {
      Publish(EntryKind::kFrame, 0, bytes, size);
    }
  } else if (outcome == ReadOutcome::kTimedOut) {
    Publish(EntryKind::kReadError, static_cast<std::uint32_t>(ReadErrorNumber(n, error)));
  } else {
    ended_ = true;
    end_kind_ = n == 0 ? EntryKind::kReadZero : EntryKind::kReadError;
    end_errno_ = n == 0 ? 0 : static_cast<std::uint32_t>(error);
  }
  errno = error;
  return n;
}

ssize_t MonitoredIo::Write(int fd, const void* buffer, std::size_t count) {
  ReleaseHeldFrame();
  const ssize_t n = device_.Write(fd, buffer, count);
  const int error = errno;
  // Every report the daemon made, written or not: what a replay prints.
  Publish(EntryKind::kReport, 0, buffer, count);
  errno = error;
  return n;
}

int MonitoredIo::Ioctl(int fd, unsigned long request, void* block) {
  const int result = device_.Ioctl(fd, request, block);
  const int error = errno;
  const RequestInfo* known = FindTouchRequest(request);
  const bool identifies = request == GET_PRODUCT_ID ||
                          (known != nullptr && known->direction == Direction::kOut &&
                           (known->size == kParamBlockSize || known->size == kDeviceInfoSize));
  if (identifies) {
    const auto code = static_cast<std::uint32_t>(request);
    if (result < 0) {
      Publish(EntryKind::kFailOnce, code);
    } else if (request == GET_PRODUCT_ID) {
      ProductIdBlock product{};
      std::memcpy(product.data(), block, product.size());
      Publish(EntryKind::kProduct, product_id::Value(product));
    } else {
      Publish(EntryKind::kBlock, code, block, known->size);
    }
  }
  errno = error;
  return result;
}

}  // namespace lumaro::monitor
