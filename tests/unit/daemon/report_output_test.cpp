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
    ctx_->Transform = IdentityTransform();
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

TEST_F(WriteReportTest, CoordinatesAreLimitedToTheReportRange) {
  const std::vector<Bytes> out = Report({40000, 32767, 0, 1}, {-5, -40000, 0, 1});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 2), 32767);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 4), 32767);
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 8), 0);  // negative values are sent as 0
  EXPECT_EQ(GetAt<std::uint16_t>(out[0], 10), 0);
}

TEST(ApplyTransformTest, OverflowSaturates) {
  CalibTransform t = IdentityTransform();
  EXPECT_EQ(ApplyTransform(t, 150, 49).X, 150);
  // A polynomial that overflows int32 saturates instead of being undefined.
  calib::SetCoefficient(t.XPart, 3, 1e30f);
  EXPECT_EQ(ApplyTransform(t, 30000, 0).X, INT32_MAX);
}

}  // namespace
}  // namespace lumaro
