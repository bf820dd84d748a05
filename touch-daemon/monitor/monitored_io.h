// The device as the monitor sees it: a DeviceIo that passes every call to
// the real one and publishes what the controller answered and what the
// daemon wrote into the history ring, in the order a trace needs.
//
// - Identification answers become product and block entries (a failed
//   request a failonce entry); those of a re-identification are published
//   before the kReinitFrameMarker frame that asked for it, where a replay looks for them.
// - A read that ends the session is published at the next open attempt: as
//   the read error when the node opens again, as an unplug (and later a
//   plug) when it does not.
// All of it is copying into the ring: no allocation, no waiting.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "driver-interface/device_io.h"
#include "touch-daemon/monitor/history_ring.h"

namespace lumaro::monitor {

// CLOCK_MONOTONIC_COARSE in nanoseconds.
std::uint64_t MonotonicNs();

class MonitoredIo final : public DeviceIo {
 public:
  MonitoredIo(DeviceIo& device, HistoryRing& ring) : device_(device), ring_(ring) {}

  int Open(const char* path, int flags) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buffer, std::size_t count) override;
  ssize_t Write(int fd, const void* buffer, std::size_t count) override;
  int Ioctl(int fd, unsigned long request, void* block) override;
  int Access(const char* path, int mode) override { return device_.Access(path, mode); }

 private:
  void Publish(EntryKind kind, std::uint32_t value, const void* bytes = nullptr,
               std::size_t size = 0);
  // Publishes a held kReinitFrameMarker frame once its identification is published.
  void ReleaseHeldFrame();

  DeviceIo& device_;
  HistoryRing& ring_;
  std::uint8_t held_frame_[kMaxEntryBytes];
  std::size_t held_size_ = 0;
  bool held_ = false;
  // The read that ended the last session, until the next open attempt.
  bool ended_ = false;
  EntryKind end_kind_ = EntryKind::kReadError;
  std::uint32_t end_errno_ = 0;
  bool unplugged_ = false;
};

}  // namespace lumaro::monitor
