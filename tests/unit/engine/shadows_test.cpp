#include "touch-daemon/engine/shadows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace lumaro {
namespace {

// Spans as (Start, End) pairs, which compare and print.
using Spans = std::vector<std::pair<std::int32_t, std::int32_t>>;

Spans ToSpans(const ShadowList& shadows) {
  Spans out;
  for (std::int32_t i = 0; i < shadows.Count; ++i) {
    out.emplace_back(shadows.Spans[i].Start, shadows.Spans[i].End);
  }
  return out;
}

Spans Find(const LineRuns& line, std::int32_t start = 0, std::int32_t end = 1280) {
  return ToSpans(FindShadows(line, start, end, 2));
}

Spans Decode(const std::vector<std::uint8_t>& code) {
  const LineRuns line = DecodeLine(code);
  Spans out;
  for (std::int32_t i = 0; i < line.Count; ++i) {
    out.emplace_back(line.Shadowed[i].Start, line.Shadowed[i].End);
  }
  return out;
}

// The edges of the decoding; the golden replays pin both codings' runs.
TEST(DecodeLineTest, MergedRunsCutRunsAndNoCode) {
  EXPECT_EQ(Decode({0x00, 0x01, 0x03}), (Spans{{2, 8}}));  // adjacent runs merge
  // 4 x 256 + 242 lit, then a shadowed run cut at the last pixel; later bytes dropped.
  EXPECT_EQ(Decode({0xFE, 0xFE, 0xFE, 0xFE, 0xF0, 0xFF, 0x00, 0x01}), (Spans{{1266, 1280}}));
  EXPECT_EQ(Decode({}), Spans{});
}

// The detection as it was specified, pixel by pixel: gaps sorted shortest
// first by exchange, closed in the image, then the shadows read off it.
Spans FindByPixels(LineImage line, std::int32_t start, std::int32_t end) {
  start = std::clamp(start, 0, 1280);
  end = std::clamp(end, start, 1280);
  std::vector<std::pair<std::int32_t, std::int32_t>> gaps;
  for (std::int32_t p = start; p < end;) {
    if (line[p] != 0) {
      ++p;
      continue;
    }
    const std::int32_t s = p;
    while (p < end && line[p] == 0) ++p;
    gaps.emplace_back(s, p);
  }
  const auto n = static_cast<std::int32_t>(gaps.size());
  const std::int32_t first = n > 0 && gaps[0].first == start ? 1 : 0;
  const std::int32_t last = n > 0 && gaps[n - 1].second == end ? n - 1 : n;
  const auto length = [&](std::int32_t i) { return gaps[i].second - gaps[i].first; };
  for (std::int32_t i = first + 1; i < last; ++i) {
    for (std::int32_t j = first; j < i; ++j) {
      if (length(i) < length(j)) std::swap(gaps[i], gaps[j]);
    }
  }
  const auto close = [&](std::int32_t i) {
    std::fill(line.begin() + gaps[i].first, line.begin() + gaps[i].second, 1);
  };
  std::int32_t p = first;
  while (p < last && length(p) <= 2) close(p++);
  while (p < last - 1) close(p++);
  Spans out;
  for (std::int32_t q = start; q < end;) {
    if (line[q] == 0) {
      ++q;
      continue;
    }
    const std::int32_t s = q;
    while (q < end && line[q] != 0) ++q;
    if (out.size() < 2) out.emplace_back(s, q);
  }
  return out;
}

TEST(FindShadowsTest, RunsGiveThePixelResult) {
  std::mt19937 rng(13);
  std::uniform_int_distribution<int> byte(0, 255), small(0, 6), bound(-20, 1300);
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::uint8_t> code(1 + round % 40);
    for (std::uint8_t& b : code)
      b = static_cast<std::uint8_t>(round % 3 == 0 ? byte(rng) : small(rng));
    const LineRuns line = DecodeLine(code);
    const std::int32_t start = round % 2 == 0 ? 0 : bound(rng);
    const std::int32_t end = round % 2 == 0 ? 1280 : bound(rng);
    ASSERT_EQ(Find(line, start, end), FindByPixels(ExpandLine(line), start, end))
        << round << " " << start << " " << end;
  }
}

TEST(SplitMergedShadowTest, FrameSequence) {
  struct Step {
    Spans in;
    std::int32_t other;
    Spans out;
    SplitState state;
  };
  const Step steps[] = {
      {{{100, 120}, {140, 150}}, 1, {{100, 120}, {140, 150}}, SplitPair},
      {{{100, 150}}, 2, {{100, 120}, {140, 150}}, SplitActive},
      {{{102, 152}}, 2, {{102, 112}, {132, 152}}, SplitSwapped},
      {{{102, 110}}, 2, {{102, 110}, {102, 110}}, SplitSwapped},  // both widths clamped to 8
      {{{102, 110}}, 1, {{102, 110}}, SplitIdle},
      {{{100, 150}}, 2, {{100, 150}}, SplitIdle},
      {{{100, 120}, {140, 150}}, 2, {{100, 120}, {140, 150}}, SplitPair},
      {{{125, 150}}, 2, {{125, 150}}, SplitIdle},  // does not cover the first
      {{{100, 120}, {140, 150}}, 2, {{100, 120}, {140, 150}}, SplitPair},
      {{{100, 130}}, 2, {{100, 130}}, SplitIdle},  // does not cover the second
      {{{100, 120}, {140, 150}}, 2, {{100, 120}, {140, 150}}, SplitPair},
      {{{100, 150}}, 2, {{100, 120}, {140, 150}}, SplitActive},
      {{{100, 115}}, 2, {{100, 115}, {105, 115}}, SplitActive},  // first width clamped to 15
      {{}, 2, {}, SplitIdle},
  };
  SplitTracker tracker{};
  for (const Step& step : steps) {
    ShadowList in{};
    for (auto [start, end] : step.in) in.Spans[in.Count++] = {start, end};
    EXPECT_EQ(ToSpans(SplitMergedShadow(in, step.other, tracker)), step.out);
    EXPECT_EQ(tracker.State, step.state);
  }
}

}  // namespace
}  // namespace lumaro
