// Scene generator: turns finger tracks on the touch surface into the frames
// a two-camera controller would send, and writes them as a trace.
//
// Geometry in baseline units: camera A at (0, 0), camera B at (1, 0), the
// touch area at Y > 0. Each camera sees a finger as a shadow whose centre is
// the finger's viewing angle and whose width is the angle the finger spans.
// The lenses are the controller's defaults (angle = pi/4 + 1.15 u for camera
// A and pi/4 - 1.15 u for camera B, u = pixel / 640 - 1).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace lumaro::tools {

struct TrackPoint {
  double x;
  double y;
};

// One finger: where it is in each scan from `first_scan` on.
struct Track {
  int first_scan = 0;
  std::vector<TrackPoint> points;
  double radius = 0.008;  // baseline units
};

struct Scene {
  std::string title;
  int scans = 0;
  std::vector<Track> tracks;
  int pixel_noise = 0;  // shadow edges move by up to this many pixels
  std::uint32_t seed = 1;
};

// The shadow pixels [start, end) of a finger in camera A (camera_b false) or
// camera B, clamped to the line; false when the finger is outside the view.
bool ShadowPixels(const TrackPoint& p, double radius, bool camera_b, int* start, int* end);

// Run-length codes (full-resolution coding) of a line with the given
// shadowed pixels; at most `max_codes` codes, the rest of the line lit.
std::vector<std::uint8_t> EncodeLine(const std::vector<std::uint8_t>& line, std::size_t max_codes);

// The whole trace text: controller identity and blocks, then two half-frames
// per scan (camera B's first, as the controller's default orientation says).
std::string SceneTrace(const Scene& scene);

// Built-in scenes: "demo" (a slide, a tap, two fingers) or "random" (random
// strokes, one or two fingers at a time).
bool MakeScene(const std::string& name, std::uint32_t seed, Scene* scene);

}  // namespace lumaro::tools
