// Touch report output: the calibration transform and the 12-byte report
// written to the device for every filtered pair of points.
#pragma once

#include <cstdint>

#include "driver-interface/device_io.h"
#include "touch-daemon/calib_transform.h"
#include "touch-daemon/device_context.h"

namespace lumaro {

struct TransformedPoint {
  std::int32_t X;
  std::int32_t Y;
};

// Evaluates the two cubic polynomials of the transform at (x, y) in single
// precision, in the order the coefficients are stored.
TransformedPoint ApplyTransform(const CalibTransform& transform, std::int32_t x, std::int32_t y);

// Builds one report from pPoints (transformed unless the frame was raw) and
// writes it to ctx.fd. Nothing is written while nothing touches now and
// nothing touched in the last report, nor without both point arrays. Returns
// whether a report was written.
bool WriteReport(DeviceContext& ctx, DeviceIo& io);

}  // namespace lumaro
