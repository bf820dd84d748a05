// The engine's state records, shared by shadow detection, triangulation,
// pairing and trajectory smoothing. Plain records laid out field by field;
// the whole state is zero-filled with its owner and set up by EngineReset.
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
  double Mismatch;
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
  std::array<float, 8> k;  // k0 .. k7
};

// A run of shadowed pixels: Start is the first shadowed pixel, End the first
// lit pixel after it (or the window end).
struct ShadowSpan {
  std::int32_t Start;
  std::int32_t End;
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

// One decoded line image: one byte per pixel, 0 = lit, 1 = shadowed.
using LineImage = std::array<std::uint8_t, kLinePixels>;

// Least-squares work area of the trajectory smoothing.
struct FitWork {
  std::array<double, kMaxFitSamples> SampleX;
  std::array<double, kMaxFitSamples> SampleY;
  std::array<double, kMaxFitSamples> SampleSize;
  std::array<double, kMaxFitSamples> SampleT;
  std::array<double, kMaxFitCoefficients> SumX;          // sums of X * t^k
  std::array<double, kMaxFitCoefficients> SumY;          // sums of Y * t^k
  std::array<double, kMaxFitCoefficients> SumSize;       // sums of Size * t^k
  std::array<double, 2 * kMaxFitCoefficients - 1> SumT;  // sums of t^k, k = 0 .. 16
  std::int32_t SampleCount;
  std::array<double, kMaxFitCoefficients> CoeffX;  // constant term first
  std::array<double, kMaxFitCoefficients> CoeffY;
  std::array<double, kMaxFitCoefficients> CoeffSize;
};

// Storage shared by the two line images, which live from decoding until the
// shadows are found, and the fit work area, used only later in the frame.
union EngineScratch {
  std::array<LineImage, 2> LineImages;  // [0] camera A, [1] camera B
  FitWork Fit;
};
static_assert(sizeof(EngineScratch) == std::size_t{2} * kLinePixels);

struct EngineState {
  EnginePair RawPair;        // pairing result of the latest frame, unsmoothed
  EnginePair OutputPair;     // smoothed result of the latest frame
  EnginePair ReferencePair;  // where each slot is expected in the next frame
  EngineScale Scale;
  std::array<lumaro::LensModel, 2> LensModel;  // [0] camera B, [1] camera A
  std::int32_t HoldCount;                      // frames for which the previous result was repeated
  std::uint8_t OccludedPair;  // 1 after two touches were resolved from counts 1 and 2
  SplitTracker SplitB;
  SplitTracker SplitA;
  std::array<PointHistory, 2> History;  // per touch slot
  EngineScratch scratch;
  std::array<ShadowSpan, kMaxShadows> ShadowsA;
  std::array<ShadowSpan, kMaxShadows> ShadowsB;
  std::array<ShadowAngles, kMaxShadows> AnglesA;
  std::array<ShadowAngles, kMaxShadows> AnglesB;
  std::int32_t ShadowCountA;  // after the merged-shadow tracker
  std::int32_t ShadowCountB;
  std::int32_t RawShadowCountA;  // as found, before the tracker
  std::int32_t RawShadowCountB;
};

}  // namespace lumaro
