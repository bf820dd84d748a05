#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "tools/recorder.h"
#include "tools/scene.h"
#include "tools/trace_device_io.h"
#include "touch-daemon/engine/shadow_detection.h"
#include "touch-daemon/engine/triangulation.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

TEST(SceneTest, EncodedLinesDecodeToTheSameShadows) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pos(1, 1200), width(1, 70);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::uint8_t> line(1280, 0);
    for (int s = 0; s < 3; ++s) {
      const int start = pos(rng);
      std::fill(line.begin() + start, line.begin() + std::min(1280, start + width(rng)), 1);
    }
    const std::vector<std::uint8_t> codes = EncodeLine(line, 200);
    LineImage decoded{};
    DecodeLineImage(codes.data(), static_cast<std::int32_t>(codes.size()), decoded);
    ASSERT_TRUE(std::equal(line.begin(), line.end(), decoded.begin())) << round;
  }
}

TEST(SceneTest, ShadowsLieWhereTheDefaultLensesSeeTheFinger) {
  LensModel a{0, 1280, {0, 1.15f, 0, 0, 0, 0, 0, 0}};
  LensModel b{0, 1280, {0, -1.15f, 0, 0, 0, 0, 0, 0}};
  for (const TrackPoint p : {TrackPoint{0.5, 0.5}, TrackPoint{0.2, 0.3}, TrackPoint{0.8, 0.6}}) {
    int sa = 0, ea = 0, sb = 0, eb = 0;
    ASSERT_TRUE(ShadowPixels(p, 0.01, false, &sa, &ea));
    ASSERT_TRUE(ShadowPixels(p, 0.01, true, &sb, &eb));
    ShadowAngles anglesA{}, anglesB{};
    ShadowToAngles({sa, ea}, anglesA, a);
    ShadowToAngles({sb, eb}, anglesB, b);
    EnginePoint point{};
    Triangulate(anglesA, anglesB, point);
    EXPECT_NEAR(point.X, p.x, 0.005);
    EXPECT_NEAR(point.Y, p.y, 0.005);
  }
}

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

}  // namespace
}  // namespace lumaro::tools
