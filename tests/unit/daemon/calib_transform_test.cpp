#include "touch-daemon/calib_transform.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace lumaro {
namespace {

TEST(IsCalibratedTest, OnlyTheValueOne) {
  EXPECT_TRUE(IsCalibrated(0x01));
  for (std::uint8_t not_calibrated : {0x00, 0x03, 0x81, 0x07, 0x86}) {
    EXPECT_FALSE(IsCalibrated(not_calibrated)) << int{not_calibrated};
  }
}

}  // namespace
}  // namespace lumaro
