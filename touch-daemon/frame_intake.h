// Entry of every frame read from the device into the touch pipeline.
#pragma once

#include <array>
#include <cstdint>

#include "driver-interface/device_io.h"
#include "driver-interface/requests.h"
#include "touch-daemon/device_context.h"

namespace lumaro {

using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

// Takes one frame record as read from the device; reports go out through io
// on ctx.fd.
void FrameIntake(DeviceContext& ctx, DeviceIo& io, const FrameBuffer& frame);

}  // namespace lumaro
