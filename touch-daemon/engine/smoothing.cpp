#include "touch-daemon/engine/smoothing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace lumaro {

namespace {

// Visits needed before a fit of each degree (0 .. 8) is attempted.
constexpr std::array<std::int32_t, kMaxFitCoefficients> MinFitSamples = {1,  2,  3,  5, 7,
                                                                         10, 14, 19, 25};

constexpr double kDefaultReach = 0.5;      // reach limit with at most one touch
constexpr double kReachPerSpread = 0.4;    // reach limit per distance of two touches
constexpr double kMinReach = 0.1;          // reach limit floor
constexpr double kMaxPath = 0.1;           // path length each walk may cover
constexpr std::int32_t kNewerFrames = 2;   // the centre lies this many frames back
constexpr std::int32_t kOlderFrames = 10;  // farthest backward offset
constexpr double kGoodFit = 0.001;         // residual a fit must reach to stop
constexpr double kStillSpread = 0.00001;   // squared extent of a still touch
constexpr double kStillSlope = 0.000005;   // squared slope of a still touch
constexpr double kFailedFit = std::numeric_limits<double>::infinity();

// Ring slot of any index, never negative.
std::int32_t Slot(std::int32_t index) {
  if (index >= 0 && index < kHistoryLength) return index;
  if (index < 0 && index >= -kHistoryLength) return index + kHistoryLength;
  if (index >= kHistoryLength && index < 2 * kHistoryLength) return index - kHistoryLength;
  return ((index % kHistoryLength) + kHistoryLength) % kHistoryLength;
}

constexpr std::int32_t kPowerSums = 2 * kMaxFitCoefficients - 1;

// t^k by repeated multiplication, k = 0 .. 16, for every sample time a fit
// takes: the smoothing samples offsets -10 .. 2, and the table has a margin.
// Indexed by k first, as the power sums run over the samples for each k.
constexpr std::int32_t kTabledTime = 16;
struct PowerTable {
  std::array<std::array<double, 2 * kTabledTime + 1>, kPowerSums> Term;
};
constexpr PowerTable MakePowerTable() {
  PowerTable table{};
  for (std::int32_t t = -kTabledTime; t <= kTabledTime; ++t) {
    double power = 1.0;
    for (std::int32_t k = 0; k < kPowerSums; ++k) {
      table.Term[k][t + kTabledTime] = power;
      power *= t;
    }
  }
  return table;
}
constexpr PowerTable kPowers = MakePowerTable();

// Adds the terms k = from .. to - 1 of samples first .. last - 1 to the power
// sums. Each sum takes its samples in the order they were added, so it does
// not matter when it is formed.
void AddToSums(FitWork& work, std::int32_t first, std::int32_t last, std::int32_t from,
               std::int32_t to) {
  for (std::int32_t k = from; k < to; ++k) {
    const auto& powers = kPowers.Term[k];
    double sumT = work.SumT[k];
    if (k < kMaxFitCoefficients) {
      double sumX = work.SumX[k];
      double sumY = work.SumY[k];
      double sumSize = work.SumSize[k];
      for (std::int32_t s = first; s < last; ++s) {
        const double power = powers[work.SampleTime[s] + kTabledTime];
        sumT += power;
        sumX += work.SampleX[s] * power;
        sumY += work.SampleY[s] * power;
        sumSize += work.SampleSize[s] * power;
      }
      work.SumX[k] = sumX;
      work.SumY[k] = sumY;
      work.SumSize[k] = sumSize;
    } else {
      for (std::int32_t s = first; s < last; ++s) sumT += powers[work.SampleTime[s] + kTabledTime];
    }
    work.SumT[k] = sumT;
  }
}

// Brings the sums of the first `terms` powers up to date.
void EnsureSums(FitWork& work, std::int32_t terms) {
  if (terms <= work.SumTerms) return;
  AddToSums(work, 0, work.SampleCount, work.SumTerms, terms);
  work.SumTerms = terms;
}

struct Anchor {
  double X;
  double Y;
  double Size;
};

Anchor AnchorOf(const EnginePoint& point) {
  return {point.X, point.Y, point.Size};
}

double Distance(const Anchor& from, const EnginePoint& to) {
  const double dx = to.X - from.X;
  const double dy = to.Y - from.Y;
  return std::sqrt(dx * dx + dy * dy);
}

// One smoothing pass over a slot's ring, centred on entry Centre, the entry
// two frames older than Newest.
struct Track {
  std::array<EnginePoint, kHistoryLength>& Ring;
  std::int32_t Newest;
  std::int32_t Centre;
  double Reach;

