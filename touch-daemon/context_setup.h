// Turns the controller's parameter blocks into the working parameters of the
// engine, the point filters and the calibration transform.
#pragma once

#include "touch-daemon/device_context.h"

namespace lumaro {

// The full set-up after an identification of a camera controller, in this
// order: the engine's reset, TapFilterReset, CurveQueueClear of the three queues,
// TapFilterConfigure (span 200, step 16, radius 0), CurveQueueSetGain 0 for
// the three queues, CalibSetup.
void SetUpCameraPipeline(DeviceContext& ctx);

// Builds Transform from CalibX, CalibY and DeviceConfig. Calibrated: the
// coefficient blocks are copied. Not calibrated: the identity, and
// DeviceConfig is rewritten locally to all zeros with the active area's right
// and bottom set to the device size.
void CalibSetup(DeviceContext& ctx);

}  // namespace lumaro
