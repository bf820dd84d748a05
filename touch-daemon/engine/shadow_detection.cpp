#include "touch-daemon/engine/shadow_detection.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>

namespace lumaro {

namespace {

// A maximal run of lit pixels, end exclusive.
struct Gap {
  std::int32_t Start;
  std::int32_t End;
};

// Lit runs are separated by at least one shadowed pixel, so a window of at
// most kLinePixels pixels holds at most this many of them.
constexpr int kMaxGaps = kLinePixels / 2;

// Gaps of at most this many pixels are always closed.
constexpr std::int32_t kShortGap = 2;

std::int32_t Length(const Gap& gap) {
  return gap.End - gap.Start;
}

void Close(LineImage& line, const Gap& gap) {
  std::fill(line.begin() + gap.Start, line.begin() + gap.End, std::uint8_t{1});
}

// The tracker works in 64 bits and stores saturated values, so that no span
// handed in can overflow a width or a split bound.
std::int64_t Width(const ShadowSpan& span) {
  return std::int64_t{span.End} - span.Start;
}

std::int32_t Saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void DetectShadows(const std::uint8_t* imageA, std::int32_t lengthA, const std::uint8_t* imageB,
                   std::int32_t lengthB, EngineState& engine) {
  // The scratch storage may last have held the fit work area; this starts the
  // line images' lifetime there (no initialisation: decoding writes every pixel).
  auto& images = *::new (&engine.scratch.LineImages) std::array<LineImage, 2>;
  LineImage& lineA = images[0];
  LineImage& lineB = images[1];

  DecodeLineImage(imageA, lengthA, lineA);
  DecodeLineImage(imageB, lengthB, lineB);

  const LensModel& lensA = engine.LensModel[1];
  const LensModel& lensB = engine.LensModel[0];
  FindShadows(lineA, lensA.PixelStart, lensA.PixelEnd, kMaxShadows, engine.ShadowsA,
              engine.ShadowCountA);
  FindShadows(lineB, lensB.PixelStart, lensB.PixelEnd, kMaxShadows, engine.ShadowsB,
              engine.ShadowCountB);
  engine.RawShadowCountA = engine.ShadowCountA;
  engine.RawShadowCountB = engine.ShadowCountB;

  // Each tracker sees the other camera's count as found, before any split.
  SplitMergedShadow(engine.ShadowsA, engine.ShadowCountA, engine.RawShadowCountB, engine.SplitA);
  SplitMergedShadow(engine.ShadowsB, engine.ShadowCountB, engine.RawShadowCountA, engine.SplitB);
}

void DecodeLineImage(const std::uint8_t* code, std::int32_t length, LineImage& line) {
  std::int32_t pixel = 0;
  if (code != nullptr && length > 0) {
    // An odd first byte selects the mapped full-resolution coding for the
    // whole line; an even one the half-resolution coding.
    const bool mapped = (code[0] & 1) != 0;
    for (std::int32_t i = 0; i < length && pixel < kLinePixels; ++i) {
      std::uint8_t value;
      std::int32_t run;
      if (mapped) {
        // t = (161 b - 51) mod 256; unsigned arithmetic wraps modulo 2^32,
        // a multiple of 256.
        const auto t = static_cast<std::uint8_t>(161u * code[i] - 51u);
        value = t & 1;
        run = (t >> 1) + 1;
      } else {
        value = code[i] & 1;
        run = 2 * ((code[i] >> 1) + 1);
      }
      // A run passing the last pixel is cut there; later bytes are dropped.
      const std::int32_t stop = std::min(pixel + run, kLinePixels);
      std::fill(line.begin() + pixel, line.begin() + stop, value);
      pixel = stop;
    }
  }
  std::fill(line.begin() + pixel, line.end(), std::uint8_t{0});
}

void FindShadows(LineImage& line, std::int32_t start, std::int32_t end, std::int32_t maxShadows,
                 std::array<ShadowSpan, kMaxShadows>& spans, std::int32_t& count) {
  start = std::clamp(start, 0, kLinePixels);
  end = std::clamp(end, start, kLinePixels);
  // More than kMaxShadows shadows would not fit the spans.
  const std::int32_t limit = std::clamp(maxShadows, 0, kMaxShadows);

  // Lit gaps, left to right.
  std::array<Gap, kMaxGaps> gaps;
  std::int32_t n = 0;
  for (std::int32_t p = start; p < end;) {
    if (line[p] != 0) {
      ++p;
      continue;
    }
    const std::int32_t gapStart = p;
    while (p < end && line[p] == 0) ++p;
    gaps[n++] = {gapStart, p};
  }

  // Candidates [first, last): gaps touching a window edge are never closed,
  // so closing never extends a shadow to the window edge.
  std::int32_t first = 0;
  std::int32_t last = n;
  if (n > 0 && gaps[0].Start == start) first = 1;
  if (n > 0 && gaps[n - 1].End == end) last = n - 1;

  // Exchange sort, shortest first; it also fixes the order of equal lengths,
  // which decides which of two equal gaps survives.
  for (std::int32_t i = first + 1; i < last; ++i) {
    for (std::int32_t j = first; j < i; ++j) {
      if (Length(gaps[i]) < Length(gaps[j])) std::swap(gaps[i], gaps[j]);
    }
  }

  // Close the short gaps, then every candidate but the limit - 1 longest.
  std::int32_t p = first;
  while (p < last && Length(gaps[p]) <= kShortGap) Close(line, gaps[p++]);
  const std::int32_t keep = std::max(limit - 1, 0);
  while (p < last - keep) Close(line, gaps[p++]);

  // At most one interior gap is left open, so at most two shadows remain.
  count = 0;
  for (std::int32_t q = start; q < end;) {
    if (line[q] == 0) {
      ++q;
      continue;
    }
    const std::int32_t shadowStart = q;
    while (q < end && line[q] != 0) ++q;
    if (count < limit) spans[count++] = {shadowStart, q};
  }
}

// Merged-shadow tracker, advanced once per frame; "count" is this camera's
// number of shadows, "other" the other camera's as found.
//
//                count 1, other >= 2,               count 1, other >= 2,
//                shadow covers the gap              shadow wider than LastFirst:
//   +------+     of the last two: split   +--------+ swap widths, clamp, split  +---------+
//   | Pair |----------------------------->| Active |--------------------------->| Swapped |
//   +------+                              +--------+                            +---------+
//      |                                   |    ^                                 |     ^
//      | count 1, other >= 2,              +----+                                 +-----+
//      | no cover: no split         count 1, other >= 2,                 count 1, other >= 2:
//      v                            not wider: clamp, split              clamp, split
//   +------+
//   | Idle |   From any state: count 2 -> Pair (spans and widths stored);
//   +------+   count 0, or count 1 with other <= 1 -> Idle.
//              Idle stays Idle on count 1 with other >= 2 (no split).
void SplitMergedShadow(std::array<ShadowSpan, kMaxShadows>& spans, std::int32_t& count,
                       std::int32_t otherCount, SplitTracker& tracker) {
  if (count == 2) {
    tracker.State = SplitPair;
    tracker.LastFirst = spans[0];
    tracker.LastSecond = spans[1];
    tracker.WidthFirst = Saturate(Width(spans[0]));
    tracker.WidthSecond = Saturate(Width(spans[1]));
    return;
  }
  if (count != 1) {  // no shadow
    tracker.State = SplitIdle;
    return;
  }
  const ShadowSpan single = spans[0];
  if (otherCount <= 1) {
    tracker.State = SplitIdle;
    tracker.LastFirst = single;
    return;
  }

  bool split = false;
  bool clamp = false;
  switch (tracker.State) {
    case SplitPair:
      // The single shadow must cover the gap between the last two.
      if (tracker.LastFirst.End > single.Start && tracker.LastSecond.Start < single.End) {
        tracker.State = SplitActive;
        split = true;
      } else {
        tracker.State = SplitIdle;
      }
      break;
    case SplitActive:
      // Wider than the first part: the touches have passed each other.
      if (Width(single) > Width(tracker.LastFirst)) {
        tracker.State = SplitSwapped;
        std::swap(tracker.WidthFirst, tracker.WidthSecond);
      }
      split = clamp = true;
      break;
    case SplitSwapped:
      split = clamp = true;
      break;
    default:
      tracker.State = SplitIdle;
      break;
  }

  if (clamp) {
    const std::int64_t w = Width(single);
    tracker.WidthFirst = Saturate(std::min<std::int64_t>(tracker.WidthFirst, w));
    tracker.WidthSecond = Saturate(std::min<std::int64_t>(tracker.WidthSecond, w));
  }
  if (split) {
    // The parts may overlap or leave a gap between them.
    spans[1] = {Saturate(std::int64_t{single.End} - tracker.WidthSecond), single.End};
    spans[0] = {single.Start, Saturate(std::int64_t{single.Start} + tracker.WidthFirst)};
    count = 2;
  }
  tracker.LastFirst = spans[0];
}

}  // namespace lumaro
