#include "touch-daemon/engine/setup.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <vector>

#include "driver-interface/byte_fields.h"
#include "touch-daemon/engine/engine.h"

namespace lumaro {
namespace {

// DeviceWidth 1000, DeviceHeight 750, ratio 1/4, OriginY 20, OriginX 50,
// ExtentX 100, guards 7 and 0.5.
ParamBlock ValidGeometry() {
  ParamBlock g{};
  const std::int32_t fields[] = {1000, 750, 4, 1, 20, 50, 100, 7};
  for (std::size_t i = 0; i < 8; ++i) PutAt<std::int32_t>(g, 2 + 4 * i, fields[i]);
  Put<float, 34>(g, 0.5f);
  return g;
}

// c_i = 0.25 i except c1, gain 2.
ParamBlock LensBlock(float c1, std::int32_t start = 10, std::int32_t end = 600) {
  ParamBlock b{};
  Put<std::int32_t, 2>(b, start);
  Put<std::int32_t, 6>(b, end);
  for (std::size_t i = 0; i < 9; ++i) PutAt<float>(b, 10 + 4 * i, 0.25f * i);
  Put<float, 14>(b, c1);
  Put<float, 46>(b, 2.0f);
  return b;
}

TEST(ScaleFromGeometryTest, InvalidGeometryGivesDefaultsAndKeepsSpan) {
  const ScaleSetup setup = ScaleFromGeometry(ParamBlock{}, 1234.5f);
  const EngineScale& scale = setup.Scale;
  EXPECT_FALSE(setup.Valid);
  EXPECT_EQ(scale.XScale, 32768.0f);
  EXPECT_EQ(scale.XOffset, 0.0f);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(scale.YScale), 0x472AAAABu);
  EXPECT_EQ(scale.YOffset, 0.0f);
  EXPECT_EQ(scale.ZScale, 32768.0f);
  EXPECT_EQ(scale.Ratio, 0.25f);
  EXPECT_EQ(scale.Span, 1234.5f);

