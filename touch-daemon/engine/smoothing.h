// Touch trajectory smoothing: keeps the last 50 results of each touch slot
// and reports each slot two scans late, fitted in time over its neighbours.
#pragma once

#include <cstdint>

#include "touch-daemon/engine/records.h"

namespace lumaro {

// Stores point as the newest entry; returns the entry two scans older.
EnginePoint HistoryPush(const EnginePoint& point, PointHistory& history);

// The reach limit of both slots: two touches close together must not reach
// into each other's track. centre is the pair of entries two scans back.
double ReachLimit(const EnginePair& centre);

// Smooths one slot around its centre entry (two scans back): returns the
// smoothed point, or an empty one when the centre is rejected. May update
// the slot's reference (where it is expected next) and its history.
EnginePoint SmoothTrack(EnginePoint& reference, PointHistory& history, FitWork& work, double limit);

void FitReset(FitWork& work);
void FitAddSample(FitWork& work, const EnginePoint& point, std::int32_t t);
// Least-squares fit of degree 0..8 in t to X, Y and Size; returns the
// residual of X and Y with the largest deviation left out.
double FitTrackPolynomial(FitWork& work, std::int32_t degree);

}  // namespace lumaro
