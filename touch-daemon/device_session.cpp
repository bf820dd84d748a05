#include "touch-daemon/device_session.h"

#include "driver-interface/blocks.h"

namespace lumaro {

void DeviceSession::DeviceInit(int fd) {
  if (!IdentifyDevice(fd)) log_.Line("touch have init");
  switch (pipeline_.SetUp(identity_)) {
    case PointAllocation::kReady:
      break;
    case PointAllocation::kLastPointFailed:
      log_.Line("pLastPoint memory: allocate failed.");
      break;
    case PointAllocation::kPointsFailed:
      log_.Line("pPoints memory: allocate failed.");
      break;
  }
  if (identity_.IsCamera()) log_.Line("KixUSBInitCore_0x0c20 init end");
}

bool DeviceSession::IdentifyDevice(int fd) {
  identity_ = Identify(io_, fd, identity_);
  if (!identity_.Complete()) return false;

  log_.Line("ProductID=0x%x pos=%d, ProductSeries=%d, size=%s", identity_.ProductId(),
            geometry::Pos(identity_.Geometry()), device_info::ProductSeries(identity_.DeviceInfo()),
            device_info::SizeText(identity_.DeviceInfo()).c_str());

  if (identity_.ProductId() == last_product_id_) return false;
  last_product_id_ = identity_.ProductId();
  return true;
}

void DeviceSession::ReleaseDevice() {
  pipeline_.EndSession();
  log_.Line("KixUSBDeviceReleaseHardware--");
}

}  // namespace lumaro