  EnginePoint& At(std::int32_t offset) { return Ring[Slot(Centre + offset)]; }
};

// Walks from the centre to the newest entry while the measured entries stay
// within reach and the path within kMaxPath, repairing sudden changes of
// shadow size: an entry much larger than the one before replaces it (the
// smaller shadow was likely a partial occlusion), and an entry much smaller
// takes the earlier position and size. Returns the entries walked.
std::int32_t RepairForward(Track& track) {
  Anchor reference = AnchorOf(track.At(0));
  double path = 0.0;
  std::int32_t walked = 0;
  for (std::int32_t offset = 0;; ++offset) {
    EnginePoint& entry = track.At(offset);
    if (entry.State == PointNone) break;
    if (entry.State == PointMeasured) {
      const double d = Distance(reference, entry);
      if (d > track.Reach) break;
      const double s = entry.Size;
      const double s0 = reference.Size;
      if (2.0 * s > d + s0 && 0.7 * s > s0) track.At(offset - 1) = entry;
      if (2.0 * s0 > s + d && 0.7 * s0 > s) {
        entry.X = reference.X;
        entry.Y = reference.Y;
        entry.Size = reference.Size;
      }
      path += d;
      reference = AnchorOf(entry);
    }
    ++walked;
    if (Slot(track.Centre + offset) == track.Newest) break;
    if (path > kMaxPath) break;
  }
  return walked;
}

// Samples the centre and the newer entries that continue the path, allowing
// one miss (empty or out of reach) in a row. Held entries count only until
// the first measured one. Returns the entries visited within reach.
std::int32_t SampleForward(Track& track, FitWork& work) {
  std::int32_t misses = 1;
  Anchor reference = AnchorOf(track.At(0));
  if (track.At(-1).State == PointMeasured) {
    reference = AnchorOf(track.At(-1));
    misses = 0;
  }
  bool acceptHeld = true;
  double path = 0.0;
  std::int32_t visited = 0;
  for (std::int32_t offset = 0; path <= kMaxPath; ++offset) {
    const EnginePoint& entry = track.At(offset);
    const bool newest = Slot(track.Centre + offset) == track.Newest;
    const double d = entry.State == PointNone ? 0.0 : Distance(reference, entry);
    if (entry.State == PointNone || d > track.Reach) {
      ++misses;
      if (misses > 1 || newest) break;
      continue;
    }
    bool accepted = false;
    if (entry.State == PointMeasured) {
      acceptHeld = false;
      accepted = true;
    } else if (entry.State == PointHeld && acceptHeld) {
      accepted = true;
    }
    if (accepted) {
      path += d;
      misses = 0;
      FitAddSample(work, entry, offset);
      reference = AnchorOf(entry);
    }
    ++visited;
    if (newest) break;
  }
  return visited;
}

// Samples the measured older entries back to offset -10, until the path
// exceeds kMaxPath or an entry is empty. No reach limit applies: the older
// track was accepted when it was the centre. Returns the entries visited.
std::int32_t SampleBackward(Track& track, FitWork& work) {
  std::int32_t offset = -1;
  Anchor reference = AnchorOf(track.At(offset));
  double path = 0.0;
  std::int32_t visited = 0;
  while (track.At(offset).State != PointNone) {
    const EnginePoint& entry = track.At(offset);
    if (entry.State == PointMeasured) {
      path += Distance(reference, entry);
      reference = AnchorOf(entry);
      FitAddSample(work, entry, offset);
    }
    ++visited;
    --offset;
    if (path > kMaxPath || offset < -kOlderFrames) break;
  }
  return visited;
}

// Whether the five entries around the centre stand still: at least three
// present, within a tiny box, with a tiny slope. The slope is
// (Si Sx - Six) / (Si^2 - Sii), which vanishes for a still touch only when
// the present offsets are balanced around the centre, so a touch is frozen
// only once it has entries on both sides.
bool StandingStill(Track& track) {
  std::int32_t n = 0;
  double minX = 1.0;
  double maxX = 0.0;
  double minY = 1.0;
  double maxY = 0.0;
  double si = 0.0;
  double sx = 0.0;
  double sy = 0.0;
  double sii = 0.0;
  double six = 0.0;
  double siy = 0.0;
  for (std::int32_t i = -kNewerFrames; i <= kNewerFrames; ++i) {
    const EnginePoint& entry = track.At(i);
    if (entry.State != PointHeld && entry.State != PointMeasured) continue;
    ++n;
    minX = std::min(minX, entry.X);
    maxX = std::max(maxX, entry.X);
    minY = std::min(minY, entry.Y);
    maxY = std::max(maxY, entry.Y);
    si += i;
    sx += entry.X;
    sy += entry.Y;
    sii += i * i;
    six += i * entry.X;
    siy += i * entry.Y;
  }
  // With fewer than three entries the slope's divisor can be 0; it is
  // non-zero for every set of three or more offsets in -2 .. 2.
  if (n <= 2) return false;
  const double spreadX = minX - maxX;
  const double spreadY = minY - maxY;
  if (!(spreadX * spreadX + spreadY * spreadY < kStillSpread)) return false;
  const double divisor = si * si - sii;
  const double slopeX = (si * sx - six) / divisor;
  const double slopeY = (si * sy - siy) / divisor;
  return slopeX * slopeX + slopeY * slopeY < kStillSlope;
}

template <std::int32_t Degree>
double Horner(const std::array<double, Degree + 1>& a, double t) {
  double v = a[Degree];
  for (std::int32_t j = Degree; j >= 1; --j) v = v * t + a[j - 1];
  return v;
}

// Least-squares fit of a fixed degree over the work area's samples, whose
// power sums are up to date. The degree is fixed at compile time so that the
// small loops unroll.
template <std::int32_t Degree>
double FitOfDegree(FitWork& work) {
  constexpr std::int32_t kSize = Degree + 1;
  const std::int32_t samples = work.SampleCount;

  // Normal equations; m[i][j] = sum of t^(i + j).
  std::array<std::array<double, kSize>, kSize> m;
  std::array<double, kSize> bx;
  std::array<double, kSize> by;
  std::array<double, kSize> bs;
  for (std::int32_t i = 0; i < kSize; ++i) {
    for (std::int32_t j = 0; j < kSize; ++j) m[i][j] = work.SumT[i + j];
    bx[i] = work.SumX[i];
    by[i] = work.SumY[i];
    bs[i] = work.SumSize[i];
  }

  // Elimination without row exchanges. A zero pivot means fewer distinct
  // sample times than coefficients: the fit fails, the coefficients of the
  // last successful fit stay, and the residual is infinite.
  for (std::int32_t k = 0; k < kSize; ++k) {
    const double p = m[k][k];
    if (p == 0.0) return kFailedFit;
    for (std::int32_t i = k + 1; i < kSize; ++i) m[i][k] /= p;
    bx[k] /= p;
    by[k] /= p;
    bs[k] /= p;
    m[k][k] = 1.0;
    for (std::int32_t j = k + 1; j < kSize; ++j) {
      for (std::int32_t i = k + 1; i < kSize; ++i) m[i][j] -= m[k][j] * m[i][k];
      bx[j] -= m[k][j] * bx[k];
      by[j] -= m[k][j] * by[k];
      bs[j] -= m[k][j] * bs[k];
      m[k][j] = 0.0;
    }
  }
  for (std::int32_t f = Degree; f >= 1; --f) {
    for (std::int32_t j = f - 1; j >= 0; --j) {
      bx[j] -= m[f][j] * bx[f];
      by[j] -= m[f][j] * by[f];
      bs[j] -= m[f][j] * bs[f];
    }
  }
  work.CoeffX.fill(0.0);
  work.CoeffY.fill(0.0);
  work.CoeffSize.fill(0.0);
  std::copy(bx.begin(), bx.end(), work.CoeffX.begin());
  std::copy(by.begin(), by.end(), work.CoeffY.begin());
  std::copy(bs.begin(), bs.end(), work.CoeffSize.begin());

  // Root mean square deviation of the positions, the largest one left out so
  // that a single outlier does not make the fit look poor.
  double sum = 0.0;
  double largest = 0.0;
  for (std::int32_t s = 0; s < samples; ++s) {
    const double t = work.SampleTime[s];
    const double rx = Horner<Degree>(bx, t) - work.SampleX[s];
    const double ry = Horner<Degree>(by, t) - work.SampleY[s];
    const double r2 = rx * rx + ry * ry;
    sum += r2;
    if (r2 > largest) largest = r2;
  }
  const std::int32_t divisor = samples > 1 ? samples - 1 : samples;
  return std::sqrt((sum - largest) / divisor);
}

using FitOfDegreeFn = double (*)(FitWork&);
template <std::size_t... Degrees>
constexpr std::array<FitOfDegreeFn, sizeof...(Degrees)> FitsOfDegrees(
    std::index_sequence<Degrees...>) {
  return {FitOfDegree<static_cast<std::int32_t>(Degrees)>...};
}
// The fit of each degree 0 .. 8.
constexpr auto kFitsOfDegree = FitsOfDegrees(std::make_index_sequence<kMaxFitCoefficients>());

}  // namespace

