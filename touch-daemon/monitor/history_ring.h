// The monitor's history: a fixed byte ring of device events that the frame
// path publishes into and the monitor's server thread reads from.
//
// One thread publishes; publishing never waits, never allocates and
// overwrites the oldest entries when the ring is full. Readers on other
// threads copy an entry out and then check that it was not overwritten while
// they copied (a sequence check on the oldest position): a reader never
// blocks the publisher.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "driver-interface/requests.h"

namespace lumaro::monitor {

enum class EntryKind : std::uint8_t {
  kProduct,    // value: ProductID
  kBlock,      // value: request code; bytes: the block answered
  kFailOnce,   // value: request code of a request that failed
  kFrame,      // bytes: what one read returned
  kReadError,  // value: errno of a failed read
  kReadZero,   // a read that returned 0 bytes
  kUnplug,     // the node went away after the session ended
  kPlug,       // the node could be opened again
  kReport,     // bytes: one report written to the device
};

inline constexpr std::size_t kMaxEntryBytes = kFrameBufferSize;

struct Entry {
  EntryKind kind = EntryKind::kFrame;
  std::uint32_t value = 0;
  std::uint64_t time_ns = 0;  // MonotonicNs() when published
  std::uint16_t size = 0;
  std::array<std::uint8_t, kMaxEntryBytes> bytes{};
};

class HistoryRing {
 public:
  // capacity_bytes is rounded up to a power of two, at least 64 KiB; the
  // storage is allocated and touched here, once.
  explicit HistoryRing(std::size_t capacity_bytes);
  HistoryRing(const HistoryRing&) = delete;
  HistoryRing& operator=(const HistoryRing&) = delete;

  // Publisher only. Bytes beyond kMaxEntryBytes are cut off.
  void Publish(EntryKind kind, std::uint32_t value, const std::uint8_t* bytes, std::size_t size,
               std::uint64_t time_ns);

  // Positions are byte offsets that only grow: entries live in [tail, head).
  std::uint64_t head() const { return head_.load(std::memory_order_acquire); }
  std::uint64_t tail() const { return tail_.load(std::memory_order_acquire); }
  std::size_t capacity() const { return capacity_; }

  enum class ReadResult { kOk, kNotYet, kLost };
  // Copies the entry at pos (a position an earlier Read or tail/head gave)
  // and sets *next to the position after it. kNotYet at the head; kLost when
  // pos was overwritten (before or while it was copied).
  ReadResult Read(std::uint64_t pos, Entry* out, std::uint64_t* next) const;

 private:
  void CopyIn(std::uint64_t pos, const void* data, std::size_t size);
  void CopyOut(std::uint64_t pos, void* data, std::size_t size) const;

  std::size_t capacity_;
  std::unique_ptr<std::uint8_t[]> storage_;
  std::uint64_t tail_local_ = 0;  // the publisher's own copy of tail_
  // Each on a cache line of its own: readers poll them while the publisher
  // writes.
  alignas(64) std::atomic<std::uint64_t> head_{0};
  alignas(64) std::atomic<std::uint64_t> tail_{0};
};

}  // namespace lumaro::monitor
