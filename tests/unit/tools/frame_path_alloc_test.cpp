// The frame path allocates nothing, with or without its stages recorded:
// every allocation is counted while whole scenes go through the daemon's
// intake, engine, filters and report writer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tools/frame_path.h"
#include "trace/trace.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

// At -Os GCC 12 inlines these replacements into their callers and then takes
// the free() of memory that came from this operator new for a mismatched
// pair (-Wmismatched-new-delete); malloc and free do pair up here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  ++g_allocations;
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
namespace {

TEST(FramePathTest, AllocatesNothingPerFrame) {
  for (const char* name : {"two-crossing", "circle", "tap", "calibrated"}) {
    sim::Scene scene;
    std::string error;
    ASSERT_TRUE(
        sim::LoadSceneFile(std::string(LUMARO_SCENES_DIR) + "/" + name + ".lscene", &scene, &error))
        << error;
    trace::Trace trace;
    ASSERT_TRUE(trace::ParseTrace(sim::RenderTrace(scene), &trace, &error)) << error;
    FramePath path(trace);
    ASSERT_GT(path.frame_count(), 100u);
    const long before = g_allocations;
    for (std::size_t i = 0; i < path.frame_count(); ++i)
      path.Feed(i, i % 2 ? StageDetail::kWithStages : StageDetail::kWithoutStages);
    EXPECT_EQ(g_allocations - before, 0) << name;
  }
}

}  // namespace
}  // namespace lumaro::tools
