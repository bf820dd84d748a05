#include "touch-daemon/engine/shadows.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "touch-daemon/engine/saturate.h"

namespace lumaro {

namespace {

// A maximal run of lit pixels, end exclusive, and whether it stays open.
struct Gap {
  std::int32_t Start;
  std::int32_t End;
  bool Open;
};

// Lit runs are separated by at least one shadowed pixel, so a window of at
// most kLinePixels pixels holds at most this many of them.
constexpr int kMaxGaps = kLinePixels / 2 + 1;

// Gaps of at most this many pixels are always closed.
constexpr std::int32_t kShortGap = 2;

std::int32_t Length(const Gap& gap) {
  return gap.End - gap.Start;
}

// The tracker works in 64 bits and stores saturated values, so that no span
// handed in can overflow a width or a split bound.
std::int64_t Width(const ShadowSpan& span) {
  return std::int64_t{span.End} - span.Start;
}

std::int32_t Saturate(std::int64_t value) {
  return SaturateToInt32(static_cast<double>(value));
}

}  // namespace

LineRuns DecodeLine(std::span<const std::uint8_t> code) {
  LineRuns line;
  line.Count = 0;
  if (code.empty()) return line;
  // An odd first byte selects the mapped full-resolution coding for the
  // whole line; an even one the half-resolution coding.
  const bool mapped = (code[0] & 1) != 0;
  std::int32_t pixel = 0;
  for (std::size_t i = 0; i < code.size() && pixel < kLinePixels; ++i) {
    bool shadowed;
    std::int32_t run;
    if (mapped) {
      // t = (161 b - 51) mod 256; unsigned arithmetic wraps modulo 2^32,
      // a multiple of 256.
      const auto t = static_cast<std::uint8_t>(161u * code[i] - 51u);
      shadowed = (t & 1) != 0;
      run = (t >> 1) + 1;
    } else {
      shadowed = (code[i] & 1) != 0;
      run = 2 * ((code[i] >> 1) + 1);
    }
    // A run passing the last pixel is cut there.
    const std::int32_t stop = std::min(pixel + run, kLinePixels);
    if (shadowed) {
      if (line.Count > 0 && line.Shadowed[line.Count - 1].End == pixel) {
        line.Shadowed[line.Count - 1].End = stop;
      } else {
        line.Shadowed[line.Count++] = {pixel, stop};
      }
    }
    pixel = stop;
  }
  return line;
}

LineImage ExpandLine(const LineRuns& line) {
  LineImage image{};
  for (std::int32_t i = 0; i < line.Count; ++i) {
    const ShadowSpan& run = line.Shadowed[i];
    std::fill(image.begin() + run.Start, image.begin() + run.End, std::uint8_t{1});
  }
  return image;
}

ShadowList FindShadows(const LineRuns& line, std::int32_t start, std::int32_t end,
                       std::int32_t maxShadows) {
  start = std::clamp(start, 0, kLinePixels);
  end = std::clamp(end, start, kLinePixels);
  // More than kMaxShadows shadows would not fit the list.
  const std::int32_t limit = std::clamp(maxShadows, 0, kMaxShadows);

  // Lit gaps inside the window, left to right: the window between its
  // shadowed runs.
  std::array<Gap, kMaxGaps> gaps;
  std::int32_t n = 0;
  std::int32_t lit = start;
  for (std::int32_t i = 0; i < line.Count; ++i) {
    const ShadowSpan& run = line.Shadowed[i];
    if (run.End <= start) continue;
    if (run.Start >= end) break;
    const std::int32_t shadowStart = std::max(run.Start, start);
    if (shadowStart > lit) gaps[n++] = {lit, shadowStart, true};
    lit = std::min(run.End, end);
  }
  if (lit < end) gaps[n++] = {lit, end, true};

  // Candidates are the gaps not touching a window edge, so closing never
  // extends a shadow to the window edge. They are ordered shortest first by
  // an exchange sort of pointers, whose order of equal lengths decides which
  // of two equal gaps survives.
  std::int32_t first = 0;
  std::int32_t last = n;
  if (n > 0 && gaps[0].Start == start) first = 1;
  if (n > 0 && gaps[n - 1].End == end) last = n - 1;
  std::array<Gap*, kMaxGaps> order;
  for (std::int32_t i = first; i < last; ++i) order[i] = &gaps[i];
  for (std::int32_t i = first + 1; i < last; ++i) {
    for (std::int32_t j = first; j < i; ++j) {
      if (Length(*order[i]) < Length(*order[j])) std::swap(order[i], order[j]);
    }
  }

  // Close the short gaps, then every candidate but the limit - 1 longest.
  std::int32_t p = first;
  while (p < last && Length(*order[p]) <= kShortGap) order[p++]->Open = false;
  const std::int32_t keep = std::max(limit - 1, 0);
  while (p < last - keep) order[p++]->Open = false;

  // The shadows lie between the open gaps; at most one interior gap is left
  // open, so at most two shadows remain.
  ShadowList shadows{};
  std::int32_t shadowStart = start;
  for (std::int32_t i = 0; i <= n; ++i) {
    if (i < n && !gaps[i].Open) continue;
    const std::int32_t shadowEnd = i < n ? gaps[i].Start : end;
    if (shadowEnd > shadowStart && shadows.Count < limit) {
      shadows.Spans[shadows.Count++] = {shadowStart, shadowEnd};
    }
    if (i < n) shadowStart = gaps[i].End;
  }
  return shadows;
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
ShadowList SplitMergedShadow(ShadowList shadows, std::int32_t otherCount, SplitTracker& tracker) {
  auto& spans = shadows.Spans;
  std::int32_t& count = shadows.Count;
  if (count == 2) {
    tracker.State = SplitPair;
    tracker.LastFirst = spans[0];
    tracker.LastSecond = spans[1];
    tracker.WidthFirst = Saturate(Width(spans[0]));
    tracker.WidthSecond = Saturate(Width(spans[1]));
    return shadows;
  }
  if (count != 1) {  // no shadow
    tracker.State = SplitIdle;
    return shadows;
  }
  const ShadowSpan single = spans[0];
  if (otherCount <= 1) {
    tracker.State = SplitIdle;
    tracker.LastFirst = single;
    return shadows;
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
  return shadows;
}

}  // namespace lumaro
