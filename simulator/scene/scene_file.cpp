#include "simulator/scene/scene_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

namespace lumaro::sim {
namespace {

bool Number(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  *out = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(*out);
}

// 64 bits on every target: a seed takes the whole uint32 range.
bool Integer(const std::string& text, std::int64_t min, std::int64_t max, std::int64_t* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  *out = std::strtoll(text.c_str(), &end, 10);
  return end == text.c_str() + text.size() && *out >= min && *out <= max;
}

constexpr std::int64_t kMaxScans = 10'000'000;

using Fields = std::vector<std::string>;

std::string Title(const Fields& f, Scene* scene) {
  scene->title.clear();
  for (std::size_t i = 1; i < f.size(); ++i) scene->title += (i > 1 ? " " : "") + f[i];
  return {};
}

std::string Scans(const Fields& f, Scene* scene) {
  std::int64_t n = 0;
  if (f.size() != 2 || !Integer(f[1], 1, kMaxScans, &n)) return "scans takes a count from 1";
  scene->scans = static_cast<int>(n);
  return {};
}

std::string CodingOf(const Fields& f, Scene* scene) {
  constexpr std::pair<const char*, Coding> kCodings[] = {
      {"full", Coding::kFull}, {"half", Coding::kHalf}, {"alternate", Coding::kAlternate}};
  for (const auto& [word, coding] : kCodings) {
    if (f.size() == 2 && f[1] == word) {
      scene->coding = coding;
      return {};
    }
  }
  return "coding takes full, half or alternate";
}

std::string Orientation(const Fields& f, Scene* scene) {
  std::int64_t n = 0;
  if (f.size() != 2 || !Integer(f[1], 0, 255, &n)) return "orientation takes 0 to 255";
  scene->orientation = static_cast<std::uint8_t>(n);
  return {};
}

std::string Lens(const Fields& f, Scene* scene) {
  if (f.size() != 14 || (f[1] != "a" && f[1] != "b")) {
    return "lens takes a or b, then C0 .. C8, GAIN, START and END";
  }
  LensSpec& lens = f[1] == "a" ? scene->lens_a : scene->lens_b;
  for (int i = 0; i < 10; ++i) {
    double v = 0;
    if (!Number(f[2 + i], &v)) return "lens coefficient '" + f[2 + i] + "' is not a number";
    (i < 9 ? lens.c[i] : lens.gain) = static_cast<float>(v);
  }
  std::int64_t start = 0, end = 0;
  if (!Integer(f[12], 0, 640, &start) || !Integer(f[13], start + 1, 640, &end)) {
    return "lens window must satisfy 0 <= START < END <= 640";
  }
  lens.pixel_start = static_cast<std::int32_t>(start);
  lens.pixel_end = static_cast<std::int32_t>(end);
  return {};
}

std::string Calibration(const Fields& f, Scene* scene) {
  if (f.size() != 12 || (f[1] != "x" && f[1] != "y"))
    return "calibration takes x or y, then C0 .. C9";
  std::array<float, 10>& c = f[1] == "x" ? scene->calib_x : scene->calib_y;
  for (int i = 0; i < 10; ++i) {
    double v = 0;
    if (!Number(f[2 + i], &v)) return "coefficient '" + f[2 + i] + "' is not a number";
    c[i] = static_cast<float>(v);
  }
  scene->calibrated = true;
  return {};
}

std::string Noise(const Fields& f, Scene* scene) {
  std::int64_t n = 0;
  if (f.size() != 2 || !Integer(f[1], 0, 64, &n)) return "noise takes 0 to 64 samples";
  scene->pixel_noise = static_cast<int>(n);
  return {};
}

std::string Seed(const Fields& f, Scene* scene) {
  std::int64_t n = 0;
  if (f.size() != 2 || !Integer(f[1], 0, 0xFFFFFFFF, &n)) return "seed takes a number";
  scene->seed = static_cast<std::uint32_t>(n);
  return {};
}

std::string FingerOf(const Fields& f, Scene* scene) {
  double v = 0;
  if (f.size() != 2 || !Number(f[1], &v) || v <= 0 || v >= 0.5) {
    return "finger takes a radius between 0 and 0.5";
  }
  scene->fingers.push_back(Finger{v, {}});
  return {};
}

// The last finger's keyframes, and the scan the next must not come before.
std::string LastFingerKeys(const Fields& f, Scene* scene, std::vector<Keyframe>** keys,
                           int* after) {
  if (scene->fingers.empty()) return f[0] + " needs a finger first";
  *keys = &scene->fingers.back().keys;
  *after = (*keys)->empty() ? -1 : (*keys)->back().scan;
  return {};
}

std::string Key(const Fields& f, Scene* scene) {
  std::vector<Keyframe>* keys = nullptr;
  int after = 0;
  if (std::string err = LastFingerKeys(f, scene, &keys, &after); !err.empty()) return err;
  std::int64_t n = 0;
  double x = 0, y = 0;
  if (f.size() != 4 || !Integer(f[1], 0, kMaxScans, &n) || !Number(f[2], &x) || !Number(f[3], &y)) {
    return "key takes SCAN X Y";
  }
  if (n < after) return "keyframes must come in scan order";
  keys->push_back({static_cast<int>(n), x, y});
  return {};
}

std::string Circle(const Fields& f, Scene* scene) {
  std::vector<Keyframe>* keys = nullptr;
  int after = 0;
  if (std::string err = LastFingerKeys(f, scene, &keys, &after); !err.empty()) return err;
  std::int64_t from = 0, to = 0;
  double cx = 0, cy = 0, r = 0, turns = 0, phase = 0;
  if (f.size() != 8 || !Integer(f[1], 0, kMaxScans, &from) ||
      !Integer(f[2], from, kMaxScans, &to) || !Number(f[3], &cx) || !Number(f[4], &cy) ||
      !Number(f[5], &r) || !Number(f[6], &turns) || !Number(f[7], &phase)) {
    return "circle takes FROM TO CX CY R TURNS PHASE";
  }
  if (from < after) return "keyframes must come in scan order";
  for (std::int64_t s = from; s <= to; ++s) {
    const double t = to == from ? 0.0 : double(s - from) / double(to - from);
    const double angle = (phase / 180.0 + 2.0 * turns * t) * 3.141592653589793;
    keys->push_back({static_cast<int>(s), cx + r * std::cos(angle), cy + r * std::sin(angle)});
  }
  return {};
}

std::string Event(const Fields& f, Scene* scene) {
  const std::size_t args = f.size() - 1;
  std::int64_t n = 0;
  SceneEvent event;
  if (args < 2 || !Integer(f[1], 0, kMaxScans, &n)) return "event takes SCAN and a kind";
  event.scan = static_cast<int>(n);
  if (f[2] == "reinit" && args == 2) {
    event.kind = SceneEvent::Kind::kReinit;
  } else if (f[2] == "readerr" && args == 3 && Integer(f[3], 1, 4095, &n)) {
    event.kind = SceneEvent::Kind::kReadError;
    event.value = static_cast<int>(n);
  } else if (f[2] == "unplug" && args == 3 && Integer(f[3], 0, 3600000, &n)) {
    event.kind = SceneEvent::Kind::kUnplug;
    event.value = static_cast<int>(n);
  } else if (f[2] == "readzero" && args == 2) {
    event.kind = SceneEvent::Kind::kReadZero;
  } else if (f[2] == "drop" && args == 2) {
    event.kind = SceneEvent::Kind::kDrop;
  } else {
    return "event takes reinit, readerr ERRNO, unplug MS, readzero or drop";
  }
  scene->events.push_back(event);
  return {};
}

// Camera a (0) or b (1) in the first field; -1 otherwise.
int CameraOf(const Fields& f) {
  return f.size() >= 2 && f[1] == "a" ? 0 : f.size() >= 2 && f[1] == "b" ? 1 : -1;
}

std::string Dirt(const Fields& f, Scene* scene) {
  const int camera = CameraOf(f);
  std::int64_t first = 0, end = 0;
  if (f.size() != 4 || camera < 0 || !Integer(f[2], 0, 1279, &first) ||
      !Integer(f[3], first + 1, 1280, &end)) {
    return "dirt takes a or b, then FIRST and END with 0 <= FIRST < END <= 1280";
  }
  scene->dirt.push_back({camera, static_cast<int>(first), static_cast<int>(end)});
  return {};
}

std::string Blocked(const Fields& f, Scene* scene) {
  const int camera = CameraOf(f);
  std::int64_t first = 0, end = 0;
  if (camera < 0 || (f.size() != 2 && f.size() != 4)) return "blocked takes a or b, then FROM TO";
  if (f.size() == 2) {
    end = kMaxScans;
  } else if (!Integer(f[2], 0, kMaxScans, &first) || !Integer(f[3], first, kMaxScans, &end)) {
    return "blocked takes scans FROM <= TO";
  }
  scene->blocked.push_back({camera, static_cast<int>(first), static_cast<int>(end)});
  return {};
}

std::string Flicker(const Fields& f, Scene* scene) {
  const int camera = CameraOf(f);
  double v = 0;
  if (f.size() != 3 || camera < 0 || !Number(f[2], &v) || v < 0 || v > 1000) {
    return "flicker takes a or b, then a rate from 0 to 1000 per 100 scans";
  }
  scene->flicker.push_back({camera, v});
  return {};
}

struct DirectiveSyntax {
  const char* name;
  std::string (*parse)(const Fields&, Scene*);
};

constexpr DirectiveSyntax kDirectives[] = {
    {"title", Title},     {"scans", Scans},
    {"coding", CodingOf}, {"orientation", Orientation},
    {"lens", Lens},       {"calibration", Calibration},
    {"noise", Noise},     {"seed", Seed},
    {"finger", FingerOf}, {"key", Key},
    {"circle", Circle},   {"event", Event},
    {"dirt", Dirt},       {"blocked", Blocked},
    {"flicker", Flicker},
};

// Parses one directive into the scene; returns the reason on failure.
std::string Directive(const Fields& f, Scene* scene) {
  for (const DirectiveSyntax& directive : kDirectives) {
    if (f[0] == directive.name) return directive.parse(f, scene);
  }
  return "unknown directive '" + f[0] + "'";
}

}  // namespace

bool ParseScene(std::string_view text, Scene* scene, std::string* error) {
  *scene = Scene{};
  std::istringstream in{std::string(text)};
  std::string line;
  int number = 0;
  bool header = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::vector<std::string> f;
    for (std::string w; words >> w;) f.push_back(w);
    if (f.empty() || f[0][0] == '#') continue;
    std::string reason;
    if (!header) {
      if (f.size() != 2 || f[0] != "lumaro-scene" || f[1] != "1") {
        reason = "not a scene: the first line must be 'lumaro-scene 1'";
      }
      header = true;
    } else {
      reason = Directive(f, scene);
    }
    if (!reason.empty()) {
      *error = "line " + std::to_string(number) + ": " + reason;
      return false;
    }
  }
  if (!header || scene->scans == 0) {
    *error = "line " + std::to_string(std::max(number, 1)) + ": a scene needs its header and scans";
    return false;
  }
  return true;
}

bool LoadSceneFile(const std::string& path, Scene* scene, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = path + ": cannot open";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!ParseScene(text.str(), scene, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace lumaro::sim
