#include "tools/doctor/waterfall_png.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>

#include "driver-interface/protocol.h"
#include "tools/plot/drawing.h"

namespace lumaro::doctor {
namespace {

using tools::Canvas;
using tools::Rgb;
using tools::SetColour;

constexpr int kSamplesPerPixel = 2;
constexpr int kPanelWidth = kSamples / kSamplesPerPixel;
constexpr int kMaxRows = 1000;
constexpr double kMargin = 24;
constexpr double kHeader = 86;
constexpr double kPathsSize = 400;

constexpr Rgb kLit{0.97, 0.97, 0.93};
constexpr Rgb kShadow{0.25, 0.25, 0.28};
constexpr Rgb kKept{0.10, 0.30, 0.65};     // shadows the engine kept
constexpr Rgb kOutside{0.78, 0.80, 0.86};  // outside the lens window
constexpr Rgb kFault{0.85, 0.10, 0.10};
constexpr Rgb kSpeck{1.0, 0.55, 0.0};
constexpr Rgb kCamera{0.1, 0.5, 0.1};
constexpr Rgb kLinkColours[] = {{0.85, 0.10, 0.10}, {0.0, 0.0, 0.0}, {0.45, 0.2, 0.7}};

std::uint32_t Pixel(Rgb c) {
  auto channel = [](double v) { return static_cast<std::uint32_t>(std::clamp(v, 0.0, 1.0) * 255); };
  return channel(c.r) << 16 | channel(c.g) << 8 | channel(c.b);
}

Rgb Mix(Rgb a, Rgb b, double f) {
  return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f};
}

// Rasterises one camera's waterfall straight into the surface: each row
// stands for one scan or more, each pixel for two samples; a pixel darkens
// with the share of its samples shadowed.
void DrawWaterfall(const ProbeResult& probe, int camera, int rows, int left, int top,
                   cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const std::size_t n = probe.scans.size();
  const int start = std::clamp(probe.lenses[camera].PixelStart, 0, kSamples);
  const int end = std::clamp(probe.lenses[camera].PixelEnd, start, kSamples);
  std::vector<int> shadowed(kPanelWidth), kept(kPanelWidth);
  for (int r = 0; r < rows; ++r) {
    const std::size_t from = n * r / rows, to = std::max(from + 1, n * (r + 1) / rows);
    std::fill(shadowed.begin(), shadowed.end(), 0);
    std::fill(kept.begin(), kept.end(), 0);
    for (std::size_t s = from; s < to && s < n; ++s) {
      const ScanProbe& scan = probe.scans[s];
      for (int i = 0; i < kSamples; ++i) shadowed[i / kSamplesPerPixel] += scan.lines[camera][i];
      for (int k = 0; k < scan.shadow_count[camera]; ++k) {
        const ProbeShadow& sh = scan.shadows[camera][k];
        for (int i = std::max(sh.first, 0); i < std::min(sh.end, kSamples); ++i) {
          kept[i / kSamplesPerPixel] = 1;
        }
      }
    }
    const double per_pixel = static_cast<double>((to - from) * kSamplesPerPixel);
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::size_t>(top + r) * stride);
    for (int x = 0; x < kPanelWidth; ++x) {
      const int sample = x * kSamplesPerPixel;
      const bool inside = sample >= start && sample < end;
      Rgb c = Mix(inside ? kLit : kOutside, kShadow, shadowed[x] / per_pixel);
      if (kept[x] != 0 && inside) c = Mix(c, kKept, 0.7);
      row[left + x] = Pixel(c);
    }
  }
  cairo_surface_mark_dirty(surface);
}

