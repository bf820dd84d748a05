// Touch report output: the calibration transform and the 12-byte report
// built for every filtered pair of points.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "driver-interface/requests.h"
#include "touch-daemon/calib_transform.h"
#include "touch-daemon/point_arrays.h"

namespace lumaro {

// The bytes of one report as written to the device.
using ReportBytes = std::array<std::uint8_t, kReportContacts * kReportContactSize>;

struct TransformedPoint {
  std::int32_t X;
  std::int32_t Y;
};

// Evaluates the two cubic polynomials of the transform at (x, y) in single
// precision, in the order the coefficients are stored.
TransformedPoint ApplyTransform(const CalibTransform& transform, std::int32_t x, std::int32_t y);

// Builds the report of the contacts `now` into all of out (transformed unless raw)
// and copies them into `last`. Nothing is built while nothing touches now
// and nothing touched in the last report; returns whether a report was built.
bool BuildReport(const CalibTransform& transform, bool raw,
                 std::span<const TouchPoint, kReportContacts> now,
                 std::span<TouchPoint, kReportContacts> last, ReportBytes& out);

}  // namespace lumaro
