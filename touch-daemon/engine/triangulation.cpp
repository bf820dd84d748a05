#include "touch-daemon/engine/triangulation.h"

#include <cmath>
#include <cstdint>
#include <utility>

namespace lumaro {

namespace {
constexpr double kQuarterPi = 0.7853981633974483;
}  // namespace

double PixelToAngle(const LensModel& lens, float pixel) {
  // The line position is normalised in single precision, then the polynomial
  // is evaluated in double precision on the widened coefficients.
  const float unit = pixel / 640.0f - 1.0f;
  const double u = unit;
  double acc = lens.k[7];
  for (int i = 6; i >= 1; --i) acc = acc * u + lens.k[i];
  return (acc * u + lens.k[0]) + kQuarterPi;
}

ShadowAngles ShadowToAngles(const ShadowSpan& span, const LensModel& lens) {
  ShadowAngles angles;
  angles.Low = PixelToAngle(lens, static_cast<float>(span.Start));
  angles.High = PixelToAngle(lens, static_cast<float>(span.End));
  // The centre: the integer sum (64 bits, so it cannot overflow) halved in
  // double precision and narrowed to single precision.
  const std::int64_t sum = std::int64_t{span.Start} + span.End;
  angles.Mid = PixelToAngle(lens, static_cast<float>(static_cast<double>(sum) * 0.5));
  // A lens whose angle falls with the pixel index gives End the lower angle.
  if (angles.High - angles.Low < 0) std::swap(angles.Low, angles.High);
  angles.Width = angles.High - angles.Low;
  return angles;
}

RayTerms RayTermsOf(const ShadowAngles& shadow) {
  return {std::tan(shadow.Mid), std::sin(0.5 * shadow.Width)};
}

EnginePoint Triangulate(const RayTerms& a, const RayTerms& b, bool with_mismatch) {
  EnginePoint point;
  // Camera A's ray: X = Y tan(a); camera B's ray: 1 - X = Y tan(b).
  point.Y = 1.0 / (a.TanMid + b.TanMid);
  point.X = a.TanMid * point.Y;
  point.State = PointMeasured;

  // Each camera's radius estimate: half its angular width seen from its
  // distance to the intersection.
  const double fromB = 1.0 - point.X;
  const double distanceB = std::sqrt(fromB * fromB + point.Y * point.Y);
  const double radiusB = b.SinHalfWidth * distanceB;
  const double distanceA = std::sqrt(point.X * point.X + point.Y * point.Y);
  const double radiusA = a.SinHalfWidth * distanceA;

  // Harmonic mean of the two estimates, and how far they disagree.
  point.Size = 2.0 / (1.0 / radiusB + 1.0 / radiusA);
  point.Mismatch = with_mismatch ? std::fabs(std::log(radiusB / radiusA)) : 0.0;
  return point;
}

EnginePoint Triangulate(const ShadowAngles& a, const ShadowAngles& b) {
  return Triangulate(RayTermsOf(a), RayTermsOf(b));
}

}  // namespace lumaro
