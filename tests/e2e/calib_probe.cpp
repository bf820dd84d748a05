// calib-probe: scripts calibration passes for the calibration tool's
// end-to-end tests and checks what the tool stored.
//
//   calib-probe pass
//       packet records of one 4-target pass on a 1920 x 1080 screen: per
//       target a steady contact of 110 packets at the raw point that the
//       controller's known affine distortion gives for the target, then a release.
//   calib-probe check STATE
//       maps each raw point of such a pass through the blocks stored in the
//       trace STATE and compares with the target: fails beyond 2 units.
//
// The classic controller (4 targets, raw span 0..4096 on both axes):
//   calib-probe classic-record calibrated|uncalibrated
//       its main record and one unit as classic-block records; every byte
//       recognisable.
//   calib-probe classic-touches
//       event records touching the four targets through the controller's
//       distortion.
//   calib-probe classic-check STATE ORIGINAL
//       compares the main record in STATE with ORIGINAL's: only segment 3 may
//       differ, and it must hold the bilinear map of the touches onto the
//       targets with byte 360 = 1.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver-interface/blocks.h"
#include "trace/controller_state.h"
#include "trace/trace.h"

namespace {

using lumaro::ParamBlock;

constexpr unsigned kWidth = 1920;
constexpr unsigned kHeight = 1080;

struct Target {
  float x;  // 1/32768 of the screen width
  float y;
};

// Targets in the order the tool visits them, recorded as the tool does.
std::vector<Target> Targets() {
  const std::array<std::array<unsigned, 2>, 4> pixels = {
      {{kWidth / 20, kHeight / 18},
       {19 * (kWidth / 20), kHeight / 18},
       {kWidth / 20, 17 * (kHeight / 18)},
       {19 * (kWidth / 20), 17 * (kHeight / 18)}}};
  std::vector<Target> targets;
  for (const auto& p : pixels) {
    targets.push_back({32768.0f / static_cast<float>(kWidth) * static_cast<float>(p[0]),
                       32768.0f / static_cast<float>(kHeight) * static_cast<float>(p[1])});
  }
  return targets;
}

// The raw point whose screen position is the target, under the controller's
// distortion screen = (1.2 rx - 0.05 ry - 1400, 0.06 rx + 1.25 ry - 1100).
std::array<int, 2> RawOf(const Target& t) {
  const double det = 1.2 * 1.25 + 0.05 * 0.06;
  const double ex = t.x + 1400, ey = t.y + 1100;
  return {static_cast<int>(std::lround((1.25 * ex + 0.05 * ey) / det)),
          static_cast<int>(std::lround((-0.06 * ex + 1.2 * ey) / det))};
}

std::string Packet(int type, int x, int y) {
  char text[32];
  std::snprintf(text, sizeof text, "packet 00%02x%02x%02x%02x%02x", type, x & 0xff, (x >> 8) & 0xff,
                y & 0xff, (y >> 8) & 0xff);
  return text;
}

void Contact(int x, int y, int packets) {
  for (int i = 0; i < packets; ++i) std::puts(Packet(7, x, y).c_str());
  std::puts(Packet(6, x, y).c_str());
}

bool LoadState(const std::string& path, lumaro::trace::ControllerState* state) {
  lumaro::trace::Trace trace;
  std::string error;
  if (!lumaro::trace::LoadTraceFile(path, &trace, &error)) {
    std::fprintf(stderr, "calib-probe: %s\n", error.c_str());
    return false;
  }
  lumaro::trace::Playback playback(&trace);
  playback.ApplyState(state);
  return true;
}

ParamBlock BlockOf(const lumaro::trace::ControllerState& state, unsigned code) {
  const std::vector<std::uint8_t> bytes = state.Block(code, lumaro::kParamBlockSize);
  ParamBlock block{};
  std::copy(bytes.begin(), bytes.end(), block.begin());
  return block;
}

double Evaluate(const ParamBlock& b, double u, double v) {
  const double terms[10] = {v * v * v, u * v * v, u * u * v, u * u * u, v * v,
                            u * v,     u * u,     v,         u,         1};
  double sum = 0;
  for (int i = 0; i < 10; ++i) sum += lumaro::calib::Coefficient(b, i) * terms[i];
  return sum;
}

int Pass() {
  for (const Target& t : Targets()) {
    const std::array<int, 2> raw = RawOf(t);
    Contact(raw[0], raw[1], 110);
    std::puts("wait 100");
  }
  return 0;
}

int Check(const std::string& path) {
  lumaro::trace::ControllerState state;
  if (!LoadState(path, &state)) return 2;
  const ParamBlock x = BlockOf(state, 195), y = BlockOf(state, 196);
  double worst = 0;
  for (const Target& t : Targets()) {
    const std::array<int, 2> raw = RawOf(t);
    worst = std::max({worst, std::fabs(Evaluate(x, raw[0], raw[1]) - t.x),
                      std::fabs(Evaluate(y, raw[0], raw[1]) - t.y)});
  }
  std::printf("largest error %.3f units of 1/32768\n", worst);
  return worst <= 2.0 ? 0 : 1;
}

// --- The classic controller ------------------------------------------------

constexpr int kRecordBytes = 801;
constexpr int kBlocks = 32;
// Segments of the main record: first block, length, first record byte.
constexpr std::array<std::array<int, 3>, 9> kSegments = {{{0, 25, 0},
                                                          {1, 150, 25},
                                                          {6, 186, 175},
                                                          {12, 34, 361},
                                                          {16, 169, 395},
                                                          {22, 186, 564},
                                                          {29, 1, 750},
                                                          {30, 25, 751},
                                                          {31, 25, 776}}};

std::vector<std::uint8_t> ClassicRecord(bool calibrated) {
  std::vector<std::uint8_t> record(kRecordBytes);
  for (int i = 0; i < kRecordBytes; ++i) record[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const float span[4] = {0.0f, 4096.0f, 0.0f, 4096.0f};
  for (int i = 0; i < 4; ++i) lumaro::PutAt<float>(record, 41 + 4 * i, span[i]);
  record[360] = calibrated ? 1 : 0;
  return record;
}

// The 32 blocks holding a record: each segment a marker byte 1 and its data,
// filler zero; blocks of no segment patterned.
std::vector<std::vector<std::uint8_t>> RecordBlocks(const std::vector<std::uint8_t>& record) {
  std::vector<std::vector<std::uint8_t>> blocks(kBlocks, std::vector<std::uint8_t>(32));
  for (int b = 0; b < kBlocks; ++b) {
    for (int i = 0; i < 32; ++i) blocks[b][i] = static_cast<std::uint8_t>(0xA0 + b + i);
  }
  for (const auto& [first, length, offset] : kSegments) {
    std::vector<std::uint8_t> image((length + 32) / 32 * 32, 0);
    image[0] = 1;
    std::copy(record.begin() + offset, record.begin() + offset + length, image.begin() + 1);
    for (std::size_t i = 0; i < image.size(); ++i) blocks[first + i / 32][i % 32] = image[i];
  }
  return blocks;
}

std::vector<std::uint8_t> RecordOf(const lumaro::trace::ControllerState& state) {
  std::vector<std::uint8_t> record(kRecordBytes);
  for (const auto& [first, length, offset] : kSegments) {
    for (int i = 0; i < length; ++i) {
      const int at = i + 1;  // past the marker
      const auto it =
          state.classic_blocks.find({0x80, static_cast<std::uint32_t>(first + at / 32)});
      if (it != state.classic_blocks.end()) record[offset + i] = it->second[at % 32];
    }
  }
  return record;
}

struct Point {
  double x, y;
};

// The targets in raw units and the raw touches that the distortion gives.
std::array<Point, 4> ClassicTargets() {
  const float fx = 4096.0f / 1920.0f, fy = 4096.0f / 1080.0f;
  const unsigned px[4] = {96, 1824, 96, 1824}, py[4] = {60, 60, 1020, 1020};
  std::array<Point, 4> targets;
  for (int k = 0; k < 4; ++k) {
    targets[k] = {fx * static_cast<float>(px[k]), fy * static_cast<float>(py[k])};
  }
  return targets;
}

Point ClassicRaw(const Point& t) {
  return {std::round(300 + 0.9 * t.x + 0.02 * t.y), std::round(200 - 0.03 * t.x + 0.88 * t.y)};
}

std::string Event(int type, const Point& p) {
  char text[40];
  const int x = static_cast<int>(p.x), y = static_cast<int>(p.y);
  std::snprintf(text, sizeof text, "event %02x00%02x%02x%02x%02x00000000", type, x & 0xff,
                (x >> 8) & 0xff, y & 0xff, (y >> 8) & 0xff);
  return text;
}

int ClassicRecordOut(bool calibrated) {
  const std::vector<std::vector<std::uint8_t>> blocks = RecordBlocks(ClassicRecord(calibrated));
  std::puts("classic-units 1");
  for (int b = 0; b < kBlocks; ++b) {
    std::printf("classic-block 0x80 %d %s\n", b,
                lumaro::trace::ToHex(blocks[b].data(), 32).c_str());
  }
  for (int b = 0; b < 4; ++b) {
    std::vector<std::uint8_t> unit(32, static_cast<std::uint8_t>(0x40 + b));
    if (b <= 1) unit[0] = 1;  // the markers of the unit's two segments
    std::printf("classic-block 0 %d %s\n", b, lumaro::trace::ToHex(unit.data(), 32).c_str());
  }
  return 0;
}

int ClassicTouches() {
  const std::array<Point, 4> targets = ClassicTargets();
  for (int k = 0; k < 4; ++k) {
    const Point raw = ClassicRaw(targets[k]);
    std::puts(Event(7, raw).c_str());
    std::puts(Event(7, raw).c_str());
    std::puts(Event(6, raw).c_str());
    std::puts("wait 300");
  }
  return 0;
}

int ClassicCheck(const std::string& path, const std::string& original_path) {
  lumaro::trace::ControllerState state, original;
  if (!LoadState(path, &state) || !LoadState(original_path, &original)) return 2;
  // Blocks outside segment 3 must be as they were.
  for (int b = 0; b < kBlocks; ++b) {
    const auto key = std::make_pair(0x80u, static_cast<std::uint32_t>(b));
    if (b >= 6 && b <= 11) continue;
    if (state.classic_blocks[key] != original.classic_blocks[key]) {
      std::printf("block %d changed\n", b);
      return 1;
    }
  }
  const std::vector<std::uint8_t> before = RecordOf(original), after = RecordOf(state);
  if (after[175] != 13 || after[360] != 1) {
    std::printf("type %d, calibrated %d\n", after[175], after[360]);
    return 1;
  }
  double worst = 0;
  const std::array<Point, 4> targets = ClassicTargets();
  for (const Point& t : targets) {
    const Point r = ClassicRaw(t);
    const double terms[4] = {1, r.y, r.x, r.x * r.y};
    double X = 0, Y = 0;
    for (int i = 0; i < 4; ++i) {
      X += lumaro::GetAt<double>(after, 175 + 17 + 8 * i) * terms[i];
      Y += lumaro::GetAt<double>(after, 175 + 49 + 8 * i) * terms[i];
    }
    worst = std::max({worst, std::fabs(X - t.x), std::fabs(Y - t.y)});
  }
  std::printf("largest error of the stored map %.6f raw units\n", worst);
  return worst < 0.01 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string command = args.empty() ? "" : args[0];
  if (args.size() == 1 && command == "pass") return Pass();
  if (args.size() == 2 && command == "check") return Check(args[1]);
  if (args.size() == 2 && command == "classic-record")
    return ClassicRecordOut(args[1] == "calibrated");
  if (args.size() == 1 && command == "classic-touches") return ClassicTouches();
  if (args.size() == 3 && command == "classic-check") return ClassicCheck(args[1], args[2]);
  std::fprintf(stderr, "usage: see the head of calib_probe.cpp\n");
  return 2;
}
