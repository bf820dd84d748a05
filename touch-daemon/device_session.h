// Identification and set-up of the controller behind an open descriptor, and
// the release of a session's resources.
#pragma once

#include <cstdint>

#include "driver-interface/device_io.h"
#include "driver-interface/identity.h"
#include "touch-daemon/diagnostics.h"
#include "touch-daemon/frame_pipeline.h"

namespace lumaro {

class DeviceSession {
 public:
  DeviceSession(DeviceIo& io, DiagnosticSink& log, FramePipeline& pipeline)
      : io_(io), log_(log), pipeline_(pipeline) {}

  // Identification, then set-up: prints "touch have init" unless a new
  // controller was identified, sets up the pipeline (printing a failed
  // allocation of its point arrays) and, for a camera controller, prints
  // "KixUSBInitCore_0x0c20 init end". Runs after every open and for every
  // frame marked kReinitFrameMarker.
  void DeviceInit(int fd);

  // Frees the point arrays and prints "KixUSBDeviceReleaseHardware--".
  void ReleaseDevice();

  // What the identifications so far answered, each request's latest answer.
  const ControllerIdentity& identity() const { return identity_; }

 private:
  // Identifies the controller and prints the identity line unless a request
  // failed. True only when every request succeeded and the product differs
  // from the one identified before in this process.
  bool IdentifyDevice(int fd);

  DeviceIo& io_;
  DiagnosticSink& log_;
  FramePipeline& pipeline_;
  ControllerIdentity identity_;
  std::uint32_t last_product_id_ = 0;
};

}  // namespace lumaro
