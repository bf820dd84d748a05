// The frame path allocates nothing, with or without its stages recorded:
// every allocation is counted while whole scenes go through the daemon's
// intake, engine, filters and report writer.
#include <gtest/gtest.h>

#include <string>

#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tools/allocation_count.h"
#include "tools/frame_path.h"
#include "trace/trace.h"

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
    StartCountingAllocations();
    for (std::size_t i = 0; i < path.frame_count(); ++i)
      path.Feed(i, i % 2 ? StageDetail::kWithStages : StageDetail::kWithoutStages);
    StopCountingAllocations();
    EXPECT_EQ(AllocationsCounted(), 0) << name;
  }
}

}  // namespace
}  // namespace lumaro::tools
