#include "tools/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "driver-interface/blocks.h"
#include "trace/trace.h"

namespace lumaro::tools {
namespace {

constexpr int kLinePixels = 1280;
constexpr double kQuarterPi = 0.7853981633974483;
constexpr double kLensSlope = 1.15;
// Line data that fits the first half-frame's 59-byte store.
constexpr std::size_t kMaxCodes = 59;

double AngleToPixel(double angle, bool camera_b) {
  const double u = (angle - kQuarterPi) / kLensSlope;
  return 640.0 * ((camera_b ? -u : u) + 1.0);
}

// The inverse of the controller's byte mapping t = (161 b - 51) mod 256.
std::uint8_t CodeFor(int value, int length) {
  const int t = 2 * (length - 1) + value;
  // 161 * 97 = 15617 = 61 * 256 + 1, so 97 is 161's inverse modulo 256.
  return static_cast<std::uint8_t>(((t + 51) * 97) % 256);
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  return trace::ToHex(bytes.data(), bytes.size());
}

ParamBlock GeometryBlock() {
  // 4096 x 3072 device units over the whole baseline; a pairing radius of
  // 1024 / 4096 = 0.25 baseline units.
  ParamBlock b{};
  b[0] = 1;
  Put<std::int32_t, 2>(b, 4096);
  Put<std::int32_t, 6>(b, 3072);
  Put<std::int32_t, 10>(b, 1);
  Put<std::int32_t, 14>(b, 1024);
  Put<std::int32_t, 30>(b, 1);
  Put<float, 34>(b, 0.5f);
  return b;
}

ParamBlock LensBlock() {
  // The default lens, stated explicitly: window 0..640 sensor pixels
  // (0..1280 line samples), c1 = 1.15, gain 1.
  ParamBlock b{};
  Put<std::int32_t, 6>(b, 640);
  Put<float, 14>(b, 1.15f);
  Put<float, 46>(b, 1.0f);
  return b;
}

}  // namespace

bool ShadowPixels(const TrackPoint& p, double radius, bool camera_b, int* start, int* end) {
  const double dx = camera_b ? 1.0 - p.x : p.x;
  const double distance = std::sqrt(dx * dx + p.y * p.y);
  if (p.y <= 0 || distance <= radius) return false;
  const double centre = std::atan2(dx, p.y);
  const double half = std::asin(radius / distance);
  double a = AngleToPixel(centre - half, camera_b);
  double b = AngleToPixel(centre + half, camera_b);
  if (a > b) std::swap(a, b);
  *start = std::clamp(static_cast<int>(std::lround(a)), 0, kLinePixels);
  *end = std::clamp(static_cast<int>(std::lround(b)), 0, kLinePixels);
  if (*end == *start && *end < kLinePixels) ++*end;  // a finger casts at least one pixel
  return *start < *end;
}

std::vector<std::uint8_t> EncodeLine(const std::vector<std::uint8_t>& line, std::size_t max_codes) {
  std::vector<std::uint8_t> codes;
  // The line ends lit: runs up to the last shadowed pixel are enough.
  int last = kLinePixels;
  while (last > 0 && line[last - 1] == 0) --last;
  int i = 0;
  int value = 0;  // the first run is lit, possibly of length 0: see below
  while (i < last && codes.size() < max_codes) {
    int length = 0;
    while (i + length < last && line[i + length] == value && length < 128) ++length;
    if (length == 0) {
      // A run of the other value starts here; an empty run cannot be coded,
      // so the line starts shadowed only from pixel 1 on.
      length = 1;
    }
    codes.push_back(CodeFor(value, length));
    i += length;
    if (i < last && line[i] != value) value ^= 1;
  }
  return codes;
}

std::string SceneTrace(const Scene& scene) {
  std::mt19937 noise(scene.seed);
  std::string text = trace::HeaderLine() + "\n";
  if (!scene.title.empty()) text += "# " + scene.title + "\n";
  DeviceInfoBlock info{};
  info[1] = 5;
  const char size[] = "1920x1080";
  std::copy(size, size + sizeof size - 1, info.begin() + device_info::kSizeOffset);
  const ParamBlock geometry = GeometryBlock();
  const ParamBlock lens = LensBlock();
  text += "product 0x0c20\n";
  text += "block 201 " + trace::ToHex(info.data(), info.size()) + "\n";
  text += "block 240 " + trace::ToHex(geometry.data(), geometry.size()) + "\n";
  text += "block 241 " + trace::ToHex(lens.data(), lens.size()) + "\n";
  text += "block 242 " + trace::ToHex(lens.data(), lens.size()) + "\n";

  std::uniform_int_distribution<int> jitter(-scene.pixel_noise, scene.pixel_noise);
  for (int scan = 0; scan < scene.scans; ++scan) {
    std::vector<std::uint8_t> lines[2] = {std::vector<std::uint8_t>(kLinePixels, 0),
                                          std::vector<std::uint8_t>(kLinePixels, 0)};
    for (const Track& track : scene.tracks) {
      const int index = scan - track.first_scan;
      if (index < 0 || index >= static_cast<int>(track.points.size())) continue;
      for (int camera = 0; camera < 2; ++camera) {
        int start = 0, end = 0;
        if (!ShadowPixels(track.points[index], track.radius, camera == 1, &start, &end)) continue;
        if (scene.pixel_noise > 0) {
          start = std::clamp(start + jitter(noise), 0, kLinePixels - 1);
          end = std::clamp(end + jitter(noise), start + 1, kLinePixels);
        }
        std::fill(lines[camera].begin() + start, lines[camera].begin() + end, 1);
      }
    }
    // Half 0 is camera B, half 1 camera A (orientation 0).
    for (int half = 0; half < 2; ++half) {
      const std::vector<std::uint8_t> codes = EncodeLine(lines[half == 0 ? 1 : 0], kMaxCodes);
      std::vector<std::uint8_t> frame = {0x00, 0x00, 0x01,
                                         static_cast<std::uint8_t>(codes.size() + 1),
                                         static_cast<std::uint8_t>(half)};
      frame.insert(frame.end(), codes.begin(), codes.end());
      text += "frame " + Hex(frame) + "\n";
    }
  }
  return text;
}

bool MakeScene(const std::string& name, std::uint32_t seed, Scene* scene) {
  *scene = Scene{};
  scene->seed = seed;
  auto line = [](TrackPoint from, TrackPoint to, int steps) {
    std::vector<TrackPoint> points;
    for (int i = 0; i < steps; ++i) {
      const double f = steps == 1 ? 0.0 : static_cast<double>(i) / (steps - 1);
      points.push_back({from.x + f * (to.x - from.x), from.y + f * (to.y - from.y)});
    }
    return points;
  };
  if (name == "demo") {
    scene->title = "demo: a finger slides, a tap, then two fingers pinch";
    scene->scans = 420;
    scene->tracks.push_back({20, line({0.2, 0.2}, {0.8, 0.5}, 120), 0.008});
    scene->tracks.push_back({170, line({0.5, 0.3}, {0.5, 0.3}, 8), 0.008});
    scene->tracks.push_back({220, line({0.3, 0.35}, {0.45, 0.4}, 150), 0.008});
    scene->tracks.push_back({230, line({0.75, 0.5}, {0.6, 0.45}, 140), 0.008});
    return true;
  }
  if (name == "random") {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> x(0.1, 0.9), y(0.1, 0.7), r(0.004, 0.015);
    std::uniform_int_distribution<int> length(1, 90), pause(0, 30), fingers(1, 2);
    scene->title = "random strokes, seed " + std::to_string(seed);
    scene->pixel_noise = 1;
    int scan = 5;
    for (int stroke = 0; stroke < 12; ++stroke) {
      const int count = fingers(rng);
      int longest = 0;
      for (int f = 0; f < count; ++f) {
        const int steps = length(rng);
        longest = std::max(longest, steps);
        scene->tracks.push_back(
            {scan + f * pause(rng) / 4, line({x(rng), y(rng)}, {x(rng), y(rng)}, steps), r(rng)});
      }
      scan += longest + pause(rng) + 8;
    }
    scene->scans = scan + 10;
    return true;
  }
  return false;
}

}  // namespace lumaro::tools
