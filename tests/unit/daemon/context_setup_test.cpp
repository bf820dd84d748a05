#include "touch-daemon/context_setup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "driver-interface/byte_fields.h"
#include "touch-daemon/calib_transform.h"

namespace lumaro {
namespace {

TEST(DecodeCalibStateTest, ParityCodedValues) {
  EXPECT_TRUE(DecodeCalibState(0x01).calibrated);
  for (std::uint8_t not_calibrated : {0x00, 0x03, 0x81, 0x07, 0x86}) {
    EXPECT_FALSE(DecodeCalibState(not_calibrated).calibrated) << int{not_calibrated};
  }
  EXPECT_EQ(DecodeCalibState(0x86).count, 4);  // 2n - 2 = 6, parity bit added
  EXPECT_EQ(DecodeCalibState(0x02).count, 2);
  EXPECT_EQ(DecodeCalibState(0xFE).count, 64);
  EXPECT_EQ(DecodeCalibState(0x06).count, 0);  // even parity
  EXPECT_EQ(DecodeCalibState(0x07).count, 0);  // odd parity, bit 0 set
}

class CalibSetupTest : public ::testing::Test {
 protected:
  // Coefficients X: 0.5 + i, Y: -1 - i (so X's u term is 8.5, Y's v term -8);
  // active area 100, 200, 900, 1800.
  void StoreCalibration(std::uint8_t state = 0x01) {
    for (int i = 0; i < calib::kCoefficientCount; ++i) {
      calib::SetCoefficient(ctx_->CalibX, i, 0.5f + i);
      calib::SetCoefficient(ctx_->CalibY, i, -1.0f - i);
    }
    ctx_->CalibX[57] = 0x5A;
    const std::uint16_t area[] = {100, 200, 900, 1800};
    for (std::size_t i = 0; i < 4; ++i)
      PutAt<std::uint16_t>(ctx_->DeviceConfig, 2 + 2 * i, area[i]);
    ctx_->DeviceConfig[40] = 0x77;
    device_config::SetCalibState(ctx_->DeviceConfig, state);
  }
  void SetDeviceSize(std::int32_t width, std::int32_t height) {
    Put<std::int32_t, 2>(ctx_->Geometry, width);
    Put<std::int32_t, 6>(ctx_->Geometry, height);
  }

  std::unique_ptr<DeviceContext> ctx_ = std::make_unique<DeviceContext>();
  const CalibTransform& t_ = ctx_->Transform;
};

TEST_F(CalibSetupTest, CalibratedWithZeroDeviceSizeKeepsIdentityBoundsOfThatAxis) {
  StoreCalibration();
  SetDeviceSize(0, 2000);
  CalibSetup(*ctx_);
  EXPECT_EQ(t_.BoundLeft, 0);
  EXPECT_EQ(t_.BoundRight, 0x8000);
  EXPECT_EQ(t_.BoundTop, 3276);
  EXPECT_EQ(t_.XPart, ctx_->CalibX);

  SetDeviceSize(1000, 0);
  CalibSetup(*ctx_);
  EXPECT_EQ(t_.BoundLeft, 3276);
  EXPECT_EQ(t_.BoundTop, 0);
  EXPECT_EQ(t_.BoundBottom, 0x8000);
}

}  // namespace
}  // namespace lumaro
