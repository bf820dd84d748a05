// The two point arrays of a device session: the contacts of the report being
// built and of the last report written. Allocated when the controller is set
// up, kept across re-identification, freed when the session ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "touch-daemon/engine/records.h"

namespace lumaro {

// Contacts per report.
inline constexpr std::int32_t kReportContacts = 2;

// Where the arrays come from; tests substitute one that fails.
struct PointAllocator {
  // count zero-filled records, or nullptr when no memory is left.
  std::function<TouchPoint*(std::size_t count)> allocate;
  // Returns an array of allocate; never called with nullptr.
  std::function<void(TouchPoint* points)> release;
};

// Plain heap arrays.
PointAllocator DefaultPointAllocator();

enum class PointAllocation : std::uint8_t {
  kReady,
  kLastPointFailed,  // nothing held afterwards
  kPointsFailed,     // nothing held afterwards
};

class PointArrays {
 public:
  explicit PointArrays(PointAllocator allocator) : allocator_(std::move(allocator)) {}
  PointArrays(const PointArrays&) = delete;
  PointArrays& operator=(const PointArrays&) = delete;

  // Gives both arrays kReportContacts zero-filled records, the last
  // report's first. Arrays already held are kept with their contents. A
  // failed allocation frees both.
  PointAllocation Allocate();
  // Frees the last report's array, then the other, each only when held.
  void Free();

  bool Ready() const { return now_ != nullptr && last_ != nullptr; }
  // Both only while Ready.
  std::span<TouchPoint, kReportContacts> Now() {
    return std::span<TouchPoint, kReportContacts>(now_.get(), kReportContacts);
  }
  std::span<TouchPoint, kReportContacts> Last() {
    return std::span<TouchPoint, kReportContacts>(last_.get(), kReportContacts);
  }

 private:
  struct Release {
    const PointAllocator* allocator;
    void operator()(TouchPoint* points) const { allocator->release(points); }
  };
  using Owned = std::unique_ptr<TouchPoint[], Release>;

  PointAllocator allocator_;
  // Declared so that destruction frees the last report's array first.
  Owned now_{nullptr, Release{&allocator_}};
  Owned last_{nullptr, Release{&allocator_}};
};

}  // namespace lumaro
