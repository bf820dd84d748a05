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
