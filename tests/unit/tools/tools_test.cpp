#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tests/unit/captured_output.h"
#include "tools/allocation_count.h"
#include "tools/frame_path.h"
#include "tools/replay.h"
#include "tools/trace_device_io.h"
#include "trace/report_line.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

// The trace the simulator renders for a bundled scene, with `reinits`
// re-identifications.
trace::Trace SceneTrace(const std::string& name, const std::vector<int>& reinits = {}) {
  sim::Scene scene;
  std::string error;
  EXPECT_TRUE(
      sim::LoadSceneFile(std::string(LUMARO_SCENES_DIR) + "/" + name + ".lscene", &scene, &error))
      << error;
  for (int scan : reinits) {
    scene.events.push_back({.scan = scan, .kind = sim::SceneEvent::Kind::kReinit});
  }
  trace::Trace trace;
  EXPECT_TRUE(trace::ParseTrace(sim::RenderTrace(scene), &trace, &error)) << error;
  return trace;
}

// FramePath is the daemon's frame path without the loop: over frames alone,
// re-identifications mid-touch included, it yields the reports a replay of
// the daemon writes.
TEST(FramePathTest, YieldsTheDaemonsReportsAcrossReidentification) {
  const trace::Trace trace = SceneTrace("circle", {60, 61, 200});
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

// The frame path allocates nothing, with or without its stages recorded:
// every allocation is counted while whole scenes go through the daemon's
// intake, engine, filters and report writer.
TEST(FramePathTest, AllocatesNothingPerFrame) {
  for (const char* name : {"two-crossing", "circle", "tap", "calibrated"}) {
    const trace::Trace trace = SceneTrace(name);  // the path reads it
    FramePath path(trace);
    ASSERT_GT(path.frame_count(), 100u);
    StartCountingAllocations();
    for (std::size_t i = 0; i < path.frame_count(); ++i)
      path.Feed(i, i % 2 ? StageDetail::kWithStages : StageDetail::kWithoutStages);
    StopCountingAllocations();
    EXPECT_EQ(AllocationsCounted(), 0) << name;
  }
}

// The replay device is the touch node alone, and only while its playback
// lasts: a reopen after the end fails as an unplugged node's would.
TEST(TraceDeviceIoTest, OnlyTheTouchNodeOpensAndNotPastTheEnd) {
  trace::Trace trace;
  std::string error;
  ASSERT_TRUE(trace::ParseTrace("lumaro-trace 1\nframe 00\n", &trace, &error)) << error;
  TraceDeviceIo io(&trace, nullptr);
  EXPECT_EQ(io.Open("/dev/LumaroClassic", O_RDWR), -1);
  EXPECT_EQ(errno, ENOENT);
  const int fd = io.Open(kTouchNodePath, O_RDWR);
  ASSERT_GE(fd, 0);
  std::uint8_t buffer[kFrameBufferSize];
  EXPECT_EQ(io.Read(fd, buffer, sizeof buffer), 1);
  EXPECT_EQ(io.Read(fd, buffer, sizeof buffer), -1);  // the end
  EXPECT_TRUE(io.exhausted());
  io.Close(fd);
  EXPECT_EQ(io.Open(kTouchNodePath, O_RDWR), -1);
}

}  // namespace
}  // namespace lumaro::tools
