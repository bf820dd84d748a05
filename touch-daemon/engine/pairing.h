// Candidate pairing and ghost rejection: decides per frame which
// intersections are touches and which touch slot each one takes, and
// converts the engine's output into report units.
#pragma once

#include <array>
#include <cstdint>

#include "touch-daemon/engine/engine_state.h"
#include "touch-daemon/touch_point.h"

namespace lumaro {

using AnglePair = std::array<ShadowAngles, kMaxShadows>;

// Detection, angles and pairing of one frame into `result`.
void LocateTouches(const std::uint8_t* imageA, std::int32_t lengthA, const std::uint8_t* imageB,
                   std::int32_t lengthB, EngineState& engine, EnginePair& result);

// The case table over both cameras' shadow counts. May widen the first angle
// record of one camera in place (merge).
void ResolveCandidates(AnglePair& anglesA, std::int32_t countA, AnglePair& anglesB,
                       std::int32_t countB, EngineState& engine, EnginePair& result);

// The four pairing cases.
void PairOneByOne(const AnglePair& anglesA, const AnglePair& anglesB, const EngineState& engine,
                  EnginePair& result);
void PairTwoByOne(const AnglePair& anglesA, const AnglePair& anglesB, const EngineState& engine,
                  EnginePair& result);
void PairOneByTwo(const AnglePair& anglesA, const AnglePair& anglesB, const EngineState& engine,
                  EnginePair& result);
void PairTwoByTwo(const AnglePair& anglesA, const AnglePair& anglesB, const EngineState& engine,
                  EnginePair& result);

// Cost of a candidate (nullptr: absent) against a reference point.
double ReferenceDistance(const EnginePoint* candidate, const EnginePoint& reference, double ratio);

// How well the motion from `previous` to `candidate` crosses both cameras'
// lines of sight: near 1 across both, 0 along either.
double CrossRayScore(const EnginePoint& candidate, const EnginePoint& previous);

// Slot 0 of OutputPair into *first, slot 1 into *second (either may be
// nullptr), in report units. Values beyond the int32 range saturate; NaN
// gives 0.
void ExportTouchPoints(TouchPoint* first, TouchPoint* second, const EngineState& engine);

}  // namespace lumaro
