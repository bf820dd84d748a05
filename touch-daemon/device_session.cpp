#include "touch-daemon/device_session.h"

#include <array>
#include <utility>

#include "driver-interface/blocks.h"
#include "driver-interface/requests.h"
#include "touch-daemon/context_setup.h"

namespace lumaro {

void DeviceSession::DeviceInit() {
  if (!IdentifyDevice()) log_.Line("touch have init");
  ctx_.MaxPoints = kReportContacts;
  AllocatePoints(ctx_, allocator_, log_);
  if (ctx_.ProductID == kCameraProductId) {
    SetUpCameraPipeline(ctx_);
    log_.Line("KixUSBInitCore_0x0c20 init end");
  }
}

bool DeviceSession::IdentifyDevice() {
  ProductIdBlock product{};
  if (io_.Request(ctx_.fd, GET_PRODUCT_ID, product) < 0) return false;
  ctx_.ProductID = product_id::Value(product);

  if (ctx_.ProductID == kCameraProductId) {
    const std::array<std::pair<unsigned long, ParamBlock*>, 6> blocks{{
        {GET_CALIB_PARA_X, &ctx_.CalibX},
        {GET_CALIB_PARA_Y, &ctx_.CalibY},
        {GET_DEVICE_CONFIG, &ctx_.DeviceConfig},
        {GET_GEOMETRY, &ctx_.Geometry},
        {GET_LENS_B, &ctx_.LensB},
        {GET_LENS_A, &ctx_.LensA},
    }};
    for (const auto& [code, block] : blocks) {
      if (io_.Request(ctx_.fd, code, *block) < 0) return false;
    }
  }
  if (io_.Request(ctx_.fd, GET_DEVICE_INFO, ctx_.DeviceInfo) < 0) return false;

  log_.Line("ProductID=0x%x pos=%d, ProductSeries=%d, size=%s", ctx_.ProductID,
            geometry::Pos(ctx_.Geometry), device_info::ProductSeries(ctx_.DeviceInfo),
            device_info::SizeText(ctx_.DeviceInfo).c_str());

  if (ctx_.ProductID == last_product_id_) return false;
  last_product_id_ = ctx_.ProductID;
  return true;
}

void DeviceSession::ReleaseDevice() {
  FreePoints(ctx_, allocator_);
  log_.Line("KixUSBDeviceReleaseHardware--");
}

}  // namespace lumaro
