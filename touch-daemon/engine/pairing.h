// Candidate pairing and ghost rejection: decides per scan which
// intersections are touches and which touch slot each one takes.
#pragma once

#include <array>
#include <cstdint>

#include "touch-daemon/engine/records.h"

namespace lumaro {

using AnglePair = std::array<ShadowAngles, kMaxShadows>;

// The touches of one scan from both cameras' shadow angles: the case table
// over the shadow counts (which may widen the first angle record of one
// camera, merging its pair), then the pair is remembered as the previous
// result and as the next scan's reference.
EnginePair PairTouches(AnglePair& anglesA, std::int32_t countA, AnglePair& anglesB,
                       std::int32_t countB, EngineState& engine);

// The case table alone.
EnginePair ResolveCandidates(AnglePair& anglesA, std::int32_t countA, AnglePair& anglesB,
                             std::int32_t countB, EngineState& engine);

// The four pairing cases.
EnginePair PairOneByOne(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine);
EnginePair PairTwoByOne(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine);
EnginePair PairOneByTwo(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine);
EnginePair PairTwoByTwo(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine);

// How far apart the size agreement of the two pairings of the four
// intersections is, for two shadows per camera: 0 for a tie (or no number).
double PairingMargin(const AnglePair& anglesA, const AnglePair& anglesB);

// Cost of a candidate (nullptr: absent) against a reference point.
double ReferenceDistance(const EnginePoint* candidate, const EnginePoint& reference, double ratio);

// How well the motion from `previous` to `candidate` crosses both cameras'
// lines of sight: near 1 across both, 0 along either.
double CrossRayScore(const EnginePoint& candidate, const EnginePoint& previous);

}  // namespace lumaro
