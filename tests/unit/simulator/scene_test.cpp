#include "simulator/scene/scene.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "simulator/scene/scene_file.h"
#include "touch-daemon/engine/shadows.h"
#include "touch-daemon/engine/triangulation.h"

namespace lumaro::sim {
namespace {

TEST(SceneRenderTest, BothCodingsDecodeToTheRenderedLine) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pos(0, 1250), width(1, 300);
  for (int round = 0; round < 300; ++round) {
    const bool half = round % 2 == 1;
    std::vector<std::uint8_t> line(1280, 0);
    for (int s = 0; s < 2; ++s) {
      int start = pos(rng);
      if (half) start &= ~1;
      if (start == 0) start = half ? 2 : 1;  // the first run is lit
      int end = std::min(1280, start + width(rng));
      if (half) end = (end + 1) & ~1;
      std::fill(line.begin() + start, line.begin() + end, 1);
    }
    const std::vector<std::uint8_t> codes = EncodeLine(line, half);
    ASSERT_LE(codes.size(), 59u);
    ASSERT_EQ(codes.empty() || (codes[0] & 1) == (half ? 0 : 1), true);
    const LineImage decoded = ExpandLine(DecodeLine(codes));
    ASSERT_TRUE(std::equal(line.begin(), line.end(), decoded.begin())) << round;
  }
}

TEST(SceneRenderTest, ShadowsTriangulateBackToTheFinger) {
  // The engine's model of each lens, as it derives it from the lens block.
  for (const LensSpec& lens :
       {LensSpec{}, LensSpec{{0.01f, 1.1f, 0.02f, 0, 0, 0, 0, 0, 0}, 1.0f, 4, 636}}) {
    LensModel a{2 * lens.pixel_start, 2 * lens.pixel_end, {}};
    LensModel b = a;
    a.k[0] = lens.gain * lens.c[0] + lens.c[8];
    b.k[0] = -a.k[0];
    for (int i = 1; i < 8; ++i) {
      a.k[i] = lens.c[i] * lens.gain;
      b.k[i] = -a.k[i];
    }
    for (const auto& [x, y] : {std::pair{0.5, 0.5}, {0.2, 0.3}, {0.8, 0.6}, {0.1, 0.7}}) {
      int sa = 0, ea = 0, sb = 0, eb = 0;
      ASSERT_TRUE(ShadowSamples(lens, false, x, y, 0.01, &sa, &ea));
      ASSERT_TRUE(ShadowSamples(lens, true, x, y, 0.01, &sb, &eb));
      const EnginePoint point =
          Triangulate(ShadowToAngles({sa, ea}, a), ShadowToAngles({sb, eb}, b));
      EXPECT_NEAR(point.X, x, 0.004);
      EXPECT_NEAR(point.Y, y, 0.004);
    }
  }
}

TEST(SceneFileTest, ParsesDirectivesAndNamesBadLines) {
  Scene scene;
  std::string error;
  ASSERT_TRUE(
      ParseScene("lumaro-scene 1\n# a comment\ntitle two words\nscans 50\ncoding half\n"
                 "orientation 1\nfinger 0.01\nkey 5 0.1 0.2\nkey 15 0.3 0.2\n"
                 "finger 0.02\ncircle 0 10 0.5 0.5 0.1 1 90\nevent 7 unplug 300\n",
                 &scene, &error))
      << error;
  EXPECT_EQ(scene.title, "two words");
  EXPECT_EQ(scene.coding, Coding::kHalf);
  ASSERT_EQ(scene.fingers.size(), 2u);
  EXPECT_EQ(scene.fingers[1].keys.size(), 11u);
  double x = 0, y = 0;
  ASSERT_TRUE(FingerAt(scene.fingers[0], 10, &x, &y));
  EXPECT_DOUBLE_EQ(x, 0.2);
  EXPECT_FALSE(FingerAt(scene.fingers[0], 16, &x, &y));
  ASSERT_TRUE(FingerAt(scene.fingers[1], 0, &x, &y));
  EXPECT_NEAR(y, 0.6, 1e-12);  // phase 90 degrees: the top of the circle

  EXPECT_FALSE(ParseScene("lumaro-scene 1\nscans 5\nkey 1 0 0\n", &scene, &error));
  EXPECT_EQ(error, "line 3: key needs a finger first");
  EXPECT_FALSE(
      ParseScene("lumaro-scene 1\nscans 5\nfinger 0.01\nkey 3 0 0\nkey 2 0 0\n", &scene, &error));
  EXPECT_EQ(error, "line 5: keyframes must come in scan order");
  ASSERT_TRUE(ParseScene("lumaro-scene 1\nscans 5\nseed 4294967295\n", &scene, &error)) << error;
  EXPECT_EQ(scene.seed, 0xFFFFFFFFu);
  EXPECT_FALSE(ParseScene("lumaro-scene 1\nscans 5\nseed 4294967296\n", &scene, &error));
  EXPECT_FALSE(ParseScene("scans 5\n", &scene, &error));
  EXPECT_EQ(error, "line 1: not a scene: the first line must be 'lumaro-scene 1'");
}

}  // namespace
}  // namespace lumaro::sim
