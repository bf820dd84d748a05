// The classic controller's calibration fit: a least-squares map from raw
// touch positions to targets, bilinear (4 terms per axis, at least 4 points)
// or full cubic (10 terms, at least 10), solved by Gauss-Jordan elimination
// of the normal equations in double precision. The 185-byte result holds the
// type byte, the span, the coefficients and a scale value.
#pragma once

#include <cstdint>
#include <span>

namespace lumaro {

struct ClassicPoint {
  double x;
  double y;
};

// Input type byte: bit 0 calibrate; bits 1-2 the map; bits 3-4 the span mode.
inline constexpr std::uint8_t kFitCalibrate = 0x01;
inline constexpr std::uint8_t kFitMapMask = 0x06;
inline constexpr std::uint8_t kFitMapNone = 0x02;
inline constexpr std::uint8_t kFitMapBilinear = 0x04;
inline constexpr std::uint8_t kFitMapCubic = 0x06;
inline constexpr std::uint8_t kFitSpanMask = 0x18;
inline constexpr std::uint8_t kFitNoSpan = 0x08;
// What the calibration flow asks for: calibrate, bilinear, without span.
inline constexpr std::uint8_t kClassicFitType = 13;

// Fits touches[i] onto targets[i] into the first 185 bytes of `result`.
// True on success, and when bit 0 of the type is clear (result byte 0 is then
// 0); false on failure (touches and targets of different counts, too few
// points, a singular system, a bad type), with result byte 0 at 0, or with
// nothing written when `result` is too small. `span` (16 bytes) is copied to
// result bytes 1 to 16 in the span modes 0x10 and 0x18, which fail without it.
// Where the fit in `result` (bilinear or cubic, type byte non-zero) puts the
// raw touch (x, y), in the targets' units.
ClassicPoint EvaluateClassicMap(std::span<const std::uint8_t> result, double x, double y);

bool ClassicFit(std::uint8_t type, std::span<const ClassicPoint> touches,
                std::span<const ClassicPoint> targets, std::span<const std::uint8_t> span,
                std::span<std::uint8_t> result);

}  // namespace lumaro
