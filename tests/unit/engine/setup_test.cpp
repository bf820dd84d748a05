#include "touch-daemon/engine/setup.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "driver-interface/byte_fields.h"

namespace lumaro {
namespace {

// A lens block: window [start, end), c0 .. c8 = c1 + (i - 1) / 4, gain 2.
ParamBlock LensBlock(float c1, std::int32_t start, std::int32_t end) {
  ParamBlock block{};
  PutAt<std::int32_t>(block, 2, start);
  PutAt<std::int32_t>(block, 6, end);
  for (int i = 0; i < 9; ++i) PutAt<float>(block, 10 + 4 * i, c1 + 0.25f * (i - 1));
  PutAt<float>(block, 46, 2.0f);
  return block;
}

// Every coefficient of a block reaches its camera's model: k0 = gain * c0 +
// c8, ki = gain * ci, camera B's negated, both windows doubled.
TEST(LensModelsFromBlocksTest, EveryCoefficientCountsAndBNegates) {
  const LensSetup setup =
      LensModelsFromBlocks(LensBlock(1.0f, 10, 600), LensBlock(1.5f, -3, 2000000000));
  EXPECT_TRUE(setup.Valid);
  EXPECT_FLOAT_EQ(setup.LensA.k[0], 2.0f * 0.75f + 2.75f);
  EXPECT_FLOAT_EQ(setup.LensB.k[0], -(2.0f * 1.25f + 3.25f));
  for (int i = 1; i < 8; ++i) {
    EXPECT_FLOAT_EQ(setup.LensA.k[i], 2.0f * (1.0f + 0.25f * (i - 1))) << i;
    EXPECT_FLOAT_EQ(setup.LensB.k[i], -2.0f * (1.5f + 0.25f * (i - 1))) << i;
  }
  EXPECT_EQ(setup.LensA.PixelStart, 20);
  EXPECT_EQ(setup.LensA.PixelEnd, 1200);
  EXPECT_EQ(setup.LensB.PixelStart, -6);
  EXPECT_EQ(setup.LensB.PixelEnd, INT32_MAX);  // saturated

  // c1 outside 0.8 .. 1.5: that camera takes the default model.
  const LensSetup fallback = LensModelsFromBlocks(LensBlock(0.7f, 10, 600), LensBlock(1.0f, 0, 9));
  EXPECT_FALSE(fallback.Valid);
  EXPECT_FLOAT_EQ(fallback.LensA.k[1], kDefaultLensK1);
  EXPECT_FLOAT_EQ(fallback.LensA.k[2], 0.0f);
  EXPECT_EQ(fallback.LensA.PixelEnd, kDefaultPixelEnd);
  EXPECT_FLOAT_EQ(fallback.LensB.k[1], -2.0f);
}

}  // namespace
}  // namespace lumaro
