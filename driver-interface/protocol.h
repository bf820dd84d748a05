// How the camera controller talks on /dev/lumaro: the layout and markers of
// a frame, the results a read can give, and the order in which the
// controller is identified. Every program that reads frames or identifies
// the controller takes these from here.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver-interface/requests.h"

namespace lumaro {

// Frame record offsets.
inline constexpr std::size_t kFrameTypeOffset = 2;
inline constexpr std::size_t kFrameLengthOffset = 3;
inline constexpr std::size_t kFrameHalfOffset = 4;
inline constexpr std::size_t kFrameDataOffset = 5;
inline constexpr std::uint8_t kLineFrameType = 1;

// Frame markers in byte 0 of a frame.
inline constexpr std::uint8_t kRawFrameMarker = 0xA0;     // reports skip the transform
inline constexpr std::uint8_t kReinitFrameMarker = 0xA1;  // identify and set up again

// The driver may report a timed-out read as this result instead of -1 with
// ETIMEDOUT or ETIME in errno.
inline constexpr ssize_t kTimedOutReadResult = -110;

enum class ReadOutcome : std::uint8_t {
  kFrame,       // n > 0 bytes of one frame
  kTimedOut,    // no frame yet; read again
  kSessionEnd,  // an empty read or any other failure: close and reopen
};

// Sorts the result n of a read, with the errno it left.
ReadOutcome ClassifyRead(ssize_t n, int error);

// The errno a failed read stands for: ETIMEDOUT for the driver's own
// time-out result, otherwise error.
int ReadErrorNumber(ssize_t n, int error);

// An errno by name and meaning, for messages: "EIO (Input/output error)".
std::string ErrorName(int error);

// The blocks a camera controller is asked for after its product number, in
// this order; GET_DEVICE_INFO follows them (for every product).
inline constexpr std::array<unsigned long, 6> kCameraBlockRequests = {
    GET_CALIB_PARA_X, GET_CALIB_PARA_Y, GET_DEVICE_CONFIG, GET_GEOMETRY, GET_LENS_B, GET_LENS_A,
};

// Every identification request in order: the product number, the camera
// blocks, the device information.
inline constexpr std::array<unsigned long, 8> kIdentificationRequests = {
    GET_PRODUCT_ID, GET_CALIB_PARA_X, GET_CALIB_PARA_Y, GET_DEVICE_CONFIG,
    GET_GEOMETRY,   GET_LENS_B,       GET_LENS_A,       GET_DEVICE_INFO,
};

}  // namespace lumaro
