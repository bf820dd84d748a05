#include "touch-daemon/engine/pairing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

#include "touch-daemon/engine/triangulation.h"

namespace lumaro {

namespace {

// Costs at or above this never win a choice; it is also the starting best.
constexpr double kNoChoiceCost = 1000000.0;
// Cost of an empty slot against an empty reference.
constexpr double kAbsentCost = 200.0;
// Frames a touch lost by one camera is repeated; the long hold also covers
// one camera seeing one shadow and the other two.
constexpr std::int32_t kShortHoldFrames = 4;
constexpr std::int32_t kLongHoldFrames = 5;
// Two shadows whose inner edges lie closer than this many line pixels (over
// Span) along the other camera's ray are one object.
constexpr float kMergeWidth = 25.0f;

bool Present(const EnginePoint& point) {
  return point.State != PointNone;
}

// Both slots empty, their position fields zeroed so that no stale value is
// copied into the pairs or the histories.
constexpr EnginePair kNoTouches{};

// The previous scan's result again, with every present slot marked held.
EnginePair RepeatPrevious(const EngineState& engine) {
  EnginePair result = engine.RawPair;
  for (EnginePoint& point : result) {
    if (Present(point)) point.State = PointHeld;
  }
  return result;
}

double HypothesisCost(const EnginePair& hypothesis, const EngineState& engine) {
  const double ratio = engine.Scale.Ratio;
  return ReferenceDistance(&hypothesis[0], engine.ReferencePair[0], ratio) +
         ReferenceDistance(&hypothesis[1], engine.ReferencePair[1], ratio);
}

// The hypothesis of the smallest cost below kNoChoiceCost; ties keep the
// earlier one. When none qualifies (every cost NaN or too large), both
// slots are empty.
EnginePair ChooseCheapest(std::span<const EnginePair> hypotheses, std::span<const double> costs) {
  double best = kNoChoiceCost;
  const EnginePair* chosen = nullptr;
  for (std::size_t i = 0; i < hypotheses.size(); ++i) {
    if (best > costs[i]) {
      chosen = &hypotheses[i];
      best = costs[i];
    }
  }
  return chosen != nullptr ? *chosen : kNoTouches;
}

EnginePair ChooseByCost(std::span<const EnginePair> hypotheses, const EngineState& engine) {
  std::array<double, 4> costs{};
  for (std::size_t i = 0; i < hypotheses.size(); ++i) {
    costs[i] = HypothesisCost(hypotheses[i], engine);
  }
  return ChooseCheapest(hypotheses, std::span(costs).first(hypotheses.size()));
}

// After an occluded pair the slots' previous points are known but the ghosts
// may lie as close to them as the touches: a hypothesis wins outright by
// halving the best cost, and competes on how well its motion crosses both
// cameras' lines of sight while its cost stays within a factor 2.
EnginePair ChooseByMotion(std::span<const EnginePair> hypotheses, const EngineState& engine) {
  double bestCost = kNoChoiceCost;
  double bestScore = 0.0;
  const EnginePair* chosen = nullptr;
  for (const EnginePair& hypothesis : hypotheses) {
    const double cost = HypothesisCost(hypothesis, engine);
    if (cost < 0.5 * bestCost) {
      chosen = &hypothesis;
      bestScore = CrossRayScore(hypothesis[0], engine.RawPair[0]) +
                  CrossRayScore(hypothesis[1], engine.RawPair[1]);
      bestCost = cost;
    } else if (0.5 * cost < bestCost) {
      const double score = CrossRayScore(hypothesis[0], engine.RawPair[0]) +
                           CrossRayScore(hypothesis[1], engine.RawPair[1]);
      if (score > bestScore) {
        chosen = &hypothesis;
        bestScore = score;
        bestCost = cost;
      }
    }
  }
  return chosen != nullptr ? *chosen : kNoTouches;
}

// Merge test of one camera's single shadow against the other camera's two.
// The single shadow's central ray crosses the rays of the pair's inner edges
// at baseline positions u1 and u2; when those crossings lie closer together
// along the ray than 25 / Span, the pair is one object: its first record is
// widened over both and true is returned.
bool MergePair(const ShadowAngles& single, AnglePair& pair, float span) {
  ShadowAngles& first = pair[0];
  const ShadowAngles& second = pair[1];
  const double innerHigh = std::min(first.High, second.High);
  const double innerLow = std::max(first.Low, second.Low);

  const double tS = std::tan(single.Mid);
  const double tHigh = std::tan(innerHigh);
  const double tLow = std::tan(innerLow);
  const double u1 = tHigh / (tS + tHigh);
  const double u2 = tLow / (tS + tLow);
  const double gap = std::fabs(u2 - u1) / std::sin(single.Mid);

  // Divided in single precision, then widened; a Span of 0 merges always.
  const double threshold = kMergeWidth / span;
  if (!(threshold > gap)) return false;

  first.Low = std::min(first.Low, second.Low);
  first.High = std::max(first.High, second.High);
  first.Mid = (first.Low + first.High) * 0.5;
  first.Width = first.High - first.Low;
  return true;
}

}  // namespace

EnginePair PairTouches(AnglePair& anglesA, std::int32_t countA, AnglePair& anglesB,
                       std::int32_t countB, EngineState& engine) {
  const EnginePair pair = ResolveCandidates(anglesA, countA, anglesB, countB, engine);
  const bool oneByTwo = (countA == 1 && countB == 2) || (countA == 2 && countB == 1);
  engine.OccludedPair =
      oneByTwo && pair[0].State == PointMeasured && pair[1].State == PointMeasured ? 1 : 0;
  engine.RawPair = pair;
  engine.ReferencePair = pair;
  for (EnginePoint& point : engine.ReferencePair) {
    if (Present(point)) point.State = PointHeld;
  }
  return pair;
}

// Case flow over the shadow counts (A, B) per frame:
//
//   (0,0) --------------------------------------------> none          Hold = 0
//   (1,1) --------------------------------------------> PairOneByOne  Hold = 0
//   (2,2) --------------------------------------------> PairTwoByTwo  Hold = 0
//   (0,1|2), (1|2,0) --> short hold: Hold <= 3 ? ----yes--> repeat RawPair held, Hold += 1
//                                               `---no---> none, Hold stays
//   (1,2), (2,1) ------> merge test: merged -----------> PairOneByOne  Hold = 0
//                                    `-- not merged --> long hold:
//                           Hold <= 4 ? --yes--> repeat RawPair held, Hold += 1
//                                       `--no--> PairOneByTwo / PairTwoByOne, Hold stays
//   anything else ------------------------------------> none, Hold stays
//
// Hold counts repeated frames since the last reset: a camera losing the
// touches repeats the result 4 frames, a one-versus-two view 5 frames.
EnginePair ResolveCandidates(AnglePair& anglesA, std::int32_t countA, AnglePair& anglesB,
                             std::int32_t countB, EngineState& engine) {
  // Whether the previous result is repeated once more.
  const auto hold = [&](std::int32_t frames) {
    if (engine.HoldCount >= frames) return false;
    ++engine.HoldCount;
    return true;
  };

  if (countA == 0 && countB == 0) {
    engine.HoldCount = 0;
    return kNoTouches;
  }
  if ((countA == 0 && (countB == 1 || countB == 2)) ||
      (countB == 0 && (countA == 1 || countA == 2))) {
    return hold(kShortHoldFrames) ? RepeatPrevious(engine) : kNoTouches;
  }
  if (countA == 1 && countB == 1) {
    engine.HoldCount = 0;
    return PairOneByOne(anglesA, anglesB, engine);
  }
  if (countA == 1 && countB == 2) {
    if (MergePair(anglesA[0], anglesB, engine.Scale.Span)) {
      engine.HoldCount = 0;
      return PairOneByOne(anglesA, anglesB, engine);
    }
    return hold(kLongHoldFrames) ? RepeatPrevious(engine) : PairOneByTwo(anglesA, anglesB, engine);
  }
  if (countA == 2 && countB == 1) {
    if (MergePair(anglesB[0], anglesA, engine.Scale.Span)) {
      engine.HoldCount = 0;
      return PairOneByOne(anglesA, anglesB, engine);
    }
    return hold(kLongHoldFrames) ? RepeatPrevious(engine) : PairTwoByOne(anglesA, anglesB, engine);
  }
  if (countA == 2 && countB == 2) {
    engine.HoldCount = 0;
    return PairTwoByTwo(anglesA, anglesB, engine);
  }
  return kNoTouches;
}

EnginePair PairOneByOne(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine) {
  const EnginePoint touch = Triangulate(anglesA[0], anglesB[0]);
  const double ratio = engine.Scale.Ratio;
  const EnginePair& reference = engine.ReferencePair;
  const double cost0 = ReferenceDistance(&touch, reference[0], ratio) +
                       ReferenceDistance(nullptr, reference[1], ratio);
  const double cost1 = ReferenceDistance(nullptr, reference[0], ratio) +
                       ReferenceDistance(&touch, reference[1], ratio);
  EnginePair result = kNoTouches;
  result[cost0 > cost1 ? 1 : 0] = touch;
  return result;
}

EnginePair PairTwoByOne(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine) {
  // Both candidates lie on camera B's one ray.
  const RayTerms b = RayTermsOf(anglesB[0]);
  const EnginePoint p = Triangulate(RayTermsOf(anglesA[0]), b);
  const EnginePoint q = Triangulate(RayTermsOf(anglesA[1]), b);
  const std::array<EnginePair, 2> hypotheses = {EnginePair{p, q}, EnginePair{q, p}};
  return ChooseByCost(hypotheses, engine);
}

EnginePair PairOneByTwo(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine) {
  // Both candidates lie on camera A's one ray.
  const RayTerms a = RayTermsOf(anglesA[0]);
  const EnginePoint p = Triangulate(a, RayTermsOf(anglesB[0]));
  const EnginePoint q = Triangulate(a, RayTermsOf(anglesB[1]));
  const std::array<EnginePair, 2> hypotheses = {EnginePair{p, q}, EnginePair{q, p}};
  return ChooseByCost(hypotheses, engine);
}

EnginePair PairTwoByTwo(const AnglePair& anglesA, const AnglePair& anglesB,
                        const EngineState& engine) {
  const RayTerms a0 = RayTermsOf(anglesA[0]);
  const RayTerms a1 = RayTermsOf(anglesA[1]);
  const RayTerms b0 = RayTermsOf(anglesB[0]);
  const RayTerms b1 = RayTermsOf(anglesB[1]);
  // Without a reference the choice is by mismatch; otherwise by position.
  const bool unreferenced = !Present(engine.ReferencePair[0]) && !Present(engine.ReferencePair[1]);
  const EnginePoint t00 = Triangulate(a0, b0, unreferenced);
  const EnginePoint t11 = Triangulate(a1, b1, unreferenced);
  const EnginePoint t01 = Triangulate(a0, b1, unreferenced);
  const EnginePoint t10 = Triangulate(a1, b0, unreferenced);
  // H0 and H3 pair A0 with B0 and A1 with B1, H1 and H2 crosswise; within a
  // pairing the two orders assign the slots.
  const std::array<EnginePair, 4> hypotheses = {EnginePair{t00, t11}, EnginePair{t01, t10},
                                                EnginePair{t10, t01}, EnginePair{t11, t00}};

  if (unreferenced) {
    // Nothing to continue: real intersections are seen at the same size by
    // both cameras, ghosts mostly not.
    std::array<double, 4> mismatch{};
    for (std::size_t i = 0; i < hypotheses.size(); ++i) {
      mismatch[i] = hypotheses[i][0].Mismatch + hypotheses[i][1].Mismatch;
    }
    return ChooseCheapest(hypotheses, mismatch);
  }
  if (engine.OccludedPair == 1) return ChooseByMotion(hypotheses, engine);
  return ChooseByCost(hypotheses, engine);
}

double PairingMargin(const AnglePair& anglesA, const AnglePair& anglesB) {
  const double straight =
      Triangulate(anglesA[0], anglesB[0]).Mismatch + Triangulate(anglesA[1], anglesB[1]).Mismatch;
  const double crosswise =
      Triangulate(anglesA[0], anglesB[1]).Mismatch + Triangulate(anglesA[1], anglesB[0]).Mismatch;
  const double margin = std::fabs(straight - crosswise);
  return std::isfinite(margin) ? margin : 0.0;
}

double ReferenceDistance(const EnginePoint* candidate, const EnginePoint& reference, double ratio) {
  const bool candidatePresent = candidate != nullptr && Present(*candidate);
  const bool referencePresent = Present(reference);
  if (!candidatePresent && !referencePresent) return kAbsentCost;
  // A slot opened or closed: Ratio is the radius within which a point
  // continues an existing slot rather than opening the other one.
  if (!candidatePresent || !referencePresent) return (ratio + kAbsentCost) * 0.5;
  const double dx = candidate->X - reference.X;
  const double dy = candidate->Y - reference.Y;
  return std::sqrt(dx * dx + dy * dy);
}

double CrossRayScore(const EnginePoint& candidate, const EnginePoint& previous) {
  const double dx = candidate.X - previous.X;
  const double dy = candidate.Y - previous.Y;
  if (dy == 0.0 && dx == 0.0) return 1.0;
  if (previous.Y == 0.0 && previous.X == 0.0) return 1.0;
  const double length = dx * dx + dy * dy;
  // Sines of the angles between the motion and the lines of sight from
  // camera A (0, 0) and camera B (1, 0) through the previous point.
  const double sinA = (dx * previous.Y - previous.X * dy) /
                      std::sqrt((previous.X * previous.X + previous.Y * previous.Y) * length);
  const double fromB = previous.X - 1.0;
  const double sinB = (dx * previous.Y - dy * fromB) /
                      std::sqrt((fromB * fromB + previous.Y * previous.Y) * length);
  return std::fabs(sinB * sinA);
}

}  // namespace lumaro