  ParamBlock no_guard30 = ValidGeometry();
  Put<std::int32_t, 30>(no_guard30, 0);
  EXPECT_FALSE(ScaleFromGeometry(no_guard30, 0.0f).Valid);
  for (float guard34 : {1.0f, -0.25f}) {
    ParamBlock g = ValidGeometry();
    Put<float, 34>(g, guard34);
    EXPECT_FALSE(ScaleFromGeometry(g, 0.0f).Valid) << guard34;
  }
}

TEST(ScaleFromGeometryTest, ValidGeometryInSinglePrecision) {
  const ScaleSetup setup = ScaleFromGeometry(ValidGeometry(), 1234.5f);
  const EngineScale& scale = setup.Scale;
  ASSERT_TRUE(setup.Valid);
  EXPECT_EQ(scale.Span, 1050.0f);  // 100 - 50 + 1000
  EXPECT_FLOAT_EQ(scale.XScale, 34406.4f);
  EXPECT_FLOAT_EQ(scale.XOffset, 1638.4f);
  EXPECT_FLOAT_EQ(scale.YScale, 45875.2f);
  EXPECT_FLOAT_EQ(scale.YOffset, 873.81335f);
  EXPECT_EQ(scale.ZScale, scale.XScale);
  EXPECT_FLOAT_EQ(scale.Ratio, 0.25f / 1050.0f);
}

TEST(LensModelsFromBlocksTest, ValidityBoundsOfC1) {
  for (float c1 : {0.79f, 1.51f, -1.51f}) {
    const LensSetup setup = LensModelsFromBlocks(LensBlock(c1), LensBlock(1.0f));
    const std::array<LensModel, 2>& models = setup.Models;
    EXPECT_FALSE(setup.Valid) << c1;
    EXPECT_EQ(models[1].k[0], 0.0f);
    EXPECT_EQ(models[1].k[1], 1.15f);
    EXPECT_EQ(models[1].k[7], 0.0f);
    EXPECT_EQ(models[1].PixelStart, 0);
    EXPECT_EQ(models[1].PixelEnd, 1280);
  }
  for (float c1 : {-1.0f, 0.8f, 1.5f})
    EXPECT_TRUE(LensModelsFromBlocks(LensBlock(c1), LensBlock(c1)).Valid);
  const LensSetup setup = LensModelsFromBlocks(LensBlock(1.0f), LensBlock(0.0f));
  EXPECT_FALSE(setup.Valid);
  EXPECT_EQ(setup.Models[0].k[1], -1.15f);  // camera B's default turns the other way
}

TEST(LensModelsFromBlocksTest, CameraBNegatedAndWindowsDoubled) {
  LensSetup setup = LensModelsFromBlocks(LensBlock(-1.0f, 10, 600), LensBlock(1.25f, 20, 630));
  ASSERT_TRUE(setup.Valid);
  const std::array<LensModel, 2>& models = setup.Models;
  const LensModel& a = models[1];
  const LensModel& b = models[0];
  EXPECT_EQ(a.k[0], 2.0f);  // gain * c0 + c8
  EXPECT_EQ(a.k[1], -2.0f);
  EXPECT_EQ(a.k[7], 3.5f);
  EXPECT_EQ(a.PixelStart, 20);
  EXPECT_EQ(a.PixelEnd, 1200);
  EXPECT_EQ(b.k[0], -2.0f);
  EXPECT_EQ(b.k[1], -2.5f);
  EXPECT_EQ(b.k[7], -3.5f);
  EXPECT_EQ(b.PixelStart, 40);
  EXPECT_EQ(b.PixelEnd, 1260);

  setup = LensModelsFromBlocks(LensBlock(1.0f, INT32_MIN, INT32_MAX), LensBlock(1.0f));
  EXPECT_EQ(models[1].PixelStart, INT32_MIN);  // saturated, no overflow
  EXPECT_EQ(models[1].PixelEnd, INT32_MAX);
}

TEST(EngineResetTest, ClearsTrackingStateAndReportsValidity) {
  auto engine = std::make_unique<Engine>();
  const std::vector<std::uint8_t> shadow = {0xFE, 0xFE, 0x74, 0x13};  // {630, 650}
  const std::vector<std::uint8_t> two = {0xFE, 0x8E, 0x13, 0xFE, 0x8E, 0x13};
  EXPECT_TRUE(engine->Reset(ValidGeometry(), LensBlock(1.0f), LensBlock(1.0f)));
  for (int scan = 0; scan < 3; ++scan) engine->ProcessScan(shadow, two);
  engine->ProcessScan(shadow, {});  // a hold

  EXPECT_TRUE(engine->Reset(ValidGeometry(), LensBlock(1.0f), LensBlock(1.0f)));
  const EngineState& s = engine->state();
  EXPECT_EQ(s.SplitA.State, SplitIdle);
  EXPECT_EQ(s.SplitB.State, SplitIdle);
  for (const PointHistory& h : s.History) {
    EXPECT_EQ(h.Newest, -1);
    for (const EnginePoint& p : h.Ring) EXPECT_EQ(p.State, PointNone);
  }
  for (const EnginePair& pair : {s.RawPair, s.ReferencePair}) {
    EXPECT_EQ(pair[0].State + pair[1].State, 0);
  }
  EXPECT_EQ(s.HoldCount, 0);
  EXPECT_EQ(s.OccludedPair, 0);

  EXPECT_FALSE(engine->Reset(ParamBlock{}, LensBlock(1.0f), LensBlock(1.0f)));
  EXPECT_EQ(engine->state().Scale.Span, 1050.0f);  // kept from the valid geometry
  EXPECT_FALSE(engine->Reset(ValidGeometry(), LensBlock(1.0f), LensBlock(2.0f)));
}

}  // namespace
}  // namespace lumaro
