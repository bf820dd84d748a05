#include "touch-daemon/engine/shadow_detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace lumaro {
namespace {

// Spans as (Start, End) pairs, which compare and print.
using Spans = std::vector<std::pair<std::int32_t, std::int32_t>>;

Spans ToSpans(const std::array<ShadowSpan, kMaxShadows>& spans, std::int32_t count) {
  Spans out;
  for (std::int32_t i = 0; i < count; ++i) out.emplace_back(spans[i].Start, spans[i].End);
  return out;
}

LineImage Line(const Spans& shadows, std::uint8_t background = 0) {
  LineImage line;
  line.fill(background);
  for (auto [start, end] : shadows) std::fill(line.begin() + start, line.begin() + end, 1);
  return line;
}

Spans Find(LineImage line, std::int32_t start = 0, std::int32_t end = 1280) {
  std::array<ShadowSpan, kMaxShadows> spans{};
  std::int32_t count = -1;
  FindShadows(line, start, end, 2, spans, count);
  return ToSpans(spans, count);
}

Spans Decode(const std::vector<std::uint8_t>& code, std::int32_t length) {
  LineImage line = Line({}, 1);
  DecodeLineImage(code.empty() ? nullptr : code.data(), length, line);
  return Find(line);
}

TEST(DecodeLineImageTest, Codings) {
  EXPECT_EQ(Decode({0x0A}, 1), Spans{});
  EXPECT_EQ(Decode({0x00, 0x01, 0x0C}, 3), (Spans{{2, 4}}));
  EXPECT_EQ(Decode({0x01, 0x02, 0x03}, 3), (Spans{{56, 64}}));
  // 4 x 256 + 242 lit, then a shadowed run cut at the last pixel; later bytes dropped.
  EXPECT_EQ(Decode({0xFE, 0xFE, 0xFE, 0xFE, 0xF0, 0xFF, 0x00, 0x01}, 8), (Spans{{1266, 1280}}));
  // Nothing past the length is read; no code at all is an all-lit line.
  EXPECT_EQ(Decode({0x00, 0x01}, 1), Spans{});
  EXPECT_EQ(Decode({0x00, 0x01}, -3), Spans{});
  EXPECT_EQ(Decode({}, 0), Spans{});
}

TEST(FindShadowsTest, GapClosing) {
  EXPECT_EQ(Find(Line({{100, 110}, {111, 120}})), (Spans{{100, 120}}));
  EXPECT_EQ(Find(Line({{100, 110}, {112, 120}})), (Spans{{100, 120}}));
  EXPECT_EQ(Find(Line({{100, 110}, {113, 120}})), (Spans{{100, 110}, {113, 120}}));
  EXPECT_EQ(Find(Line({{10, 20}, {22, 30}, {31, 40}})), (Spans{{10, 40}}));  // even the longest
  // Gaps 10, 4: the shorter closes. Equal gaps 5, 5: the right one stays open; 5, 5, 3: the left.
  EXPECT_EQ(Find(Line({{100, 110}, {120, 130}, {134, 140}})), (Spans{{100, 110}, {120, 140}}));
  EXPECT_EQ(Find(Line({{100, 110}, {115, 120}, {125, 130}})), (Spans{{100, 120}, {125, 130}}));
  EXPECT_EQ(Find(Line({{100, 110}, {115, 120}, {125, 130}, {133, 140}})),
            (Spans{{100, 110}, {115, 140}}));
}

TEST(FindShadowsTest, WindowEdges) {
  EXPECT_EQ(Find(Line({}, 1)), (Spans{{0, 1280}}));
  EXPECT_EQ(Find(Line({}, 1), 200, 300), (Spans{{200, 300}}));
  // Clipped at the window start; 1-pixel gaps at either window edge stay open.
  EXPECT_EQ(Find(Line({{90, 110}, {150, 160}, {198, 199}}), 100, 200),
            (Spans{{100, 110}, {150, 199}}));
  EXPECT_EQ(Find(Line({{101, 110}, {112, 160}, {170, 200}}), 100, 200),
            (Spans{{101, 160}, {170, 200}}));
  // Windows outside the line are clamped into it.
  EXPECT_EQ(Find(Line({{0, 10}, {1270, 1280}}), -50, 5000), (Spans{{0, 10}, {1270, 1280}}));
  EXPECT_EQ(Find(Line({}, 1), 300, 100), Spans{});
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
    std::array<ShadowSpan, kMaxShadows> spans{};
    std::int32_t count = 0;
    for (auto [start, end] : step.in) spans[count++] = {start, end};
    SplitMergedShadow(spans, count, step.other, tracker);
    EXPECT_EQ(ToSpans(spans, count), step.out);
    EXPECT_EQ(tracker.State, step.state);
  }
}

TEST(DetectShadowsTest, WindowsAndTrackers) {
  EngineState engine{};
  engine.LensModel[1] = {210, 1280, {}};                 // camera A
  engine.LensModel[0] = {0, 600, {}};                    // camera B
  const std::uint8_t pair[] = {0xC6, 0x13, 0x12, 0x09};  // {200, 220}, {240, 250}
  const std::uint8_t merged[] = {0xC6, 0x31};            // {200, 250}
  const std::uint8_t far[] = {0xC6, 0x13, 0x12, 0x09, 0xFE, 0xFE, 0x24, 0x09};  // and {800, 810}
  DetectShadows(pair, 4, far, 8, engine);
  DetectShadows(merged, 2, far, 8, engine);
  EXPECT_EQ(engine.RawShadowCountA, 1);
  EXPECT_EQ(ToSpans(engine.ShadowsA, engine.ShadowCountA), (Spans{{210, 220}, {240, 250}}));
  EXPECT_EQ(engine.SplitA.State, SplitActive);
  // {800, 810} lies outside camera B's window.
  EXPECT_EQ(ToSpans(engine.ShadowsB, engine.RawShadowCountB), (Spans{{200, 220}, {240, 250}}));
}

}  // namespace
}  // namespace lumaro
