#include "tools/plot/plot_png.h"

#include <algorithm>
#include <cstdio>

namespace lumaro::tools {
namespace {

constexpr int kWidth = 1000;
constexpr double kMargin = 40;
constexpr double kHeader = 64;  // title and legend above the plot

constexpr Rgb kTruthColour{0.45, 0.45, 0.45};
constexpr Rgb kFrameColour{0.85, 0.85, 0.85};

std::string Fixed1(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

void DrawTruth(cairo_t* cr, const View& view, const Truth& truth) {
  SetColour(cr, kTruthColour);
  cairo_set_line_width(cr, 1);
  for (const auto& [finger, samples] : truth.fingers) {
    for (std::size_t i = 0; i < samples.size(); ++i) {
      const bool joined_before = i > 0 && samples[i - 1].scan + 1 == samples[i].scan;
      const bool joined_after =
          i + 1 < samples.size() && samples[i].scan + 1 == samples[i + 1].scan;
      const double x = view.X(samples[i].x), y = view.Y(samples[i].y);
      if (!joined_before && !joined_after) {
        Dot(cr, x, y, 1.5);
      } else if (joined_before) {
        cairo_line_to(cr, x, y);
      } else {
        cairo_move_to(cr, x, y);
      }
      if (joined_before && !joined_after) cairo_stroke(cr);
    }
  }
}

// The view spans the report space and everything drawn, even off it; the
// picture's height in *height.
View FitView(const Truth& truth, const std::vector<Report>& reports, int* height) {
  double min_x = 0, min_y = 0, max_x = kReportMax, max_y = kReportMax;
  auto include = [&](double x, double y) {
    min_x = std::min(min_x, x);
    max_x = std::max(max_x, x);
    min_y = std::min(min_y, y);
    max_y = std::max(max_y, y);
  };
  for (const auto& [finger, samples] : truth.fingers) {
    for (const TruthSample& sample : samples) include(sample.x, sample.y);
  }
  for (const Report& report : reports) {
    for (const report::Contact& c : report) {
      if (c.down == 1) include(c.x, c.y);
    }
  }
  const double pad = 0.02 * std::max(max_x - min_x, max_y - min_y);
  View view;
  view.min_x = min_x - pad;
  view.min_y = min_y - pad;
  const double box = kWidth - 2 * kMargin;
  view.scale = box / (std::max(max_x - min_x, max_y - min_y) + 2 * pad);
  const double plot_w = (max_x - min_x + 2 * pad) * view.scale;
  const double plot_h = (max_y - min_y + 2 * pad) * view.scale;
  view.left = (kWidth - plot_w) / 2;
  view.top = kHeader;
  *height = static_cast<int>(kHeader + plot_h + kMargin);
  return view;
}

constexpr std::array<double, 3> kLegendX{kMargin, kMargin + 120, kMargin + 420};

// The legend's swatches: truth, slot 0, slot 1.
void DrawLegendSwatches(cairo_t* cr) {
  const std::array<Rgb, 3> swatch_colours{kTruthColour, kSlotColours[0], kSlotColours[1]};
  for (std::size_t i = 0; i < 3; ++i) {
    SetColour(cr, swatch_colours[i]);
    cairo_set_line_width(cr, i == 0 ? 1 : 1.5);
    cairo_move_to(cr, kLegendX[i], 46);
    cairo_line_to(cr, kLegendX[i] + 24, 46);
    cairo_stroke(cr);
    if (i > 0) Dot(cr, kLegendX[i] + 12, 46, kMarkerRadius);
  }
}

}  // namespace

std::array<std::string, 3> LegendLabels(const Score& score) {
  std::array<std::string, 3> labels{"truth", "slot 0", "slot 1"};
  for (std::size_t s = 0; s < kReportSlots; ++s) {
    if (score.slots[s].any_down && score.slots[s].first_finger >= 0) {
      labels[s + 1] += " (finger " + std::to_string(score.slots[s].first_finger) + ", " +
                       std::to_string(score.slots[s].switches) + " switches)";
    }
  }
  return labels;
}

namespace {

// The title, the legend's labels, the fingers' names and the corners.
void DrawText(cairo_t* cr, const View& view, const std::string& trace_name, const Truth& truth,
              const Score& score) {
  const std::array<std::string, 3> labels = LegendLabels(score);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13);
  SetColour(cr, {0, 0, 0});
  std::string title = trace_name + "    reports " + std::to_string(score.reports) +
                      "  down-points " + std::to_string(score.down_points) + "  lifts " +
                      std::to_string(score.lifts);
  title += truth.fingers.empty() ? "  (no truth)"
                                 : "  mean-error " + Fixed1(score.mean_error) + "  max-error " +
                                       Fixed1(score.max_error);
  cairo_move_to(cr, kMargin, 22);
  cairo_show_text(cr, title.c_str());
  for (std::size_t i = 0; i < 3; ++i) {
    cairo_move_to(cr, kLegendX[i] + 30, 50);
    cairo_show_text(cr, labels[i].c_str());
  }
  cairo_set_font_size(cr, 10);
  SetColour(cr, {0.45, 0.45, 0.45});
  for (const auto& [finger, samples] : truth.fingers) {
    if (samples.empty()) continue;
    cairo_move_to(cr, view.X(samples.front().x) + 4, view.Y(samples.front().y) - 4);
    cairo_show_text(cr, std::string("f").append(std::to_string(finger)).c_str());
  }
  cairo_move_to(cr, view.X(0) + 3, view.Y(0) + 12);
  cairo_show_text(cr, "0,0");
  cairo_move_to(cr, view.X(kReportMax) - 36, view.Y(kReportMax) - 4);
  cairo_show_text(cr, "32767");
}

}  // namespace

bool WritePlotPng(const std::string& path, const std::string& trace_name, const Truth& truth,
                  const std::vector<Report>& reports, const Score& score, std::string* error) {
  int height = 0;
  const View view = FitView(truth, reports, &height);
  Canvas canvas(kWidth, height);
  cairo_t* cr = canvas.cr();
  if (!canvas.Ok(error)) return false;

  SetColour(cr, kFrameColour);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, view.X(0), view.Y(0), kReportMax * view.scale, kReportMax * view.scale);
  cairo_stroke(cr);
  // The truth goes on top: thin, it stays visible where a report covers it.
  for (std::size_t s = 0; s < kReportSlots; ++s) DrawSlot(cr, view, reports, s);
  DrawTruth(cr, view, truth);
  DrawLegendSwatches(cr);
  // All text last: without a usable font the text fails, and the picture is
  // still complete.
  if (!canvas.Ok(error)) return false;
  DrawText(cr, view, trace_name, truth, score);
  return canvas.WritePng(path, error);
}

}  // namespace lumaro::tools
