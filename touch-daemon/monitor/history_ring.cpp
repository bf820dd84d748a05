#include "touch-daemon/monitor/history_ring.h"

#include <algorithm>
#include <bit>
#include <cstddef>
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

// Copies the few dozen bytes of a frame or report in words. A bounded
// memcpy may be inlined as a string instruction whose start-up costs more
// than such a copy.
void CopyShort(std::uint8_t* to, const std::uint8_t* from, std::size_t size) {
  if (size < 8) {
    for (std::size_t i = 0; i < size; ++i) to[i] = from[i];
    return;
  }
  std::uint64_t word;
  for (std::size_t i = 0; i + 8 < size; i += 8) {
    std::memcpy(&word, from + i, 8);
    std::memcpy(to + i, &word, 8);
  }
  // The last word, overlapping the one before when size is not a multiple.
  std::memcpy(&word, from + size - 8, 8);
  std::memcpy(to + size - 8, &word, 8);
}

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
      // Only the size field: entries start at multiples of 8, so it never
      // straddles the end of the storage.
      std::uint16_t size_field;
      std::memcpy(&size_field,
                  storage_.get() + ((tail_local_ + offsetof(EntryHeader, size)) & (capacity_ - 1)),
                  sizeof size_field);
      tail_local_ += Footprint(size_field);
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
    // The common case, field by field: a header assembled on the stack and
    // copied whole would wait for its own narrow stores to land.
    std::uint8_t* at = storage_.get() + offset;
    std::memcpy(at + offsetof(EntryHeader, time_ns), &header.time_ns, sizeof header.time_ns);
    std::memcpy(at + offsetof(EntryHeader, value), &header.value, sizeof header.value);
    std::memcpy(at + offsetof(EntryHeader, size), &header.size, sizeof header.size);
    at[offsetof(EntryHeader, kind)] = header.kind;
    at[offsetof(EntryHeader, reserved)] = 0;
    CopyShort(at + sizeof header, bytes, size);
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
