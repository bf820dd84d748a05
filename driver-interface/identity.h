// The controller's identity: what its identification requests answered.
// A value: Identify makes a new one, nothing changes one afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "driver-interface/blocks.h"
#include "driver-interface/device_io.h"
#include "driver-interface/protocol.h"

namespace lumaro {

class ControllerIdentity {
 public:
  // Nothing identified yet: product 0, every block zero-filled.
  ControllerIdentity() = default;

  std::uint32_t ProductId() const { return product_id_; }
  bool IsCamera() const { return product_id_ == kCameraProductId; }
  const DeviceInfoBlock& DeviceInfo() const { return device_info_; }
  const ParamBlock& CalibX() const { return Block(GET_CALIB_PARA_X); }
  const ParamBlock& CalibY() const { return Block(GET_CALIB_PARA_Y); }
  const ParamBlock& DeviceConfig() const { return Block(GET_DEVICE_CONFIG); }
  const ParamBlock& Geometry() const { return Block(GET_GEOMETRY); }
  const ParamBlock& LensB() const { return Block(GET_LENS_B); }
  const ParamBlock& LensA() const { return Block(GET_LENS_A); }

  // The block a camera block request or GET_DEVICE_INFO answered into; empty
  // for any other code.
  std::span<const std::uint8_t> BlockOf(unsigned long code) const;

  // Whether the request of that code failed in the identification that made
  // this value.
  bool Failed(unsigned long code) const;
  // Every request asked was answered.
  bool Complete() const { return failed_ == 0; }

 private:
  friend class IdentityBuilder;
  const ParamBlock& Block(unsigned long code) const;

  std::uint32_t product_id_ = 0;
  std::array<ParamBlock, kCameraBlockRequests.size()> blocks_{};  // kCameraBlockRequests order
  DeviceInfoBlock device_info_{};
  std::uint32_t failed_ = 0;  // bit i: kIdentificationRequests[i] failed
};

enum class IdentifyMode : std::uint8_t {
  // The daemon's: the camera blocks only for a camera controller, and no
  // request after the first that fails.
  kStopAtFailure,
  // Every request in order, whatever the product and whatever fails.
  kEveryRequest,
};

// Asks the identification requests in kIdentificationRequests order on fd.
// What a request did not answer (it failed or was not asked) keeps its value
// from `previous`.
ControllerIdentity Identify(DeviceIo& io, int fd, const ControllerIdentity& previous,
                            IdentifyMode mode = IdentifyMode::kStopAtFailure);

}  // namespace lumaro
