#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tests/unit/captured_output.h"
#include "tools/frame_path.h"
#include "tools/live_source.h"
#include "tools/replay.h"
#include "tools/trace_device_io.h"
#include "trace/report_line.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

// Without a daemon the tools read the node through the daemon's own loop:
// the trace they get rides through a read error and an unplug, and replays
// to the reports a replay of what the controller played gives.
TEST(LiveSourceTest, NodeTraceRidesThroughLinkFaultsAndReplaysTheSame) {
  sim::Scene scene;
  std::string error;
  ASSERT_TRUE(sim::LoadSceneFile(std::string(LUMARO_SCENES_DIR) + "/pinch.lscene", &scene, &error))
      << error;
  trace::Trace played;
  ASSERT_TRUE(trace::ParseTrace(sim::RenderTrace(scene), &played, &error)) << error;
  auto record = [](trace::RecordKind kind, std::uint32_t value = 0) {
    trace::Record r;
    r.kind = kind;
    r.value = value;
    return r;
  };
  auto frame = std::ranges::find(played.records, trace::RecordKind::kFrame, &trace::Record::kind);
  frame = played.records.insert(frame + 120, record(trace::RecordKind::kReadError, 5));
  played.records.insert(frame + 200,
                        {record(trace::RecordKind::kUnplug), record(trace::RecordKind::kPlug)});
  TraceDeviceIo node(&played, nullptr);
  std::string text;
  const std::atomic<bool> stop{false};
  const LiveResult result =
      ReadLive({.monitor_path = "/nonexistent/monitor"}, stop,
               {.line = [&](std::string_view line) { return text.append(line).append("\n"), true; },
                .keep_going = [&] { return !node.exhausted(); }},
               &node);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.source, LiveSource::kNode);
  EXPECT_NE(text.find("\nreaderr 5\n"), std::string::npos);
  EXPECT_NE(text.find("\nreaderr 19\n"), std::string::npos);
  trace::Trace recorded;
  ASSERT_TRUE(trace::ParseTrace(text, &recorded, &error)) << error;
  test_support::CapturedOutput expected, replayed;
  Replay(played, {.reports = expected.file()});
  Replay(recorded, {.reports = replayed.file()});
  EXPECT_EQ(replayed.Text(), expected.Text());
  EXPECT_NE(expected.Text(), "");
}

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
