// The engine's plain records, shared by shadow detection, triangulation,
// pairing, trajectory smoothing and the engine that runs them per scan.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace lumaro {

inline constexpr int kLinePixels = 1280;       // pixels of a decoded line image
inline constexpr int kHistoryLength = 50;      // results kept per touch slot
inline constexpr int kMaxShadows = 2;          // shadows kept per camera
inline constexpr int kMaxFitSamples = 50;      // sample room of FitWork
inline constexpr int kMaxFitCoefficients = 9;  // fit degrees 0 .. 8

// EnginePoint::State.
enum PointState : std::uint8_t {
  PointNone = 0,      // no touch in this slot
  PointHeld = 1,      // carried over or predicted, not measured this frame
  PointMeasured = 2,  // triangulated this frame
};

// A point in baseline units: camera A at (0, 0), camera B at (1, 0).
struct EnginePoint {
  double X;
  double Y;
  double Size;
  double Mismatch;     // |log| of the cameras' size ratio, where the pairing asks for it
  std::uint8_t State;  // PointState
};

// Slot 0, then slot 1.
using EnginePair = std::array<EnginePoint, 2>;

// Mapping of engine coordinates to report units, and the pairing radius.
struct EngineScale {
  float XScale;
  float XOffset;
  float YScale;
  float YOffset;
  float ZScale;
  float Ratio;
  float Span;
};

// One camera's pixel window and angle polynomial. The window counts line
// image samples (two per sensor pixel): pixels PixelStart .. PixelEnd - 1.
struct LensModel {
  std::int32_t PixelStart;
  std::int32_t PixelEnd;
  // k0 .. k7: single-precision values, held widened once for the angle
  // polynomial, which is evaluated in double precision.
  std::array<double, 8> k;
};

// A run of shadowed pixels: Start is the first shadowed pixel, End the first
// lit pixel after it (or the window end).
struct ShadowSpan {
  std::int32_t Start;
  std::int32_t End;
};

// The shadows of one camera, left to right.
struct ShadowList {
  std::array<ShadowSpan, kMaxShadows> Spans;
  std::int32_t Count;  // 0 .. kMaxShadows
};

// A decoded line image as its shadowed runs, left to right, each maximal
// (separated by at least one lit pixel) and within 0 .. kLinePixels; every
// other pixel is lit.
inline constexpr int kMaxLineRuns = kLinePixels / 2;
struct LineRuns {
  std::array<ShadowSpan, kMaxLineRuns> Shadowed;
  std::int32_t Count;
};

// SplitTracker::State.
enum SplitState : std::uint8_t {
  SplitIdle = 0,
  SplitActive = 1,
  SplitSwapped = 2,
  SplitPair = 3,
};

// One camera's merged-shadow tracker.
struct SplitTracker {
  ShadowSpan LastFirst;
  ShadowSpan LastSecond;
  std::int32_t WidthFirst;
  std::int32_t WidthSecond;
  std::uint8_t State;  // SplitState
};

// The last kHistoryLength results of one touch slot, as a ring.
struct PointHistory {
  std::array<EnginePoint, kHistoryLength> Ring;
  std::int32_t Newest;  // ring slot of the newest entry; -1 when empty
};

// Angles of one shadow, in radians; Low <= High and Width = High - Low.
struct ShadowAngles {
  double Low;
  double High;
  double Mid;
  double Width;
};

// A line image expanded to one byte per pixel, 0 = lit, 1 = shadowed.
using LineImage = std::array<std::uint8_t, kLinePixels>;

// Least-squares work area of the trajectory smoothing. The power sums are
// formed as the fits need them: those of the first SumTerms powers of t are
// up to date.
struct FitWork {
  std::array<double, kMaxFitSamples> SampleX;
  std::array<double, kMaxFitSamples> SampleY;
  std::array<double, kMaxFitSamples> SampleSize;
  std::array<std::int32_t, kMaxFitSamples> SampleTime;   // scans after the centre
  std::array<double, kMaxFitCoefficients> SumX;          // sums of X * t^k
  std::array<double, kMaxFitCoefficients> SumY;          // sums of Y * t^k
  std::array<double, kMaxFitCoefficients> SumSize;       // sums of Size * t^k
  std::array<double, 2 * kMaxFitCoefficients - 1> SumT;  // sums of t^k, k = 0 .. 16
  std::int32_t SampleCount;
  std::int32_t SumTerms;
  std::array<double, kMaxFitCoefficients> CoeffX;  // constant term first
  std::array<double, kMaxFitCoefficients> CoeffY;
  std::array<double, kMaxFitCoefficients> CoeffSize;
};

// A touch in report units (0 to 32768 across the active area), as the
// engine hands it to the filters.
struct TouchPoint {
  std::int32_t x;
  std::int32_t y;
  std::int32_t z;     // contact width
  std::uint8_t down;  // 1 = touching, 0 = not
};

// Slot 0, then slot 1.
using TouchPair = std::array<TouchPoint, 2>;

// The engine's state from one scan to the next.
struct EngineState {
  EnginePair RawPair;        // pairing result of the latest scan, unsmoothed
  EnginePair ReferencePair;  // where each slot is expected in the next scan
  EngineScale Scale;
  LensModel LensA;
  LensModel LensB;
  std::int32_t HoldCount;     // scans for which the previous result was repeated
  std::uint8_t OccludedPair;  // 1 after two touches were resolved from counts 1 and 2
  SplitTracker SplitB;
  SplitTracker SplitA;
  std::array<PointHistory, 2> History;  // per touch slot
};

}  // namespace lumaro