void DrawFindings(cairo_t* cr, const ProbeResult& probe, const CameraFindings& f, int camera,
                  int rows, double left, double top) {
  const double n = static_cast<double>(std::max<std::size_t>(probe.scans.size(), 1));
  auto y_of = [&](double scan) { return top + scan * rows / n; };
  // The lens window's edges.
  SetColour(cr, {0.2, 0.45, 0.2});
  cairo_set_line_width(cr, 1);
  for (const int edge : {probe.lenses[camera].PixelStart, probe.lenses[camera].PixelEnd}) {
    const double x = left + std::clamp(edge, 0, kSamples) / double{kSamplesPerPixel};
    cairo_move_to(cr, x, top);
    cairo_line_to(cr, x, top + rows);
  }
  cairo_stroke(cr);
  // Obstructions: a translucent band framed in red.
  for (const Obstruction& o : f.obstructions) {
    const double x0 = left + o.first / double{kSamplesPerPixel} - 2;
    const double x1 = left + o.end / double{kSamplesPerPixel} + 2;
    cairo_set_source_rgba(cr, kFault.r, kFault.g, kFault.b, 0.25);
    cairo_rectangle(cr, x0, top, x1 - x0, rows);
    cairo_fill(cr);
    SetColour(cr, kFault);
    cairo_set_line_width(cr, 1.5);
    cairo_rectangle(cr, x0, top, x1 - x0, rows);
    cairo_stroke(cr);
  }
  // Blocked scans: a red bar left of the panel.
  SetColour(cr, kFault);
  for (std::size_t s = 0; s < f.blocked.size(); ++s) {
    if (f.blocked[s]) cairo_rectangle(cr, left - 8, y_of(s), 5, std::max(1.0, rows / n));
  }
  cairo_fill(cr);
  // Specks and holes: orange rings.
  SetColour(cr, kSpeck);
  cairo_set_line_width(cr, 1.2);
  for (const Speck& sp : f.specks) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, left + 0.5 * (sp.first + sp.end) / kSamplesPerPixel, y_of(sp.scan + 0.5), 3.5, 0,
              2 * 3.141592653589793);
  }
  cairo_stroke(cr);
}

// Link events as ticks left of a panel, at the height of their time: read
// errors red, unplugs black, re-identifications violet.
void DrawLinkMarks(cairo_t* cr, const std::vector<LinkMark>& marks, int rows, double left,
                   double top) {
  cairo_set_line_width(cr, 2);
  for (const LinkMark& mark : marks) {
    SetColour(cr, kLinkColours[static_cast<int>(mark.kind)]);
    const double y = top + mark.at * rows;
    cairo_move_to(cr, left - 20, y);
    cairo_line_to(cr, left - 11, y);
    cairo_stroke(cr);
  }
}

// Where the cameras sit: both at the ends of the edge at the baseline's top,
// camera A at X 0, camera B at X 1 of the baseline.
void DrawCameras(cairo_t* cr, const ProbeResult& probe, const tools::View& view) {
  const EngineScale& k = probe.scale;
  SetColour(cr, kCamera);
  for (const double x : {k.XOffset, k.XScale + k.XOffset}) {
    const double px = view.X(std::clamp(x, 0.0, tools::kReportMax));
    const double py = view.Y(std::clamp<double>(k.YOffset, 0, tools::kReportMax));
    cairo_rectangle(cr, px - 5, py - 5, 10, 10);
  }
  cairo_fill(cr);
}

// The reported paths on the report space, and each obstruction's line of
// sight from its camera to where it meets the border.
void DrawPaths(cairo_t* cr, const ProbeResult& probe, const Diagnosis& d, double left, double top) {
  tools::View view;
  view.scale = kPathsSize / tools::kReportMax;
  view.left = left;
  view.top = top;
  SetColour(cr, {0.85, 0.85, 0.85});
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, left, top, kPathsSize, kPathsSize);
  cairo_stroke(cr);
  for (std::size_t s = 0; s < tools::kReportSlots; ++s) tools::DrawSlot(cr, view, probe.reports, s);
  DrawCameras(cr, probe, view);
  const EngineScale& k = probe.scale;
  for (int c = 0; c < 2; ++c) {
    for (const Obstruction& o : d.cameras[c].obstructions) {
      if (!o.border.valid) continue;
      const double cx = (c == kCameraA ? 0.0 : k.XScale) + k.XOffset;
      SetColour(cr, kFault);
      cairo_set_line_width(cr, 1.5);
      const double dashes[] = {6, 4};
      cairo_set_dash(cr, dashes, 2, 0);
      cairo_move_to(cr, view.X(std::clamp(cx, 0.0, tools::kReportMax)),
                    view.Y(std::max<double>(k.YOffset, 0)));
      cairo_line_to(cr, view.X(o.border.x), view.Y(o.border.y));
      cairo_stroke(cr);
      cairo_set_dash(cr, nullptr, 0, 0);
      tools::Dot(cr, view.X(o.border.x), view.Y(o.border.y), 5);
    }
  }
}

}  // namespace

