// calib-probe: scripts calibration passes for the calibration tool's
// end-to-end tests and checks what the tool stored.
//
//   calib-probe pass 4|16 affine|cubic|collinear [stray]
//       packet records of one pass on a 1920 x 1080 screen: per target a
//       steady contact of 110 packets at the raw point that the controller's
//       known distortion gives for the target, then a release. "stray" puts a
//       contact that strays before the first good one.
//   calib-probe check STATE 4|16 affine|cubic
//       maps each raw point of such a pass through the blocks stored in the
//       trace STATE and compares with the target: fails beyond 2 units.
//   calib-probe calibrate-scene STATE SCENE
//       SCENE with STATE's calibration blocks, and its truth lines mapped
//       through that calibration, on standard output.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
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
std::vector<Target> Targets(int points) {
  std::vector<std::array<unsigned, 2>> pixels;
  if (points == 4) {
    pixels = {{kWidth / 20, kHeight / 18},
              {19 * (kWidth / 20), kHeight / 18},
              {kWidth / 20, 17 * (kHeight / 18)},
              {19 * (kWidth / 20), 17 * (kHeight / 18)}};
  } else {
    for (unsigned row = 0; row < 4; ++row) {
      for (unsigned col = 0; col < 4; ++col) {
        pixels.push_back({kWidth / 20 + ((kWidth - 2 * (kWidth / 20)) / 3) * col,
                          kHeight / 20 + ((kHeight - 2 * (kHeight / 20)) / 3) * row});
      }
    }
  }
  std::vector<Target> targets;
  for (const auto& p : pixels) {
    targets.push_back({32768.0f / static_cast<float>(kWidth) * static_cast<float>(p[0]),
                       32768.0f / static_cast<float>(kHeight) * static_cast<float>(p[1])});
  }
  return targets;
}

// The controller's distortion: screen = map(raw). Affine, or a cubic that
// the 16-point fit can represent exactly.
// The cubic controller's raw frame is centred on 0 (signed raw values from
// about -13700 to +13700). The 16-point fit sums its coefficients in single
// precision from large, cancelling products; with all-positive raw values in
// the tens of thousands that leaves errors of several units, with a centred
// frame well under one.
void ScreenOf(const std::string& kind, double rx, double ry, double* sx, double* sy) {
  if (kind == "cubic") {
    rx += 13700;
    ry += 13700;
  }
  *sx = 1.2 * rx - 0.05 * ry - 1400;
  *sy = 0.06 * rx + 1.25 * ry - 1100;
  if (kind == "cubic") {
    *sx += 4e-6 * rx * rx - 2e-10 * rx * rx * rx + 3e-6 * rx * ry;
    *sy += -3e-6 * ry * ry + 1.5e-10 * ry * ry * ry + 2e-6 * rx * ry;
  }
}

// The raw point whose screen position is the target (Newton's method).
std::array<int, 2> RawOf(const std::string& kind, const Target& t) {
  double rx = kind == "cubic" ? -3700 : 10000, ry = rx;
  for (int i = 0; i < 50; ++i) {
    double sx, sy, ax, ay, bx, by;
    ScreenOf(kind, rx, ry, &sx, &sy);
    ScreenOf(kind, rx + 1, ry, &ax, &ay);
    ScreenOf(kind, rx, ry + 1, &bx, &by);
    const double j11 = ax - sx, j21 = ay - sy, j12 = bx - sx, j22 = by - sy;
    const double det = j11 * j22 - j12 * j21;
    const double ex = t.x - sx, ey = t.y - sy;
    rx += (j22 * ex - j12 * ey) / det;
    ry += (-j21 * ex + j11 * ey) / det;
  }
  return {static_cast<int>(std::lround(rx)), static_cast<int>(std::lround(ry))};
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

int Pass(int points, const std::string& kind, bool stray) {
  const std::vector<Target> targets = Targets(points);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    std::array<int, 2> raw = RawOf(kind == "collinear" ? "affine" : kind, targets[i]);
    if (kind == "collinear")
      raw = {5000 + 3000 * static_cast<int>(i), 5000 + 1000 * static_cast<int>(i)};
    if (stray && i == 0) {
      // Down at the target, then 150 raw units away and steady there.
      for (int p = 0; p < 20; ++p) std::puts(Packet(7, raw[0] + 900, raw[1]).c_str());
      Contact(raw[0] + 1050, raw[1], 150);
    }
    Contact(raw[0], raw[1], 110);
    std::puts("wait 100");
  }
  return 0;
}

int Check(const std::string& path, int points, const std::string& kind) {
  lumaro::trace::ControllerState state;
  if (!LoadState(path, &state)) return 2;
  const ParamBlock x = BlockOf(state, 195), y = BlockOf(state, 196);
  double worst = 0;
  for (const Target& t : Targets(points)) {
    const std::array<int, 2> raw = RawOf(kind, t);
    worst = std::max({worst, std::fabs(Evaluate(x, raw[0], raw[1]) - t.x),
                      std::fabs(Evaluate(y, raw[0], raw[1]) - t.y)});
  }
  std::printf("largest error %.3f units of 1/32768\n", worst);
  return worst <= 2.0 ? 0 : 1;
}

int CalibrateScene(const std::string& state_path, const std::string& scene_path) {
  lumaro::trace::ControllerState state;
  if (!LoadState(state_path, &state)) return 2;
  const ParamBlock x = BlockOf(state, 195), y = BlockOf(state, 196), config = BlockOf(state, 206);
  std::ifstream in(scene_path);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    long scan = 0, finger = 0;
    double u = 0, v = 0;
    if (std::sscanf(line.c_str(), "# truth %ld %ld %lf %lf", &scan, &finger, &u, &v) == 4) {
      // Where the calibrated daemon should report this finger.
      std::printf("# truth %ld %ld %ld %ld\n", scan, finger, std::lround(Evaluate(x, u, v)),
                  std::lround(Evaluate(y, u, v)));
      continue;
    }
    std::puts(line.c_str());
    if (first) {
      for (unsigned code : {195u, 196u, 206u}) {
        const ParamBlock& b = code == 195 ? x : code == 196 ? y : config;
        std::printf("block %u %s\n", code, lumaro::trace::ToHex(b.data(), b.size()).c_str());
      }
      first = false;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() >= 3 && args[0] == "pass") {
    return Pass(std::atoi(args[1].c_str()), args[2], args.size() > 3 && args[3] == "stray");
  }
  if (args.size() == 4 && args[0] == "check")
    return Check(args[1], std::atoi(args[2].c_str()), args[3]);
  if (args.size() == 3 && args[0] == "calibrate-scene") return CalibrateScene(args[1], args[2]);
  std::fprintf(stderr, "usage: see the head of calib_probe.cpp\n");
  return 2;
}
