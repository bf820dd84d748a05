#include "touch-daemon/report_output.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "driver-interface/blocks.h"
#include "tests/unit/daemon/fake_device_io.h"

namespace lumaro {
namespace {

using Bytes = std::vector<std::uint8_t>;

class WriteReportTest : public ::testing::Test {
 protected:
  WriteReportTest() {
    ctx_->MaxPoints = 2;
    ctx_->pPoints = now_;
    ctx_->pLastPoint = last_;
    SetIdentityTransform(ctx_->Transform);
  }
  // Sets both slots and writes; returns what reached the device, if anything.
  std::vector<Bytes> Report(TouchPoint slot0, TouchPoint slot1) {
    now_[0] = slot0;
    now_[1] = slot1;
    const std::size_t before = io_.writes().size();
    WriteReport(*ctx_, io_);
    return {io_.writes().begin() + static_cast<std::ptrdiff_t>(before), io_.writes().end()};
  }

  std::unique_ptr<DeviceContext> ctx_ = std::make_unique<DeviceContext>();
  TouchPoint now_[2] = {};
  TouchPoint last_[2] = {};
  fakes::FakeDeviceIo io_;
};

TEST_F(WriteReportTest, ReportsWhileTouchingAndOnceAfterTheLift) {
  EXPECT_TRUE(Report({1, 2, 3, 0}, {4, 5, 6, 0}).empty());
  // Slot 1 down, slot 0 lifted: both records, slot 0 flagged up.
  EXPECT_THAT(
      Report({0x1234, 0x0567, 9, 0}, {0x0102, 0x0304, 9, 1}),
      ::testing::ElementsAre(Bytes{0, 0, 0x34, 0x12, 0x67, 0x05, 1, 1, 0x02, 0x01, 0x04, 0x03}));
  EXPECT_EQ(Report({0, 0, 0, 0}, {7, 8, 0, 0}).size(), 1u);  // the lift
  EXPECT_TRUE(Report({0, 0, 0, 0}, {7, 8, 0, 0}).empty());
}

TEST_F(WriteReportTest, CoordinatesAreLimitedToTheReportRange) {
  const std::vector<Bytes> out = Report({40000, 32767, 0, 1}, {-5, -40000, 0, 1});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 2), 32767);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 4), 32767);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 8), 0);  // negative values are sent as 0
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 10), 0);
}

TEST_F(WriteReportTest, CalibrationAppliesUnlessTheFrameWasRaw) {
  // X = 2u + 100, Y = v / 2.
  CalibTransform& t = ctx_->Transform;
  t.XPart = {};
  t.YPart = {};
  calib::SetCoefficient(t.XPart, calib::kTermU, 2.0f);
  calib::SetCoefficient(t.XPart, 9, 100.0f);
  calib::SetCoefficient(t.YPart, calib::kTermV, 0.5f);
  std::vector<Bytes> out = Report({1000, 3000, 0, 1}, {0, 0, 0, 0});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 2), 2100);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 4), 1500);
  ctx_->RawMode = 1;
  out = Report({1000, 3000, 0, 1}, {0, 0, 0, 0});
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 2), 1000);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 4), 3000);
}

TEST_F(WriteReportTest, NothingIsWrittenWithoutPointArrays) {
  ctx_->pLastPoint = nullptr;
  EXPECT_TRUE(Report({1, 1, 1, 1}, {0, 0, 0, 0}).empty());
}

TEST(ApplyTransformTest, WidthAndBounds) {
  CalibTransform t{};
  SetIdentityTransform(t);
  t.WidthScale = 1.5f;
  t.BoundLeft = 100;
  t.BoundRight = 200;
  t.BoundTop = 0;
  t.BoundBottom = 50;
  TransformedPoint p = ApplyTransform(t, 150, 49, 3);
  EXPECT_EQ(p.X, 150);
  EXPECT_EQ(p.width, 5);  // 4.5 + 0.5
  EXPECT_TRUE(p.inside);
  EXPECT_FALSE(ApplyTransform(t, 200, 10, 0).inside);  // the right bound is exclusive
  // A polynomial that overflows int32 saturates instead of being undefined.
  calib::SetCoefficient(t.XPart, 3, 1e30f);
  EXPECT_EQ(ApplyTransform(t, 30000, 0, 0).X, INT32_MAX);
}

}  // namespace
}  // namespace lumaro
