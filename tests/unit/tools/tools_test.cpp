#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulator/scene/scene.h"
#include "simulator/scene/scene_file.h"
#include "tests/unit/captured_output.h"
#include "tools/frame_path.h"
#include "tools/recorder.h"
#include "tools/replay.h"
#include "tools/trace_device_io.h"
#include "trace/report_line.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

TEST(RecorderTest, RecordsIdentityFramesAndReidentification) {
  trace::Trace played;
  std::string error;
  const std::string zeros58(116, '0');
  ASSERT_TRUE(
      trace::ParseTrace("lumaro-trace 1\n"
                        "product 0x0c20\n"
                        "fail 241\n"
                        "frame 0000010100\n"
                        "readerr 110\n"
                        "block 240 07" +
                            zeros58.substr(2) +
                            "\n"
                            "frame a1000101\n"
                            "frame 00\n",
                        &played, &error))
      << error;
  TraceDeviceIo io(&played, stdout);
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  const std::atomic<bool> stop{false};
  const RecordResult result = RecordTrace(io, out, 3, stop);
  std::fclose(out);
  const std::string recorded(text, size);
  std::free(text);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.frames, 3);
  auto block = [&](int code) { return "block " + std::to_string(code) + " " + zeros58 + "\n"; };
  EXPECT_EQ(recorded,
            "lumaro-trace 1\n"
            "product 0x0c20\n" +
                block(195) + block(196) + block(206) + block(240) + "fail 241\n" + block(242) +
                "block 201 " + std::string(56, '0') +
                "\n"
                "frame 0000010100\n"
                "readerr 110\n"
                "block 240 07" +
                zeros58.substr(2) +
                "\n"
                "frame a1000101\n"
                "frame 00\n");
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
