// Triangulation geometry in baseline units (camera A at (0, 0), camera B at
// (1, 0)): pixel positions to viewing angles through each camera's lens
// polynomial, shadows to angle records, and the intersection of one shadow
// of each camera into a candidate point.
#pragma once

#include "touch-daemon/engine/records.h"

namespace lumaro {

// The viewing angle, in radians, of a position on the line (0 to 1280).
double PixelToAngle(const LensModel& lens, float pixel);

// Angles of one shadow: Low <= High, Width = High - Low, Mid of its centre.
ShadowAngles ShadowToAngles(const ShadowSpan& span, const LensModel& lens);

// What the intersection needs of one shadow: the tangent of its centre
// angle and the sine of half its width. Formed once per shadow where it
// meets both shadows of the other camera.
struct RayTerms {
  double TanMid;
  double SinHalfWidth;
};
RayTerms RayTermsOf(const ShadowAngles& shadow);

// Intersects shadow a of camera A with shadow b of camera B (in this order).
// Only a choice between ghost and real pairs needs the point's Mismatch (a
// logarithm); without with_mismatch it is left 0.
EnginePoint Triangulate(const RayTerms& a, const RayTerms& b, bool with_mismatch = true);
EnginePoint Triangulate(const ShadowAngles& a, const ShadowAngles& b);

}  // namespace lumaro
