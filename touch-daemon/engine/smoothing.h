// Touch trajectory smoothing: keeps the last 50 results of each touch slot
// and reports each slot two frames late, fitted in time over its
// neighbours. Also the engine's per-frame entry.
#pragma once

#include <cstdint>

#include "touch-daemon/engine/engine_state.h"

namespace lumaro {

// The engine's per-frame entry: locate, push into the histories, smooth
// both slots into OutputPair. Returns 0 and does nothing when engine,
// imageA or imageB is null; otherwise -1 (the engine's success value).
std::int32_t EngineProcessFrame(const std::uint8_t* imageA, std::int32_t lengthA,
                                const std::uint8_t* imageB, std::int32_t lengthB,
                                EngineState* engine);

// Stores point as the newest entry and replaces it with the entry two frames
// older.
void HistoryPush(EnginePoint& point, PointHistory& history);

// Smooths one slot: point is the centre entry's copy, reference the slot of
// ReferencePair, limit the reach limit.
void SmoothTrack(EnginePoint& point, EnginePoint& reference, PointHistory& history, FitWork& work,
                 double limit);

void FitReset(FitWork& work);
void FitAddSample(FitWork& work, const EnginePoint& point, std::int32_t t);
// Least-squares fit of degree 0..8 in t to X, Y and Size; returns the
// residual of X and Y with the largest deviation left out.
double FitPolynomial(FitWork& work, std::int32_t degree);

}  // namespace lumaro
