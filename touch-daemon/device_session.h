// Identification and set-up of the controller behind an open descriptor, and
// the release of a session's resources.
#pragma once

#include <cstdint>
#include <utility>

#include "driver-interface/device_io.h"
#include "touch-daemon/device_context.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/point_arrays.h"

namespace lumaro {

class DeviceSession {
 public:
  DeviceSession(DeviceContext& ctx, DeviceIo& io, DiagnosticSink& log, PointAllocator allocator)
      : ctx_(ctx), io_(io), log_(log), allocator_(std::move(allocator)) {}

  // Identification, then set-up: prints "touch have init" unless a new
  // controller was identified, sets MaxPoints, allocates the point arrays
  // (keeping any the session holds) and, for a camera controller, runs
  // SetUpCameraPipeline and prints "KixUSBInitCore_0x0c20 init end".
  // Runs after every open and for every frame marked 0xA1.
  void DeviceInit();

  // Requests GET_PRODUCT_ID; for a camera controller then the calibration,
  // config, geometry and lens blocks; then GET_DEVICE_INFO; and prints the
  // identity line. Stops at the first failed request without printing.
  // True only when all requests succeeded and the product differs from the
  // one identified before in this process.
  bool IdentifyDevice();

  // Frees the point arrays and prints "KixUSBDeviceReleaseHardware--".
  void ReleaseDevice();

  const PointAllocator& allocator() const { return allocator_; }

 private:
  DeviceContext& ctx_;
  DeviceIo& io_;
  DiagnosticSink& log_;
  PointAllocator allocator_;
  std::uint32_t last_product_id_ = 0;
};

}  // namespace lumaro
