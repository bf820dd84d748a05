#include "tools/doctor/diagnosis.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

#include "driver-interface/protocol.h"
#include "driver-interface/requests.h"

namespace lumaro::doctor {
namespace {

constexpr double kBlockedLitShare = 0.02;
constexpr int kBlockedWarnScans = 3;
constexpr double kObstructionShare = 0.95;
constexpr int kMinClearScans = 10;
constexpr int kObstructionMergeGap = 2;
// A shadow with another shadow this close in the scan before or after is a
// moving finger, not a speck.
constexpr int kSpeckReach = 64;
constexpr double kEdgeWarnShare = 0.2;
constexpr double kEdgeFailShare = 0.5;
constexpr int kEdgeWarnScans = 10;
// Two pairings whose size agreement differs by less than this were a close call.
constexpr double kCloseMargin = 0.05;
constexpr std::uint32_t kCameraProduct = 0x0c20;
constexpr double kReportMax = 32767;
constexpr double kPi = 3.141592653589793;

const char* CameraName(int camera) {
  return camera == kCameraA ? "A" : "B";
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// "240 GET_GEOMETRY".
std::string RequestName(unsigned long code) {
  const RequestInfo* info = FindTouchRequest(code);
  return Format("%lu%s%s", code, info != nullptr ? " " : "", info != nullptr ? info->name : "");
}

bool Unanswered(const IdentityProbe& id, unsigned long code) {
  return std::any_of(id.requests.begin(), id.requests.end(),
                     [code](const RequestProbe& r) { return r.code == code && !r.answered; });
}

// The identity's failure when a camera's lens block is unusable: a lens
// request the controller did not answer is named as the cause.
void LensFailure(const IdentityProbe& id, Check& c) {
  std::string unanswered, invalid;
  for (const auto& [camera, valid, request] : {std::tuple{"A", id.lens_a_valid, GET_LENS_A},
                                               std::tuple{"B", id.lens_b_valid, GET_LENS_B}}) {
    if (valid) continue;
    std::string& list = Unanswered(id, request) ? unanswered : invalid;
    list += Format("%s%s (request %s)", list.empty() ? "" : " and ", camera,
                   RequestName(request).c_str());
  }
  c.status = Status::kFail;
  if (!unanswered.empty()) {
    c.summary += "; the controller did not answer the lens request of camera " + unanswered +
                 ": the engine uses its default lens";
    c.action =
        "check the controller's connection and power, then run the doctor again; if the request "
        "still goes unanswered, the controller needs service";
  }
  if (!invalid.empty()) {
    c.summary +=
        "; the lens block of camera " + invalid + " is invalid: the engine uses its default lens";
    if (c.action.empty()) c.action = "have the controller's lens parameters rewritten";
  }
}

struct Window {
  int start = 0;
  int end = 0;
  LineBits mask;
};

Window WindowOf(const LensModel& lens) {
  Window w;
  w.start = std::clamp(lens.PixelStart, 0, kSamples);
  w.end = std::clamp(lens.PixelEnd, w.start, kSamples);
  for (int i = w.start; i < w.end; ++i) w.mask.set(i);
  return w;
}

void FindBlocked(const ProbeResult& probe, const Window& w, int camera, CameraFindings& f) {
  const double width = w.end - w.start;
  f.blocked.resize(probe.scans.size());
  for (std::size_t s = 0; s < probe.scans.size(); ++s) {
    const double lit = static_cast<double>((~probe.scans[s].lines[camera] & w.mask).count());
    f.blocked[s] = lit < kBlockedLitShare * width;
  }
}

void FindObstructions(const ProbeResult& probe, const std::array<Window, 2>& windows, int camera,
                      std::array<CameraFindings, 2>& findings) {
  const int other = 1 - camera;
  const Window& w = windows[camera];
  CameraFindings& f = findings[camera];
  std::vector<int> all(kSamples, 0), clear(kSamples, 0);
  int usable = 0, clear_scans = 0;
  for (std::size_t s = 0; s < probe.scans.size(); ++s) {
    if (f.blocked[s]) continue;
    const ScanProbe& scan = probe.scans[s];
    const bool other_clear = (scan.lines[other] & windows[other].mask).none();
    ++usable;
    clear_scans += other_clear ? 1 : 0;
    for (int i = w.start; i < w.end; ++i) {
      if (!scan.lines[camera][i]) continue;
      ++all[i];
      if (other_clear) ++clear[i];
    }
  }
  if (usable == 0 || clear_scans < kMinClearScans) return;
  auto persistent = [&](int i) {
    return all[i] >= kObstructionShare * usable && clear[i] >= kObstructionShare * clear_scans;
  };
  for (int i = w.start; i < w.end;) {
    if (!persistent(i)) {
      ++i;
      continue;
    }
    Obstruction o{i, i, 0, {}};
    while (i < w.end && persistent(i)) ++i;
    o.end = i;
    if (!f.obstructions.empty() && o.first - f.obstructions.back().end <= kObstructionMergeGap) {
      f.obstructions.back().end = o.end;
    } else {
      f.obstructions.push_back(o);
    }
  }
  for (Obstruction& o : f.obstructions) {
    int least = usable;
    for (int i = o.first; i < o.end; ++i) least = std::min(least, all[i]);
    o.share = static_cast<double>(least) / usable;
    o.border = BorderOf(probe, camera, 0.5 * (o.first + o.end));
  }
}

// Specks and holes: runs that differ from both sides in their own scan and
// from the same samples in the scans before and after; a shadow speck also
// has no shadow within kSpeckReach samples in those scans.
void FindSpecks(const ProbeResult& probe, const Window& w, int camera, CameraFindings& f,
                int* examined) {
  *examined = 0;
  const std::size_t n = probe.scans.size();
  for (std::size_t s = 1; s + 1 < n; ++s) {
    if (f.blocked[s - 1] || f.blocked[s] || f.blocked[s + 1]) continue;
    ++*examined;
    const LineBits& line = probe.scans[s].lines[camera];
    const LineBits& before = probe.scans[s - 1].lines[camera];
    const LineBits& after = probe.scans[s + 1].lines[camera];
    for (int i = w.start; i < w.end;) {
      const bool value = line[i];
      const int first = i;
      while (i < w.end && line[i] == value) ++i;
      if (first == w.start || i == w.end) continue;
      bool isolated = true;
      const int reach = value ? kSpeckReach : 1;
      const int low = std::max(first - reach, w.start), high = std::min(i + reach, w.end - 1);
      for (int j = low; j <= high && isolated; ++j) {
        isolated = before[j] != value && after[j] != value;
      }
      if (isolated) f.specks.push_back({static_cast<int>(s), first, i});
    }
  }
}

bool OverlapsObstruction(const CameraFindings& f, const ProbeShadow& shadow) {
  for (const Obstruction& o : f.obstructions) {
    if (shadow.first < o.end && o.first < shadow.end) return true;
  }
  return false;
}

Check LinkCheck(const ProbeResult& probe) {
  const LinkProbe& link = probe.link;
  Check c{"link", Status::kOk, "", "", ""};
  std::string errors;
  int error_count = 0;
  for (const auto& [error, count] : link.read_errors) {
    errors += Format("%s%d x %s", errors.empty() ? "" : ", ", count, ErrorName(error).c_str());
    error_count += count;
  }
  c.summary = Format(
      "%d session%s, %d frames, %zu scans; read errors %d%s%s%s, time-outs %d, empty reads %d, "
      "unplugs %d, re-identifications %d, frames dropped as malformed %d",
      link.sessions, link.sessions == 1 ? "" : "s", link.frames, probe.scans.size(), error_count,
      errors.empty() ? "" : " (", errors.c_str(), errors.empty() ? "" : ")", link.timeouts,
      link.empty_reads, link.unplugs, link.reidentifications, link.dropped_frames);
  if (probe.scans.empty()) {
    c.status = Status::kFail;
    c.summary = "no scan could be completed; " + c.summary;
    c.action = "check that the controller is connected and sends frames (USB cable, power)";
  } else if (link.sessions_ended_by_error > 0 || link.dropped_frames > 0) {
    c.status = Status::kWarn;
    c.action = "check the USB cable and its connectors; replace a cable that comes and goes";
  }
  c.json_extra = Format(
      ",\"sessions\":%d,\"read_errors\":%d,\"timeouts\":%d,\"empty_reads\":%d,\"unplugs\":%d,"
      "\"reidentifications\":%d,\"dropped_frames\":%d",
      link.sessions, error_count, link.timeouts, link.empty_reads, link.unplugs,
      link.reidentifications, link.dropped_frames);
  return c;
}

Check IdentityCheck(const ProbeResult& probe) {
  const IdentityProbe& id = probe.identity;
  Check c{"identity", Status::kOk, "", "", ""};
  std::string unanswered;
  for (const RequestProbe& r : id.requests) {
    if (!r.answered) {
      unanswered += Format("%s%s", unanswered.empty() ? "" : ", ", RequestName(r.code).c_str());
    }
  }
  c.summary = Format("product 0x%04x, series %d, size %s", id.product, id.series,
                     id.size_text.empty() ? "(none)" : id.size_text.c_str());
  if (id.requests.empty()) {
    c.status = Status::kFail;
    c.summary = "the controller was never identified";
    c.action = "check that the controller is connected";
  } else if (id.product != kCameraProduct) {
    c.status = Status::kFail;
    c.summary += "; not a camera controller (0x0c20): the engine is not set up";
    c.action = "connect the camera controller this frame needs";
  } else if (!id.lens_a_valid || !id.lens_b_valid) {
    LensFailure(id, c);
  } else if (!unanswered.empty() || !id.geometry_valid) {
    c.status = Status::kWarn;
    if (!unanswered.empty()) c.summary += "; unanswered requests: " + unanswered;
    if (!id.geometry_valid) c.summary += "; the geometry block is invalid: default scale";
    c.action = "have the controller's parameter blocks checked";
  } else {
    c.summary += "; every parameter block answered and valid";
  }
  return c;
}

Check CalibrationCheck(const ProbeResult& probe) {
  const CalibrationProbe& cal = probe.calibration;
  Check c{"calibration", Status::kOk, "", "", ""};
  if (!cal.calibrated) {
    c.status = Status::kWarn;
    c.summary = "not calibrated: reports are in the frame's own units";
    c.action = "calibrate with tapalign on the kiosk's display";
    return c;
  }
  auto finite = [](const std::array<float, 10>& k) {
    return std::all_of(k.begin(), k.end(), [](float v) { return std::isfinite(v); });
  };
  // The map's Jacobian over the report space, terms v^3, uv^2, u^2v, u^3,
  // v^2, uv, u^2, v, u, 1.
  auto partial_u = [](const std::array<float, 10>& k, double u, double v) {
    return k[1] * v * v + 2 * k[2] * u * v + 3 * k[3] * u * u + k[5] * v + 2 * k[6] * u + k[8];
  };
  auto partial_v = [](const std::array<float, 10>& k, double u, double v) {
    return 3 * k[0] * v * v + 2 * k[1] * u * v + k[2] * u * u + 2 * k[4] * v + k[5] * u + k[7];
  };
  int negative = 0, positive = 0, flat = 0, points = 0;
  bool all_finite = finite(cal.x) && finite(cal.y);
  for (int i = 0; i <= 4 && all_finite; ++i) {
    for (int j = 0; j <= 4; ++j, ++points) {
      const double u = kReportMax * i / 4, v = kReportMax * j / 4;
      const double det = partial_u(cal.x, u, v) * partial_v(cal.y, u, v) -
                         partial_v(cal.x, u, v) * partial_u(cal.y, u, v);
      if (!std::isfinite(det)) all_finite = false;
      if (std::fabs(det) < 1e-3) {
        ++flat;
      } else {
        (det < 0 ? negative : positive) += 1;
      }
    }
  }
  if (!all_finite) {
    c.status = Status::kFail;
    c.summary = "calibrated, but the stored map is not finite";
  } else if (negative == points) {
    c.status = Status::kFail;
    c.summary = "calibrated, but the stored map is mirrored against the screen";
  } else if (flat > 0 || negative > 0) {
    c.status = Status::kFail;
    c.summary = "calibrated, but the stored map is not invertible over the screen";
  } else {
    c.summary = "calibrated; the stored map is invertible and keeps the screen's orientation";
    return c;
  }
  c.action = "calibrate again with tapalign (tapalign -reset returns to the uncalibrated state)";
  return c;
}

std::string BorderText(const BorderPoint& b) {
  if (!b.valid) return "";
  return Format(
      ", angle %.1f degrees, reaching the border at (%.0f, %.0f), %s side, %.2f from the %s",
      b.angle_deg, b.x, b.y, b.side.c_str(), b.fraction,
      b.side == "top" || b.side == "bottom" ? "left" : "top");
}

// A check fails when `fail`, else warns when `warn`; one that does not pass
// gets `action`.
void Grade(Check& check, bool fail, bool warn, std::string action) {
  check.status = fail ? Status::kFail : warn ? Status::kWarn : Status::kOk;
  if (check.status != Status::kOk) check.action = std::move(action);
}

Check BlockedCheck(const std::string& cam, const char* name, const CameraFindings& f) {
  const std::size_t n = f.blocked.size();
  Check blocked;
  blocked.id = cam + ".blocked";
  const auto blocked_scans = static_cast<int>(std::count(f.blocked.begin(), f.blocked.end(), true));
  std::size_t best_first = 0, best_length = 0;
  for (std::size_t s = 0; s < n;) {
    if (!f.blocked[s]) {
      ++s;
      continue;
    }
    const std::size_t first = s;
    while (s < n && f.blocked[s]) ++s;
    if (s - first > best_length) best_first = first, best_length = s - first;
  }
  blocked.summary = Format("camera %s saw no light in %d of %zu scans", name, blocked_scans, n);
  if (best_length > 0) {
    blocked.summary +=
        Format(" (longest from scan %zu to %zu)", best_first, best_first + best_length - 1);
  }
  Grade(blocked, blocked_scans > 0.5 * static_cast<double>(n), blocked_scans >= kBlockedWarnScans,
        Format("check that nothing covers camera %s, that its illumination lights, "
               "and its cable inside the frame",
               name));
  blocked.json_extra = Format(",\"blocked_scans\":%d", blocked_scans);
  return blocked;
}

Check ObstructionCheck(const std::string& cam, const char* name, const CameraFindings& f) {
  Check obstruction;
  obstruction.id = cam + ".obstruction";
  if (f.obstructions.empty()) {
    obstruction.summary = Format("no shadow stays put in camera %s's view", name);
    return obstruction;
  }
  const Obstruction& o = *std::max_element(
      f.obstructions.begin(), f.obstructions.end(),
      [](const Obstruction& a, const Obstruction& b) { return a.end - a.first < b.end - b.first; });
  obstruction.status = Status::kFail;
  obstruction.summary =
      Format("a shadow stays on samples %d to %d of camera %s in %.0f%% of the scans", o.first,
             o.end - 1, name, 100 * o.share) +
      BorderText(o.border);
  if (f.obstructions.size() > 1) {
    obstruction.summary += Format(" (%zu such shadows)", f.obstructions.size());
  }
  obstruction.action =
      Format("clean camera %s's lens window", name) +
      (o.border.valid ? Format(" and the bezel on the %s side, %.0f%% of the way from the %s",
                               o.border.side.c_str(), 100 * o.border.fraction,
                               o.border.side == "top" || o.border.side == "bottom" ? "left" : "top")
                      : std::string());
  obstruction.json_extra = Format(",\"samples\":[%d,%d]", o.first, o.end);
  if (o.border.valid) {
    obstruction.json_extra += Format(
        ",\"angle_deg\":%.2f,\"border\":{\"x\":%.0f,\"y\":%.0f,\"side\":\"%s\",\"fraction\":%."
        "3f}",
        o.border.angle_deg, o.border.x, o.border.y, o.border.side.c_str(), o.border.fraction);
  }
  return obstruction;
}

Check NoiseCheck(const std::string& cam, const char* name, const CameraFindings& f, int examined) {
  Check noise;
  noise.id = cam + ".noise";
  const double rate = examined > 0 ? 100.0 * static_cast<double>(f.specks.size()) / examined : 0.0;
  noise.summary = Format("%zu single-scan specks or holes in camera %s's view, %.1f per 100 scans",
                         f.specks.size(), name, rate);
  Grade(noise, rate > kNoiseFailPer100, rate > kNoiseWarnPer100,
        Format("shade camera %s from sunlight or other infrared light (lamps, "
               "remote controls) and check its cable",
               name));
  noise.json_extra = Format(",\"per_100_scans\":%.2f", rate);
  return noise;
}

Check WindowCheck(const ProbeResult& probe, int camera, const Window& w, const CameraFindings& f) {
  const char* name = CameraName(camera);
  Check window;
  window.id = std::string(camera == kCameraA ? "camera-a" : "camera-b") + ".window";
  int touch_scans = 0;
  for (std::size_t s = 0; s < probe.scans.size(); ++s) {
    if (!f.blocked[s] && probe.scans[s].shadow_count[camera] > 0) ++touch_scans;
  }
  const double share = touch_scans > 0 ? static_cast<double>(f.edge_scans) / touch_scans : 0.0;
  window.summary = Format(
      "%d of %d scans with a shadow in camera %s meet its lens window's edge "
      "(samples %d to %d)",
      f.edge_scans, touch_scans, name, w.start, w.end - 1);
  const bool edge_often = f.edge_scans >= kEdgeWarnScans;
  Grade(window, edge_often && share >= kEdgeFailShare, edge_often && share >= kEdgeWarnShare,
        Format("camera %s's lens window is likely misaligned: fingers near the border "
               "are lost; have the window and its lens parameters checked",
               name));
  window.json_extra = Format(",\"edge_scans\":%d", f.edge_scans);
  return window;
}

std::array<Check, 4> CameraChecks(const ProbeResult& probe, int camera, const Window& w,
                                  const CameraFindings& f, int examined) {
  const std::string cam = camera == kCameraA ? "camera-a" : "camera-b";
  const char* name = CameraName(camera);
  return {BlockedCheck(cam, name, f), ObstructionCheck(cam, name, f),
          NoiseCheck(cam, name, f, examined), WindowCheck(probe, camera, w, f)};
}

Check TouchesCheck(const ProbeResult& probe) {
  Check c{"touches", Status::kOk, "", "", ""};
  int touches = 0;
  std::array<bool, 2> down{};
  for (const auto& report : probe.reports) {
    for (int s = 0; s < 2; ++s) {
      const bool now = report[s].down == 1;
      if (now && !down[s]) ++touches;
      down[s] = now;
    }
  }
  int pairs = 0, close = 0;
  for (const ScanProbe& scan : probe.scans) {
    if (scan.pairing_margin < 0) continue;
    ++pairs;
    if (scan.pairing_margin < kCloseMargin) ++close;
  }
  c.summary = Format(
      "%d touch%s in %zu report%s; %d two-finger scan%s, in %d of which the choice "
      "between the touches and their ghosts was close",
      touches, touches == 1 ? "" : "es", probe.reports.size(), probe.reports.size() == 1 ? "" : "s",
      pairs, pairs == 1 ? "" : "s", close);
  c.json_extra = Format(",\"touches\":%d,\"two_finger_scans\":%d,\"close_ghost_choices\":%d",
                        touches, pairs, close);
  return c;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (u < 0x20) {
      out += Format("\\u%04x", u);
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

}  // namespace

const char* StatusName(Status status) {
  switch (status) {
    case Status::kOk:
      return "ok";
    case Status::kWarn:
      return "warn";
    case Status::kFail:
      return "fail";
  }
  return "fail";
}

BorderPoint BorderOf(const ProbeResult& probe, int camera, double sample) {
  BorderPoint b;
  const double angle = SampleAngle(probe.lenses[camera], sample);
  const EngineScale& k = probe.scale;
  if (!std::isfinite(angle) || std::fabs(angle) >= kPi / 2 || k.XScale == 0 || k.YScale == 0) {
    return b;
  }
  // The touch area in baseline units; camera A's ray is X = Y tan(a), camera
  // B's 1 - X = Y tan(b).
  const double x0 = -k.XOffset / k.XScale, x1 = (kReportMax - k.XOffset) / k.XScale;
  const double y0 = -k.YOffset / k.YScale, y1 = (kReportMax - k.YOffset) / k.YScale;
  const double dx = camera == kCameraA ? std::sin(angle) : -std::sin(angle);
  const double dy = std::cos(angle);
  const double cx = camera == kCameraA ? 0.0 : 1.0;
  double t = (y1 - 0.0) / dy;
  std::string side = "bottom";
  if (dx > 0 && (x1 - cx) / dx < t) t = (x1 - cx) / dx, side = "right";
  if (dx < 0 && (x0 - cx) / dx < t) t = (x0 - cx) / dx, side = "left";
  if (!(t > 0) || y1 <= y0 || x1 <= x0) return b;
  const double x = cx + t * dx, y = t * dy;
  if (y < y0) return b;  // the ray leaves the area through the cameras' own edge
  b.valid = true;
  b.angle_deg = angle * 180 / kPi;
  b.x = std::clamp(k.XScale * x + k.XOffset, 0.0, kReportMax);
  b.y = std::clamp(k.YScale * y + k.YOffset, 0.0, kReportMax);
  b.side = side;
  b.fraction = side == "bottom" ? (x - x0) / (x1 - x0) : (y - y0) / (y1 - y0);
  b.fraction = std::clamp(b.fraction, 0.0, 1.0);
  return b;
}

Diagnosis Diagnose(const ProbeResult& probe) {
  Diagnosis d;
  d.scans = probe.scans.size();
  d.reports = probe.reports.size();
  const std::array<Window, 2> windows{WindowOf(probe.lenses[kCameraA]),
                                      WindowOf(probe.lenses[kCameraB])};
  for (int c = 0; c < 2; ++c) FindBlocked(probe, windows[c], c, d.cameras[c]);
  for (int c = 0; c < 2; ++c) FindObstructions(probe, windows, c, d.cameras);
  std::array<int, 2> examined{};
  for (int c = 0; c < 2; ++c) FindSpecks(probe, windows[c], c, d.cameras[c], &examined[c]);
  for (int c = 0; c < 2; ++c) {
    CameraFindings& f = d.cameras[c];
    for (std::size_t s = 0; s < probe.scans.size(); ++s) {
      if (f.blocked[s]) continue;
      const ScanProbe& scan = probe.scans[s];
      for (int i = 0; i < scan.shadow_count[c]; ++i) {
        const ProbeShadow& shadow = scan.shadows[c][i];
        if ((shadow.first <= windows[c].start || shadow.end >= windows[c].end) &&
            !OverlapsObstruction(f, shadow)) {
          ++f.edge_scans;
          break;
        }
      }
    }
  }

  d.checks.push_back(LinkCheck(probe));
  d.checks.push_back(IdentityCheck(probe));
  d.checks.push_back(CalibrationCheck(probe));
  for (int c = 0; c < 2; ++c) {
    for (Check& check : CameraChecks(probe, c, windows[c], d.cameras[c], examined[c])) {
      d.checks.push_back(std::move(check));
    }
  }
  d.checks.push_back(TouchesCheck(probe));
  for (const Check& check : d.checks) d.verdict = std::max(d.verdict, check.status);
  return d;
}

std::string FormatText(const Diagnosis& diagnosis) {
  std::string out;
  for (const Check& c : diagnosis.checks) {
    out += Format("%-4s  %-20s  ", StatusName(c.status), c.id.c_str()) + c.summary;
    if (!c.action.empty()) out += ". " + c.action;
    out += "\n";
  }
  return out;
}

std::string FormatJson(const Diagnosis& diagnosis, const std::string& trace_path) {
  std::string out = "{\"trace\":" + JsonString(trace_path) +
                    Format(",\"scans\":%zu,\"reports\":%zu,\"verdict\":\"%s\",\"checks\":[",
                           diagnosis.scans, diagnosis.reports, StatusName(diagnosis.verdict));
  for (std::size_t i = 0; i < diagnosis.checks.size(); ++i) {
    const Check& c = diagnosis.checks[i];
    out += std::string(i == 0 ? "" : ",") + "{\"id\":" + JsonString(c.id) + ",\"status\":\"" +
           StatusName(c.status) + "\",\"summary\":" + JsonString(c.summary) +
           ",\"action\":" + JsonString(c.action) + c.json_extra + "}";
  }
  return out + "]}\n";
}

std::string FormatPrometheus(const Diagnosis& diagnosis, const LinkProbe& link) {
  std::string out;
  auto metric = [&out](const char* name, const char* help) {
    out += Format("# HELP lumaro_%s %s\n# TYPE lumaro_%s gauge\n", name, help, name);
  };
  metric("check", "Result of each lumaro-doctor check: 0 ok, 1 warn, 2 fail.");
  for (const Check& c : diagnosis.checks) {
    out += Format("lumaro_check{check=\"%s\"} %d\n", c.id.c_str(), static_cast<int>(c.status));
  }
  metric("verdict", "The worst check: 0 ok, 1 warn, 2 fail.");
  out += Format("lumaro_verdict %d\n", static_cast<int>(diagnosis.verdict));
  metric("scans", "Scans diagnosed.");
  out += Format("lumaro_scans %zu\n", diagnosis.scans);
  metric("reports", "Touch reports the frame path made of them.");
  out += Format("lumaro_reports %zu\n", diagnosis.reports);
  const std::pair<const char*, int> counters[] = {
      {"frames", link.frames},
      {"sessions", link.sessions},
      {"failed_opens", link.failed_opens},
      {"timeouts", link.timeouts},
      {"empty_reads", link.empty_reads},
      {"unplugs", link.unplugs},
      {"reidentifications", link.reidentifications},
      {"dropped_frames", link.dropped_frames},
  };
  metric("link_events", "What happened on the link to the controller, by event.");
  for (const auto& [event, count] : counters) {
    out += Format("lumaro_link_events{event=\"%s\"} %d\n", event, count);
  }
  metric("link_read_errors", "Failed reads other than time-outs, by error.");
  for (const auto& [error, count] : link.read_errors) {
    const std::string name = ErrorName(error);
    out += Format("lumaro_link_read_errors{error=\"%s\"} %d\n",
                  name.substr(0, name.find(' ')).c_str(), count);
  }
  return out;
}

int ExitStatus(const Diagnosis& diagnosis) {
  return static_cast<int>(diagnosis.verdict);
}

}  // namespace lumaro::doctor
