#include "touch-daemon/frame_intake.h"

namespace lumaro {

// Frames are not processed yet.
void FrameIntake(DeviceContext& /*ctx*/, DeviceIo& /*io*/, const FrameBuffer& /*frame*/) {}

}  // namespace lumaro
