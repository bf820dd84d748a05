// The input layout of the daemon fuzz harness, shared with the tool that
// turns traces into seeds:
//   byte 0          product selector (even: the camera controller 0x0c20)
//   bytes 1..348    the six camera blocks of kParamBlockSize bytes, in the
//                   order of kCameraBlockRequests
//   then records:   one byte kind, then
//                     kind % 4 == 0: a frame: two length bytes (LE, 1..2048), the bytes
//                     kind % 4 == 1: a failed read: one errno byte
//                     kind % 4 == 2: a read of 0 bytes
//                     kind % 4 == 3: a failing request: one byte picks the request
#pragma once

#include <cstddef>

#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"

namespace lumaro::fuzz {

inline constexpr std::size_t kHeaderSize = 1 + kCameraBlockRequests.size() * kParamBlockSize;

}  // namespace lumaro::fuzz