std::vector<LinkMark> LinkMarks(const trace::Trace& trace) {
  std::vector<std::pair<LinkMark::Kind, std::size_t>> events;  // at frame
  std::size_t frames = 0;
  for (const trace::Record& r : trace.records) {
    // Time-outs are read past, as the daemon does: no event.
    const bool read_error = r.kind == trace::RecordKind::kReadError &&
                            ClassifyRead(-1, r.value) == ReadOutcome::kSessionEnd;
    if (r.kind == trace::RecordKind::kFrame) {
      if (!r.bytes.empty() && r.bytes[0] == kReinitFrameMarker) {
        events.push_back({LinkMark::Kind::kReidentify, frames});
      }
      ++frames;
    } else if (read_error) {
      events.push_back({LinkMark::Kind::kReadError, frames});
    } else if (r.kind == trace::RecordKind::kUnplug) {
      events.push_back({LinkMark::Kind::kUnplug, frames});
    }
  }
  std::vector<LinkMark> marks;
  for (const auto& [kind, at] : events) {
    marks.push_back({kind, frames == 0 ? 0.0 : static_cast<double>(at) / frames});
  }
  return marks;
}

bool DrawWaterfallPng(const std::string& trace_name, const trace::Trace& trace,
                      const ProbeResult& probe, const Diagnosis& diagnosis, std::string* png,
                      std::string* error) {
  const int rows = static_cast<int>(std::clamp<std::size_t>(probe.scans.size(), 1, kMaxRows));
  const double panel_top = kHeader;
  const std::array<double, 2> panel_left{kMargin + 10, kMargin + 10 + kPanelWidth + kMargin + 10};
  const double paths_left = panel_left[1] + kPanelWidth + kMargin;
  const int width = static_cast<int>(paths_left + kPathsSize + kMargin);
  const int height = static_cast<int>(panel_top + std::max<double>(rows, kPathsSize) + kMargin);
  Canvas canvas(width, height);
  cairo_t* cr = canvas.cr();
  if (!canvas.Ok(error)) return false;
  for (int c = 0; c < 2; ++c) {
    if (!probe.scans.empty()) {
      DrawWaterfall(probe, c, rows, static_cast<int>(panel_left[c]), static_cast<int>(panel_top),
                    canvas.surface());
    }
    DrawFindings(cr, probe, diagnosis.cameras[c], c, rows, panel_left[c], panel_top);
  }
  DrawLinkMarks(cr, LinkMarks(trace), rows, panel_left[0], panel_top);
  DrawPaths(cr, probe, diagnosis, paths_left, panel_top);
  if (!canvas.Ok(error)) return false;

  // Text last: without a usable font the picture is still complete.
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);
  SetColour(cr, {0, 0, 0});
  const std::string title = trace_name + "    scans " + std::to_string(probe.scans.size()) +
                            "  reports " + std::to_string(probe.reports.size()) + "  verdict " +
                            StatusName(diagnosis.verdict);
  cairo_move_to(cr, kMargin, 22);
  cairo_show_text(cr, title.c_str());
  cairo_set_font_size(cr, 11);
  const std::array<const char*, 2> names{"camera A: samples 0 to 1279 across, scans down",
                                         "camera B: samples 0 to 1279 across, scans down"};
  for (int c = 0; c < 2; ++c) {
    cairo_move_to(cr, panel_left[c], panel_top - 8);
    cairo_show_text(cr, names[c]);
  }
  cairo_move_to(cr, paths_left, panel_top - 8);
  cairo_show_text(cr, "reported touch paths (slot 0 blue, slot 1 orange)");
  cairo_move_to(cr, kMargin, 42);
  SetColour(cr, {0.3, 0.3, 0.3});
  cairo_show_text(cr,
                  "dark: shadow   blue: shadows the engine kept   green lines: lens window   "
                  "red: obstruction, blocked scans, line of sight to clean   orange: flicker");
  cairo_move_to(cr, kMargin, 56);
  cairo_show_text(cr,
                  "ticks left of camera A: red read error, black unplug, violet "
                  "re-identification   green squares: the cameras");

  return canvas.EncodePng(png, error);
}

}  // namespace lumaro::doctor
