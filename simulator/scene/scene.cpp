#include "simulator/scene/scene.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "driver-interface/blocks.h"
#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"
#include "trace/trace.h"

namespace lumaro::sim {
namespace {

constexpr int kLineSamples = 1280;
constexpr double kQuarterPi = 0.7853981633974483;
// A first half-frame keeps at most 59 bytes of line data.
constexpr std::size_t kMaxCodes = 59;
// The scenes' controller: 4096 x 3072 device units across the whole
// baseline, so report X = 32768 x and report Y = 32768 * 4/3 y.
constexpr std::int32_t kDeviceWidth = 4096;
constexpr std::int32_t kDeviceHeight = 3072;
constexpr std::int32_t kPairingRatio = 1024;  // 1024 / 4096 = 0.25 baseline units

// The angle polynomial as the daemon derives it from a lens block: camera
// B's coefficients negated.
struct AngleModel {
  std::array<double, 8> k{};
  double start = 0;
  double end = kLineSamples;

  AngleModel(const LensSpec& lens, bool camera_b) {
    const float sign = camera_b ? -1.0f : 1.0f;
    k[0] = sign * (lens.gain * lens.c[0] + lens.c[8]);
    for (int i = 1; i < 8; ++i) k[i] = sign * (lens.c[i] * lens.gain);
    start = std::clamp(2.0 * lens.pixel_start, 0.0, double{kLineSamples});
    end = std::clamp(2.0 * lens.pixel_end, start, double{kLineSamples});
  }
  double Angle(double sample) const {
    const double u = sample / 640.0 - 1.0;
    double acc = k[7];
    for (int i = 6; i >= 0; --i) acc = acc * u + k[i];
    return acc + kQuarterPi;
  }
  // The sample position whose angle is `angle`, by bisection over the
  // window; the lens polynomial is monotonic there.
  double SampleOf(double angle) const {
    double lo = start, hi = end;
    const bool rising = Angle(end) >= Angle(start);
    for (int i = 0; i < 64; ++i) {
      const double mid = 0.5 * (lo + hi);
      if ((Angle(mid) < angle) == rising) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    return 0.5 * (lo + hi);
  }
};

std::uint8_t FullCode(int value, int length) {
  // The controller maps each byte b to t = (161 b - 51) mod 256, value t & 1
  // and length (t >> 1) + 1; 97 is 161's inverse modulo 256.
  const int t = 2 * (length - 1) + value;
  return static_cast<std::uint8_t>(((t + 51) * 97) % 256);
}

ParamBlock LensBlock(const LensSpec& lens, std::uint8_t orientation) {
  ParamBlock b{};
  b[0] = orientation;
  Put<std::int32_t, 2>(b, lens.pixel_start);
  Put<std::int32_t, 6>(b, lens.pixel_end);
  for (std::size_t i = 0; i < lens.c.size(); ++i) PutAt<float>(b, 10 + 4 * i, lens.c[i]);
  Put<float, 46>(b, lens.gain);
  return b;
}

std::string BlockLine(unsigned long code, const std::uint8_t* bytes, std::size_t size) {
  return "block " + std::to_string(code) + " " + trace::ToHex(bytes, size) + "\n";
}

// Dirt, blocked cameras and flicker, on the scan's two line images (camera
// A, then camera B).
void ApplyFaults(const Scene& scene, int scan, std::mt19937& rng,
                 std::vector<std::uint8_t> (&lines)[2]) {
  for (const Dirt& dirt : scene.dirt) {
    std::fill(lines[dirt.camera].begin() + dirt.first, lines[dirt.camera].begin() + dirt.end, 1);
  }
  for (const Blocking& blocking : scene.blocked) {
    if (scan >= blocking.from && scan <= blocking.to) {
      std::fill(lines[blocking.camera].begin(), lines[blocking.camera].end(), 1);
    }
  }
  constexpr int kEdgeClearance = 8;
  constexpr int kMaxSpeck = 6;
  for (const Flicker& flicker : scene.flicker) {
    const LensSpec& lens = flicker.camera == 0 ? scene.lens_a : scene.lens_b;
    const int low = 2 * lens.pixel_start + kEdgeClearance;
    const int high = 2 * lens.pixel_end - kEdgeClearance - kMaxSpeck;
    std::uniform_real_distribution<double> chance(0.0, 100.0);
    std::uniform_int_distribution<int> width(2, kMaxSpeck);
    const int whole = static_cast<int>(flicker.rate / 100.0);
    const int specks = whole + (chance(rng) < flicker.rate - 100.0 * whole ? 1 : 0);
    for (int i = 0; i < specks && high > low; ++i) {
      const int at = std::uniform_int_distribution<int>(low, high)(rng);
      const int end = at + width(rng);
      // A speck of shadow on light, or a hole of light in a shadow.
      for (int p = at; p < end; ++p) lines[flicker.camera][p] ^= 1;
    }
  }
}

}  // namespace

bool FingerAt(const Finger& finger, int scan, double* x, double* y) {
  if (finger.keys.empty() || scan < finger.keys.front().scan || scan > finger.keys.back().scan) {
    return false;
  }
  for (std::size_t i = 0; i + 1 < finger.keys.size(); ++i) {
    const Keyframe& a = finger.keys[i];
    const Keyframe& b = finger.keys[i + 1];
    if (scan <= b.scan) {
      const double f = b.scan == a.scan ? 1.0 : double(scan - a.scan) / (b.scan - a.scan);
      *x = a.x + f * (b.x - a.x);
      *y = a.y + f * (b.y - a.y);
      return true;
    }
  }
  *x = finger.keys.back().x;
  *y = finger.keys.back().y;
  return true;
}

bool ShadowSamples(const LensSpec& lens, bool camera_b, double x, double y, double radius,
                   int* start, int* end) {
  const double dx = camera_b ? 1.0 - x : x;
  const double distance = std::sqrt(dx * dx + y * y);
  if (y <= 0 || distance <= radius) return false;
  const double centre = std::atan2(dx, y);
  const double half = std::asin(radius / distance);
  const AngleModel model(lens, camera_b);
  const double low = std::min(model.Angle(model.start), model.Angle(model.end));
  const double high = std::max(model.Angle(model.start), model.Angle(model.end));
  if (centre + half < low || centre - half > high) return false;
  double a = model.SampleOf(centre - half);
  double b = model.SampleOf(centre + half);
  if (a > b) std::swap(a, b);
  // Samples whose centres lie inside the disc's angle; at least one.
  *start = static_cast<int>(std::ceil(a - 0.5));
  *end = static_cast<int>(std::floor(b - 0.5)) + 1;
  if (*end <= *start) *end = *start + 1;
  *start = std::clamp(*start, static_cast<int>(model.start), static_cast<int>(model.end));
  *end = std::clamp(*end, *start, static_cast<int>(model.end));
  return *start < *end;
}

std::vector<std::uint8_t> EncodeLine(const std::vector<std::uint8_t>& line, bool half_resolution) {
  const int unit = half_resolution ? 2 : 1;
  const int max_run = half_resolution ? 256 : 128;
  auto shadowed = [&](int i) {
    return line[i] != 0 || (half_resolution && i + 1 < kLineSamples && line[i + 1] != 0);
  };
  // Up to the last shadowed sample: the decoder lights the rest.
  int last = kLineSamples;
  while (last > 0 && line[last - 1] == 0) --last;
  if (half_resolution) last = (last + 1) / 2 * 2;
  std::vector<std::uint8_t> codes;
  int i = 0;
  int value = 0;
  while (i < last && codes.size() < kMaxCodes) {
    int length = 0;
    while (i + length < last && int{shadowed(i + length)} == value && length + unit <= max_run) {
      length += unit;
    }
    if (length == 0) length = unit;  // the first run must be lit
    codes.push_back(half_resolution ? static_cast<std::uint8_t>(((length / 2 - 1) << 1) | value)
                                    : FullCode(value, length));
    i += length;
    if (i < last && int{shadowed(i)} != value) value ^= 1;
  }
  return codes;
}

void TruthInReportUnits(const Scene& scene, double x, double y, std::int64_t* rx,
                        std::int64_t* ry) {
  const double x_scale = 32768.0;
  const double y_scale = 32768.0 * kDeviceWidth / kDeviceHeight;
  const std::int64_t raw_x = static_cast<std::int64_t>(x_scale * x);
  const std::int64_t raw_y = static_cast<std::int64_t>(y_scale * y);
  if (!scene.calibrated) {
    *rx = raw_x;
    *ry = raw_y;
    return;
  }
  const float u = static_cast<float>(raw_x);
  const float v = static_cast<float>(raw_y);
  auto cubic = [u, v](const std::array<float, 10>& c) {
    return c[0] * v * v * v + c[1] * u * v * v + c[2] * u * u * v + c[3] * u * u * u +
           c[4] * v * v + c[5] * u * v + c[6] * u * u + c[7] * v + c[8] * u + c[9];
  };
  *rx = static_cast<std::int64_t>(cubic(scene.calib_x));
  *ry = static_cast<std::int64_t>(cubic(scene.calib_y));
}

namespace {

// The identity and blocks the scene's controller answers with.
std::string IdentityLines(const Scene& scene) {
  std::string text = "product 0x0c20\n";
  DeviceInfoBlock info{};
  info[1] = 5;
  const std::string size = "1920x1080";
  std::copy(size.begin(), size.end(), info.begin() + device_info::kSizeOffset);
  text += BlockLine(GET_DEVICE_INFO, info.data(), info.size());

  ParamBlock geometry{};
  geometry[0] = 1;
  Put<std::int32_t, 2>(geometry, kDeviceWidth);
  Put<std::int32_t, 6>(geometry, kDeviceHeight);
  Put<std::int32_t, 10>(geometry, 1);
  Put<std::int32_t, 14>(geometry, kPairingRatio);
  Put<std::int32_t, 30>(geometry, 1);
  Put<float, 34>(geometry, 0.5f);
  text += BlockLine(GET_GEOMETRY, geometry.data(), geometry.size());
  const ParamBlock lens_b = LensBlock(scene.lens_b, scene.orientation);
  const ParamBlock lens_a = LensBlock(scene.lens_a, 0);
  text += BlockLine(GET_LENS_B, lens_b.data(), lens_b.size());
  text += BlockLine(GET_LENS_A, lens_a.data(), lens_a.size());
  if (scene.calibrated) {
    ParamBlock x{}, y{}, config{};
    for (int i = 0; i < 10; ++i) {
      calib::SetCoefficient(x, i, scene.calib_x[i]);
      calib::SetCoefficient(y, i, scene.calib_y[i]);
    }
    device_config::SetAreaRight(config, kDeviceWidth);
    device_config::SetAreaBottom(config, kDeviceHeight);
    device_config::SetCalibState(config, 1);
    text += BlockLine(GET_CALIB_PARA_X, x.data(), x.size());
    text += BlockLine(GET_CALIB_PARA_Y, y.data(), y.size());
    text += BlockLine(GET_DEVICE_CONFIG, config.data(), config.size());
  }
  return text;
}

using Lines = std::vector<std::uint8_t>[2];

// Casts each finger's shadow on both cameras' lines (0: camera A, 1: camera
// B) and writes its truth line.
void CastFingers(const Scene& scene, int scan, std::mt19937& rng, Lines& lines, std::string* text) {
  std::uniform_int_distribution<int> jitter(-scene.pixel_noise, scene.pixel_noise);
  for (std::size_t f = 0; f < scene.fingers.size(); ++f) {
    double x = 0, y = 0;
    if (!FingerAt(scene.fingers[f], scan, &x, &y)) continue;
    std::int64_t rx = 0, ry = 0;
    TruthInReportUnits(scene, x, y, &rx, &ry);
    *text += "# truth " + std::to_string(scan) + " " + std::to_string(f) + " " +
             std::to_string(rx) + " " + std::to_string(ry) + "\n";
    for (int camera = 0; camera < 2; ++camera) {
      int start = 0, end = 0;
      const LensSpec& lens = camera == 0 ? scene.lens_a : scene.lens_b;
      if (!ShadowSamples(lens, camera == 1, x, y, scene.fingers[f].radius, &start, &end)) {
        continue;
      }
      if (scene.pixel_noise > 0) {
        start = std::clamp(start + jitter(rng), 0, kLineSamples - 1);
        end = std::clamp(end + jitter(rng), start + 1, kLineSamples);
      }
      std::fill(lines[camera].begin() + start, lines[camera].begin() + end, 1);
    }
  }
}

// The scan's link events as trace lines; a re-identification marks the
// scan's first half-frame, a drop loses it.
void ScanEvents(const Scene& scene, int scan, std::string* text, std::uint8_t* marker,
                bool* drop_first_half) {
  for (const SceneEvent& event : scene.events) {
    if (event.scan != scan) continue;
    switch (event.kind) {
      case SceneEvent::Kind::kReinit:
        *marker = kReinitFrameMarker;
        break;
      case SceneEvent::Kind::kReadError:
        *text += "readerr " + std::to_string(event.value) + "\n";
        break;
      case SceneEvent::Kind::kUnplug:
        *text += "unplug\nwait " + std::to_string(event.value) + "\nplug\n";
        break;
      case SceneEvent::Kind::kReadZero:
        *text += "readzero\n";
        break;
      case SceneEvent::Kind::kDrop:
        *drop_first_half = true;
        break;
    }
  }
}

}  // namespace

std::string RenderTrace(const Scene& scene) {
  std::string text = trace::HeaderLine() + "\n";
  if (!scene.title.empty()) text += "# " + scene.title + "\n";
  text += IdentityLines(scene);

  std::mt19937 rng(scene.seed);
  // A generator of its own, so that faults leave the fingers' jitter as it was.
  std::mt19937 flicker_rng(scene.seed ^ 0x5eed5eedu);
  const bool first_half_is_a = (scene.orientation & 3) != 0;
  for (int scan = 0; scan < scene.scans; ++scan) {
    Lines lines = {std::vector<std::uint8_t>(kLineSamples, 0),
                   std::vector<std::uint8_t>(kLineSamples, 0)};
    CastFingers(scene, scan, rng, lines, &text);
    ApplyFaults(scene, scan, flicker_rng, lines);
    std::uint8_t marker = 0;
    bool drop_first_half = false;
    ScanEvents(scene, scan, &text, &marker, &drop_first_half);
    const bool half_resolution =
        scene.coding == Coding::kHalf || (scene.coding == Coding::kAlternate && scan % 2 == 1);
    for (int half = drop_first_half ? 1 : 0; half < 2; ++half) {
      const bool camera_a = (half == 0) == first_half_is_a;
      const std::vector<std::uint8_t> codes = EncodeLine(lines[camera_a ? 0 : 1], half_resolution);
      // The five header bytes, then the line's codes.
      std::vector<std::uint8_t> frame(5 + codes.size());
      frame[0] = half == 0 ? marker : std::uint8_t{0};
      frame[2] = 0x01;
      frame[3] = static_cast<std::uint8_t>(codes.size() + 1);
      frame[4] = static_cast<std::uint8_t>(half);
      std::copy(codes.begin(), codes.end(), frame.begin() + 5);
      text += "frame " + trace::ToHex(frame.data(), frame.size()) + "\n";
    }
  }
  return text;
}

}  // namespace lumaro::sim
