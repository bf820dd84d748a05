#include "driver-interface/requests.h"

#include <array>

namespace lumaro {
namespace {

constexpr std::array kTouchRequests{
    RequestInfo{GET_TOUCH_PACKET, "GET_TOUCH_PACKET", Direction::kOut, kTouchPacketSize},
    RequestInfo{SET_CALIB_PARA_X, "SET_CALIB_PARA_X", Direction::kIn, kParamBlockSize},
    RequestInfo{SET_CALIB_PARA_Y, "SET_CALIB_PARA_Y", Direction::kIn, kParamBlockSize},
    RequestInfo{GET_CALIB_PARA_X, "GET_CALIB_PARA_X", Direction::kOut, kParamBlockSize},
    RequestInfo{GET_CALIB_PARA_Y, "GET_CALIB_PARA_Y", Direction::kOut, kParamBlockSize},
    RequestInfo{SET_START_CALIB, "SET_START_CALIB", Direction::kIn, kFlagByteSize},
    RequestInfo{DEVICE_RESET, "DEVICE_RESET", Direction::kIn, kFlagByteSize},
    RequestInfo{GET_DEVICE_INFO, "GET_DEVICE_INFO", Direction::kOut, kDeviceInfoSize},
    RequestInfo{GET_PRODUCT_ID, "GET_PRODUCT_ID", Direction::kOut, kProductIdSize},
    RequestInfo{SET_DEVICE_CONFIG, "SET_DEVICE_CONFIG", Direction::kIn, kParamBlockSize},
    RequestInfo{GET_DEVICE_CONFIG, "GET_DEVICE_CONFIG", Direction::kOut, kParamBlockSize},
    RequestInfo{GET_GEOMETRY, "GET_GEOMETRY", Direction::kOut, kParamBlockSize},
    RequestInfo{GET_LENS_B, "GET_LENS_B", Direction::kOut, kParamBlockSize},
    RequestInfo{GET_LENS_A, "GET_LENS_A", Direction::kOut, kParamBlockSize},
};

constexpr std::array kClassicRequests{
    RequestInfo{CLASSIC_CMD_WRITE, "CLASSIC_CMD_WRITE", Direction::kIn, kClassicCommandMaxSize},
    RequestInfo{CLASSIC_CMD_READ, "CLASSIC_CMD_READ", Direction::kOut, kClassicReplySize},
    RequestInfo{CLASSIC_CMD_LENGTH, "CLASSIC_CMD_LENGTH", Direction::kIn, kClassicLengthSize},
    RequestInfo{CLASSIC_CALIB_BEGIN, "CLASSIC_CALIB_BEGIN", Direction::kIn, kFlagByteSize},
    RequestInfo{CLASSIC_CALIB_END, "CLASSIC_CALIB_END", Direction::kIn, kFlagByteSize},
    RequestInfo{CLASSIC_TOUCH_READ, "CLASSIC_TOUCH_READ", Direction::kOut, kClassicTouchEventSize},
    RequestInfo{CLASSIC_CALIB_APPLY, "CLASSIC_CALIB_APPLY", Direction::kIn, kFlagByteSize},
    RequestInfo{CLASSIC_CALIB_SET, "CLASSIC_CALIB_SET", Direction::kIn, kClassicCalibBlockSize},
    RequestInfo{CLASSIC_CALIB_ACCEPT, "CLASSIC_CALIB_ACCEPT", Direction::kIn, kFlagByteSize},
};

template <std::size_t N>
const RequestInfo* Find(const std::array<RequestInfo, N>& table, unsigned long code) {
  for (const RequestInfo& info : table) {
    if (info.code == code) return &info;
  }
  return nullptr;
}

}  // namespace

std::span<const RequestInfo> TouchRequests() {
  return kTouchRequests;
}
const RequestInfo* FindTouchRequest(unsigned long code) {
  return Find(kTouchRequests, code);
}
const RequestInfo* FindClassicRequest(unsigned long code) {
  return Find(kClassicRequests, code);
}

}  // namespace lumaro
