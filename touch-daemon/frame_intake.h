// Entry of every frame read from the device into the touch pipeline: pairs
// the two half-frames of a scan, runs the engine, drives both slots through
// the filters and writes the resulting reports.
#pragma once

#include <array>
#include <cstdint>

#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"
#include "touch-daemon/device_context.h"

namespace lumaro {

using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

// Bytes 0 to 63 of the latest first half-frame, kept until its partner comes.
// It outlives sessions and re-identification, like the pending flag.
inline constexpr std::size_t kFirstHalfFrameSize = 64;
using FirstHalfFrame = std::array<std::uint8_t, kFirstHalfFrameSize>;

// Frame record offsets.
inline constexpr std::size_t kFrameTypeOffset = 2;
inline constexpr std::size_t kFrameLengthOffset = 3;
inline constexpr std::size_t kFrameHalfOffset = 4;
inline constexpr std::size_t kFrameDataOffset = 5;
inline constexpr std::uint8_t kLineFrameType = 1;

// Takes one frame record as read from the device; reports go out through io
// on ctx.fd.
void FrameIntake(DeviceContext& ctx, FirstHalfFrame& first_half, DeviceIo& io,
                 const FrameBuffer& frame);

}  // namespace lumaro
