#include "driver-interface/identity.h"

#include <algorithm>
#include <cstddef>
#include <span>

namespace lumaro {
namespace {

std::size_t IndexIn(std::span<const unsigned long> codes, unsigned long code) {
  return static_cast<std::size_t>(std::find(codes.begin(), codes.end(), code) - codes.begin());
}

}  // namespace

const ParamBlock& ControllerIdentity::Block(unsigned long code) const {
  return blocks_[IndexIn(kCameraBlockRequests, code)];
}

std::span<const std::uint8_t> ControllerIdentity::BlockOf(unsigned long code) const {
  if (code == GET_DEVICE_INFO) return device_info_;
  const std::size_t i = IndexIn(kCameraBlockRequests, code);
  if (i == kCameraBlockRequests.size()) return {};
  return blocks_[i];
}

bool ControllerIdentity::Failed(unsigned long code) const {
  const std::size_t i = IndexIn(kIdentificationRequests, code);
  return i < kIdentificationRequests.size() && (failed_ >> i & 1u) != 0;
}

// Fills a copy of the previous identity request by request.
class IdentityBuilder {
 public:
  IdentityBuilder(DeviceIo& io, int fd, const ControllerIdentity& previous)
      : io_(io), fd_(fd), value_(previous) {
    value_.failed_ = 0;
  }

  // One request into its block; false when it failed.
  bool Ask(unsigned long code) {
    int result = 0;
    if (code == GET_PRODUCT_ID) {
      ProductIdBlock product{};
      result = io_.Request(fd_, code, product);
      if (result >= 0) value_.product_id_ = product_id::Value(product);
    } else if (code == GET_DEVICE_INFO) {
      result = io_.Request(fd_, code, value_.device_info_);
    } else {
      result = io_.Request(fd_, code, value_.blocks_[IndexIn(kCameraBlockRequests, code)]);
    }
    if (result >= 0) return true;
    value_.failed_ |= 1u << IndexIn(kIdentificationRequests, code);
    return false;
  }

  const ControllerIdentity& value() const { return value_; }

 private:
  DeviceIo& io_;
  int fd_;
  ControllerIdentity value_;
};

ControllerIdentity Identify(DeviceIo& io, int fd, const ControllerIdentity& previous,
                            IdentifyMode mode) {
  IdentityBuilder builder(io, fd, previous);
  const bool every = mode == IdentifyMode::kEveryRequest;
  for (unsigned long code : kIdentificationRequests) {
    const bool camera_block = code != GET_PRODUCT_ID && code != GET_DEVICE_INFO;
    if (camera_block && !every && !builder.value().IsCamera()) continue;
    if (!builder.Ask(code) && !every) break;
  }
  return builder.value();
}

}  // namespace lumaro