double ReachLimit(const EnginePair& centre) {
  if (centre[0].State == PointNone || centre[1].State == PointNone) return kDefaultReach;
  const double dx = centre[0].X - centre[1].X;
  const double dy = centre[0].Y - centre[1].Y;
  return kReachPerSpread * std::sqrt(dx * dx + dy * dy);
}

EnginePoint HistoryPush(const EnginePoint& point, PointHistory& history) {
  history.Newest = Slot(Slot(history.Newest) + 1);
  history.Ring[history.Newest] = point;
  return history.Ring[Slot(history.Newest + kHistoryLength - kNewerFrames)];
}

EnginePoint SmoothTrack(EnginePoint& reference, PointHistory& history, FitWork& work,
                        double limit) {
  const std::int32_t newest = Slot(history.Newest);
  Track track{history.Ring, newest, Slot(newest - kNewerFrames),
              limit < kMinReach ? kMinReach : limit};

  FitReset(work);
  const std::int32_t forwardCount = RepairForward(track);
  const std::int32_t forwardSamples = SampleForward(track, work);
  const std::int32_t backCount = SampleBackward(track, work);

  EnginePoint result{};
  const std::int32_t total = backCount + forwardSamples;
  // A point without neighbours along a plausible path is rejected and erased
  // from the history. Without a sample there is nothing to fit either (not
  // reached while entries hold only the three defined states).
  if (total < 2 || forwardSamples == 0 || backCount + forwardCount == 0 || work.SampleCount == 0) {
    track.At(0).State = PointNone;
    return result;
  }

  // Degrees 0 and 1 first, then the prediction from that fit, then higher
  // degrees while the fit stays poor.
  std::int32_t degree = 0;
  bool poor = true;
  while (degree <= 1 && MinFitSamples[degree] <= total) {
    const double residual = FitTrackPolynomial(work, degree);
    ++degree;
    poor = residual > kGoodFit;
    if (!poor) break;
  }
  if (forwardCount == kNewerFrames + 1) {
    // The fitted line one frame after the newest entry.
    reference.X = work.CoeffX[0] + 3.0 * work.CoeffX[1];
    reference.Y = work.CoeffY[0] + 3.0 * work.CoeffY[1];
    reference.Size = work.CoeffSize[0] + 3.0 * work.CoeffSize[1];
    reference.Mismatch = 0.0;
    reference.State = PointHeld;
  }
  if (poor) {
    while (degree < kMaxFitCoefficients && MinFitSamples[degree] <= total) {
      const double residual = FitTrackPolynomial(work, degree);
      ++degree;
      if (residual <= kGoodFit) break;
    }
  }

  result.X = work.CoeffX[0];
  result.Y = work.CoeffY[0];
  result.Size = work.CoeffSize[0];
  result.Mismatch = 0.0;
  result.State = PointMeasured;
  if (track.At(0).State == PointNone) track.At(0) = result;  // a one-frame gap

  // A touch standing still keeps its previous measured entry exactly.
  if (StandingStill(track) && track.At(-1).State == PointMeasured) {
    track.At(0) = track.At(-1);
    result = track.At(0);
  }
  return result;
}

