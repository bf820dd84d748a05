#include "touch-daemon/monitor/history_ring.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lumaro::monitor {
namespace {

// Each entry: this header, then its bytes, padded to 8.
struct EntryHeader {
  std::uint64_t time_ns;
  std::uint32_t value;
  std::uint16_t size;
  std::uint8_t kind;
  std::uint8_t reserved;
};
static_assert(sizeof(EntryHeader) == 16);

constexpr std::size_t kMinCapacity = 64 * 1024;
// The oldest entries are retired this many bytes at a time, so that reading
// their cold headers is one sequential sweep now and then, not a cache miss
// on every publish.
constexpr std::uint64_t kRetireBytes = 16 * 1024;

std::uint64_t Footprint(std::size_t size) {
  return (sizeof(EntryHeader) + size + 7) & ~std::uint64_t{7};
}

}  // namespace

HistoryRing::HistoryRing(std::size_t capacity_bytes)
    : capacity_(std::bit_ceil(std::max(capacity_bytes, kMinCapacity))),
      storage_(new std::uint8_t[capacity_]) {
  // Touch every page now, so the frame path never faults one in.
  std::memset(storage_.get(), 0, capacity_);
}

void HistoryRing::CopyIn(std::uint64_t pos, const void* data, std::size_t size) {
  const std::size_t offset = pos & (capacity_ - 1);
  const std::size_t first = std::min(size, capacity_ - offset);
  std::memcpy(storage_.get() + offset, data, first);
  std::memcpy(storage_.get(), static_cast<const std::uint8_t*>(data) + first, size - first);
}

void HistoryRing::CopyOut(std::uint64_t pos, void* data, std::size_t size) const {
  const std::size_t offset = pos & (capacity_ - 1);
  const std::size_t first = std::min(size, capacity_ - offset);
  std::memcpy(data, storage_.get() + offset, first);
  std::memcpy(static_cast<std::uint8_t*>(data) + first, storage_.get(), size - first);
}

void HistoryRing::Publish(EntryKind kind, std::uint32_t value, const std::uint8_t* bytes,
                          std::size_t size, std::uint64_t time_ns) {
  size = std::min(size, kMaxEntryBytes);
  const std::uint64_t head = head_.load(std::memory_order_relaxed);
  const std::uint64_t end = head + Footprint(size);
  // Retire the oldest entries until the new one fits; readers learn of it
  // before any of their bytes change.
  const std::uint64_t old_tail = tail_local_;
  if (end - tail_local_ > capacity_) {
    while (end - tail_local_ > capacity_ - kRetireBytes) {
      EntryHeader oldest{};
      CopyOut(tail_local_, &oldest, sizeof oldest);
      tail_local_ += Footprint(oldest.size);
    }
  }
  if (tail_local_ != old_tail) {
    tail_.store(tail_local_, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
  }
  const EntryHeader header{time_ns, value, static_cast<std::uint16_t>(size),
                           static_cast<std::uint8_t>(kind), 0};
  const std::size_t offset = head & (capacity_ - 1);
  if (offset + sizeof header + size <= capacity_) {
    std::uint8_t* at = storage_.get() + offset;
    std::memcpy(at, &header, sizeof header);
    if (size > 0) std::memcpy(at + sizeof header, bytes, size);
  } else {
    CopyIn(head, &header, sizeof header);
    if (size > 0) CopyIn(head + sizeof header, bytes, size);
  }
  head_.store(end, std::memory_order_release);
}

HistoryRing::ReadResult HistoryRing::Read(std::uint64_t pos, Entry* out,
                                          std::uint64_t* next) const {
  if (pos >= head_.load(std::memory_order_acquire)) return ReadResult::kNotYet;
  if (pos < tail_.load(std::memory_order_acquire)) return ReadResult::kLost;
  EntryHeader header{};
  CopyOut(pos, &header, sizeof header);
  const std::size_t size = std::min<std::size_t>(header.size, kMaxEntryBytes);
  CopyOut(pos + sizeof header, out->bytes.data(), size);
  // Overwritten while copying: the publisher moved the tail past pos first.
  std::atomic_thread_fence(std::memory_order_acquire);
  if (pos < tail_.load(std::memory_order_relaxed)) return ReadResult::kLost;
  out->kind = static_cast<EntryKind>(header.kind);
  out->value = header.value;
  out->time_ns = header.time_ns;
  out->size = static_cast<std::uint16_t>(size);
  *next = pos + Footprint(size);
  return ReadResult::kOk;
}

}  // namespace lumaro::monitor
