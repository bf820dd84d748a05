#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tests/unit/captured_output.h"
#include "tools/frame_path.h"
#include "tools/replay.h"
#include "tools/trace_device_io.h"
#include "trace/report_line.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

// FramePath is the daemon's frame path without the loop: over frames alone,
// re-identifications mid-touch included, it yields the reports a replay of
// the daemon writes.
TEST(FramePathTest, YieldsTheDaemonsReportsAcrossReidentification) {
  sim::Scene scene;
  std::string error;
  ASSERT_TRUE(sim::LoadSceneFile(std::string(LUMARO_SCENES_DIR) + "/circle.lscene", &scene, &error))
      << error;
  for (int scan : {60, 61, 200}) {
    scene.events.push_back({.scan = scan, .kind = sim::SceneEvent::Kind::kReinit});
  }
  trace::Trace trace;
  ASSERT_TRUE(trace::ParseTrace(sim::RenderTrace(scene), &trace, &error)) << error;

  test_support::CapturedOutput replayed;
  Replay(trace, {.reports = replayed.file()});

  FramePath path(trace);
  std::string fed;
  for (std::size_t i = 0; i < path.frame_count(); ++i) {
    for (const ReportBytes& report : path.Feed(i).Reports()) {
      fed += trace::FormatReportLine(report) + "\n";
    }
  }
  EXPECT_GT(fed.size(), 1000u);
  EXPECT_EQ(fed, replayed.Text());
}

}  // namespace
}  // namespace lumaro::tools