void FitReset(FitWork& work) {
  work.SampleCount = 0;
  work.SumTerms = 0;
  work.SumX.fill(0.0);
  work.SumY.fill(0.0);
  work.SumSize.fill(0.0);
  work.SumT.fill(0.0);
  // Not read before a fit writes them; cleared so that no earlier call's
  // values can ever surface.
  work.CoeffX.fill(0.0);
  work.CoeffY.fill(0.0);
  work.CoeffSize.fill(0.0);
}

void FitAddSample(FitWork& work, const EnginePoint& point, std::int32_t t) {
  // A smoothing pass adds at most 13 samples, at offsets -10 .. 2; a full
  // work area drops more, and a time outside the power table is dropped.
  const std::int32_t n = work.SampleCount;
  if (n < 0 || n >= kMaxFitSamples || t < -kTabledTime || t > kTabledTime) return;
  work.SampleX[n] = point.X;
  work.SampleY[n] = point.Y;
  work.SampleSize[n] = point.Size;
  work.SampleTime[n] = t;
  work.SampleCount = n + 1;
  // Sums already formed take the sample now; the others are formed from all
  // samples when a fit first needs them.
  if (work.SumTerms > 0) AddToSums(work, n, n + 1, 0, work.SumTerms);
}

double FitTrackPolynomial(FitWork& work, std::int32_t degree) {
  const std::int32_t samples = work.SampleCount;
  if (degree < 0 || degree >= kMaxFitCoefficients || samples <= 0 || samples > kMaxFitSamples) {
    return kFailedFit;
  }
  EnsureSums(work, 2 * degree + 1);
  return kFitsOfDegree[degree](work);
}

}  // namespace lumaro
