#include "tools/allocation_count.h"

#include <cstdlib>
#include <new>

namespace {
thread_local bool g_counting = false;
thread_local long g_allocations = 0;
}  // namespace

// At -Os GCC 12 inlines these replacements into their callers and then takes
// the free() of memory that came from this operator new for a mismatched
// pair (-Wmismatched-new-delete); malloc and free do pair up here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (g_counting) ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace lumaro::tools {

void StartCountingAllocations() {
  g_allocations = 0;
  g_counting = true;
}

void StopCountingAllocations() {
  g_counting = false;
}

long AllocationsCounted() {
  return g_allocations;
}

}  // namespace lumaro::tools
