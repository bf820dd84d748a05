#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
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
