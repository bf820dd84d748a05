// Synthetic scenes: fingers as discs moving along keyframed paths over the
// touch surface, rendered into the frames a two-camera controller sends.
//
// Geometry in baseline units: camera A at (0, 0), camera B at (1, 0), the
// touch area at Y > 0. A camera sees a finger as a shadow spanning the angle
// the disc subtends; which line samples that covers follows from inverting
// the camera's lens polynomial numerically. The scene also states the
// controller's blocks (geometry, lenses, orientation, calibration) and the
// ground truth of every scan in report units.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lumaro::sim {

struct Keyframe {
  int scan;
  double x;
  double y;
};

struct Finger {
  double radius = 0.008;
  std::vector<Keyframe> keys;  // ascending scans; present from the first to the last
};

// One camera's lens as its parameter block states it: coefficients c0..c8
// and gain, and the window in sensor pixels (doubled into line samples).
struct LensSpec {
  std::array<float, 9> c{0, 1.15f, 0, 0, 0, 0, 0, 0, 0};
  float gain = 1.0f;
  std::int32_t pixel_start = 0;
  std::int32_t pixel_end = 640;
};

enum class Coding : std::uint8_t { kFull, kHalf, kAlternate };

// Something the controller does at a scan besides sending its frames.
struct SceneEvent {
  // kReadZero: a read of 0 bytes; kDrop: the scan's first half-frame is lost.
  enum class Kind : std::uint8_t { kReinit, kReadError, kUnplug, kReadZero, kDrop };
  int scan = 0;
  Kind kind = Kind::kReinit;
  int value = 0;  // errno of a read error, milliseconds of an unplug
};

// Faults of a camera's view. Camera 0 is A, 1 is B.
struct Dirt {  // a permanent shadow on samples [first, end)
  int camera = 0;
  int first = 0;
  int end = 0;
};
struct Blocking {  // no light from scan `from` to scan `to`, both included
  int camera = 0;
  int from = 0;
  int to = 0;
};
struct Flicker {  // single-scan specks and holes, `rate` per 100 scans on average
  int camera = 0;
  double rate = 0;
};

struct Scene {
  std::string title;
  int scans = 0;
  Coding coding = Coding::kFull;
  std::uint8_t orientation = 0;  // camera B lens byte 0; bits 0-1 non-zero: half 0 is camera A
  LensSpec lens_a;
  LensSpec lens_b;
  bool calibrated = false;
  std::array<float, 10> calib_x{0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  std::array<float, 10> calib_y{0, 0, 0, 0, 0, 0, 0, 1, 0, 0};
  int pixel_noise = 0;  // shadow edges move by up to this many samples
  std::uint32_t seed = 1;
  std::vector<Finger> fingers;
  std::vector<SceneEvent> events;
  std::vector<Dirt> dirt;
  std::vector<Blocking> blocked;
  std::vector<Flicker> flicker;
};

// Where a finger is at a scan; false when it is not on the surface then.
bool FingerAt(const Finger& finger, int scan, double* x, double* y);

// Line samples [start, end) shadowed by a disc, for camera A (camera_b
// false) or camera B; false when the camera does not see it.
bool ShadowSamples(const LensSpec& lens, bool camera_b, double x, double y, double radius,
                   int* start, int* end);

// Run-length codes of a line image (1280 samples, 1 = shadowed), in
// full-resolution or half-resolution coding. The first run is always lit, so
// a shadow at sample 0 starts at sample 1 (2 in half resolution).
std::vector<std::uint8_t> EncodeLine(const std::vector<std::uint8_t>& line, bool half_resolution);

// The true position of a finger in report units, as the controller's
// geometry and calibration map it.
void TruthInReportUnits(const Scene& scene, double x, double y, std::int64_t* rx, std::int64_t* ry);

// The whole trace: identity and blocks, then per scan its `# truth` lines,
// any event, and the two half-frames.
std::string RenderTrace(const Scene& scene);

}  // namespace lumaro::sim
