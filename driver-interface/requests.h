// Device nodes, request codes and block sizes of the controller driver.
//
// The driver's request codes are plain small integers passed straight to
// ioctl(), not encoded _IOR/_IOW numbers. Each request moves one fixed-size
// block: "out" blocks are filled by the driver, "in" blocks are read by it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumaro {

inline constexpr char kTouchNodePath[] = "/dev/lumaro";
inline constexpr char kClassicNodePath[] = "/dev/LumaroClassic";
// The nodes' minor device numbers.
inline constexpr int kTouchNodeMinor = 242;
inline constexpr int kClassicNodeMinor = 243;

inline constexpr std::size_t kParamBlockSize = 58;  // calibration, config, geometry, lens blocks
inline constexpr std::size_t kDeviceInfoSize = 28;
inline constexpr std::size_t kProductIdSize = 4;
inline constexpr std::size_t kTouchPacketSize = 6;
inline constexpr std::size_t kFlagByteSize = 1;  // the one-byte argument of mode requests
inline constexpr std::size_t kFrameBufferSize = 2048;
inline constexpr std::size_t kReportContactSize = 6;
inline constexpr std::size_t kClassicCommandMaxSize = 64;
inline constexpr std::size_t kClassicReplySize = 64;
inline constexpr std::size_t kClassicLengthSize = 8;
inline constexpr std::size_t kClassicTouchEventSize = 10;
inline constexpr std::size_t kClassicCalibBlockSize = 186;

// Requests on /dev/lumaro.
inline constexpr unsigned long GET_TOUCH_PACKET = 192;
inline constexpr unsigned long SET_CALIB_PARA_X = 193;
inline constexpr unsigned long SET_CALIB_PARA_Y = 194;
inline constexpr unsigned long GET_CALIB_PARA_X = 195;
inline constexpr unsigned long GET_CALIB_PARA_Y = 196;
inline constexpr unsigned long SET_START_CALIB = 197;
inline constexpr unsigned long DEVICE_RESET = 199;
inline constexpr unsigned long GET_DEVICE_INFO = 201;
inline constexpr unsigned long GET_PRODUCT_ID = 202;
inline constexpr unsigned long SET_DEVICE_CONFIG = 205;
inline constexpr unsigned long GET_DEVICE_CONFIG = 206;
inline constexpr unsigned long GET_GEOMETRY = 240;
inline constexpr unsigned long GET_LENS_B = 241;
inline constexpr unsigned long GET_LENS_A = 242;

// Requests on /dev/LumaroClassic (240 to 242 mean other things here).
inline constexpr unsigned long CLASSIC_CMD_WRITE = 64;
inline constexpr unsigned long CLASSIC_CMD_READ = 65;
inline constexpr unsigned long CLASSIC_CMD_LENGTH = 66;
inline constexpr unsigned long CLASSIC_CALIB_BEGIN = 240;
inline constexpr unsigned long CLASSIC_CALIB_END = 241;
inline constexpr unsigned long CLASSIC_TOUCH_READ = 242;
inline constexpr unsigned long CLASSIC_CALIB_APPLY = 243;
inline constexpr unsigned long CLASSIC_CALIB_SET = 244;
inline constexpr unsigned long CLASSIC_CALIB_ACCEPT = 246;

// The product number of the camera controller the touch engine is made for.
inline constexpr std::uint32_t kCameraProductId = 0x0c20;

enum class Direction : std::uint8_t {
  kOut,  // the driver fills the caller's block
  kIn,   // the driver reads the caller's block
};

struct RequestInfo {
  unsigned long code;
  const char* name;
  Direction direction;
  std::size_t size;  // block size in bytes; CLASSIC_CMD_WRITE gives its maximum
};

// Every request on /dev/lumaro.
std::span<const RequestInfo> TouchRequests();
// The request of that code on /dev/lumaro, or nullptr for an unknown code.
const RequestInfo* FindTouchRequest(unsigned long code);
// The request of that code on /dev/LumaroClassic, or nullptr.
const RequestInfo* FindClassicRequest(unsigned long code);

}  // namespace lumaro
